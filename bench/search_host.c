/* search_host: a host that runs the day's file search through the exports,
 * for looking at the system calls the search makes (strace -c -f) and its
 * time apart from the benchmarks' own work.
 *
 *   search_host DAYFOLDER [PASSES]    AVFILE_SearchFile, PASSES times (1)
 *   search_host --opens DAYFOLDER [PASSES]
 *                                     the first file of each reported record
 *                                     opened and closed through
 *                                     AVFILE_FEOpenFile, PASSES times
 *
 * Prints the records of one pass and the processor time per pass.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "avfile/avfile.h"

static unsigned long g_records;
static char (*g_paths)[AVFILE_MAX_PATH];
static unsigned long g_capacity;

static int AVFILE_CALL Count(RecGroupInfo *group, int32_t user) {
    (void)user;
    if (g_paths != NULL) {
        if (g_records == g_capacity) {
            const unsigned long capacity = g_capacity ? 2 * g_capacity : 4096;
            void *grown = realloc(g_paths, capacity * sizeof *g_paths);
            if (grown == NULL) return 0;
            g_paths = grown;
            g_capacity = capacity;
        }
        memcpy(g_paths[g_records], group->paths[0], 255);
        g_paths[g_records][255] = '\0';
    }
    ++g_records;
    return 0;
}

static double ProcessorSeconds(void) {
    return (double)clock() / CLOCKS_PER_SEC;
}

int main(int argc, char **argv) {
    int opens = argc > 1 && strcmp(argv[1], "--opens") == 0;
    if (argc < 2 + opens || argc > 3 + opens) {
        fprintf(stderr, "usage: search_host [--opens] DAYFOLDER [PASSES]\n");
        return 2;
    }
    const char *day = argv[1 + opens];
    const int passes = argc == 3 + opens ? atoi(argv[2 + opens]) : 1;
    if (opens) g_paths = malloc(4096 * sizeof *g_paths), g_capacity = 4096;
    if (opens) AVFILE_SearchFile(day, 0, &Count);
    const unsigned long records = g_records;
    const double start = ProcessorSeconds();
    for (int pass = 0; pass < passes; ++pass) {
        if (opens) {
            for (unsigned long i = 0; i < records; ++i) {
                AvFileHandle handle = NULL;
                if (AVFILE_FEOpenFile(g_paths[i], 0, NULL, 0, 0, &handle) == 0) AVFILE_FECloseFile(handle);
            }
        } else {
            g_records = 0;
            AVFILE_SearchFile(day, 0, &Count);
        }
    }
    const double seconds = (ProcessorSeconds() - start) / (passes > 0 ? passes : 1);
    fprintf(stderr, "%s: %lu records, %.2f ms per pass\n", opens ? "opens" : "search",
            opens ? records : g_records, seconds * 1e3);
    free(g_paths);
    return 0;
}
