/* Calls exports of the installed library through its installed header. */
#include <stdio.h>

#include <avfile/avfile.h>

int main(void) {
    const int initialized = AVFILE_Initialize();
    const int named = AVFILE_CheckFileName("/rec/3_20150109-104929_1030h.avi");
    const int other = AVFILE_CheckFileName("/rec/notes.avi");
    if (initialized != 0 || named != 0 || other != 1 || AVFILE_UnInitialize() != 0) {
        fprintf(stderr, "host: unexpected answers (%d, %d)\n", named, other);
        return 1;
    }
    puts("host: record file name recognised");
    return 0;
}
