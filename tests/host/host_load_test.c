/* A host as a playback client writes one: loads the library at run time,
 * looks every export up by its plain name and calls it through a function
 * pointer of the exports' calling convention. A wrong calling convention, a
 * decorated or missing name, or a record layout the host disagrees with
 * shows up here.
 *
 * The library is copied into the scratch folder and loaded from there, beside
 * an AVFILE.INI that sets the master key, so that the key the library reads
 * is the host's: the two encrypted recordings the scratch folder holds
 * (1_... and 2_...20150109-104929_1030h.avi, file key "Host2015") carry their
 * file keys enciphered under "Ini4Key7" and "Later5Ky".
 *
 * Usage: host_load_test <path of the shared library> <scratch folder>
 * The scratch folder must exist; the test writes a few small files into it.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "avfile/avfile.h"

#ifdef _WIN32
#include <windows.h>
typedef HMODULE Library;
static Library OpenLibrary(const char *path) { return LoadLibraryA(path); }
static void *FindExport(Library lib, const char *name) {
    return (void *)GetProcAddress(lib, name);
}
#else
#include <dlfcn.h>
typedef void *Library;
static Library OpenLibrary(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void *FindExport(Library lib, const char *name) { return dlsym(lib, name); }
#endif

typedef int32_t(AVFILE_CALL *NoArgsFn)(void);
typedef int32_t(AVFILE_CALL *CheckWaterMarkFn)(const unsigned char *, int32_t);
typedef int32_t(AVFILE_CALL *CopyFileFn)(const char *, const char *, int32_t);
typedef int32_t(AVFILE_CALL *SearchDayFn)(const char *, int32_t, SearchDayCallback);
typedef int32_t(AVFILE_CALL *SearchFileFn)(const char *, int32_t, SearchFileCallback);
typedef int32_t(AVFILE_CALL *CheckFileNameFn)(const char *);
typedef int32_t(AVFILE_CALL *CheckFolderFn)(const char *, const PasswordEntry *, int32_t,
                                            int32_t, unsigned char *, unsigned char *);
typedef int32_t(AVFILE_CALL *OpenFileFn)(const char *, int32_t, const PasswordEntry *,
                                         int32_t, int32_t, AvFileHandle *);
typedef int32_t(AVFILE_CALL *HandleFn)(AvFileHandle);
typedef int32_t(AVFILE_CALL *GetWaveFormatFn)(AvFileHandle, AvWaveFormatEx *, uint32_t *,
                                              int32_t *, int32_t *);
typedef int32_t(AVFILE_CALL *GetFileInfoFn)(AvFileHandle, RecFileInfo *);
typedef int32_t(AVFILE_CALL *GetBlockFn)(AvFileHandle, unsigned char *);
typedef int32_t(AVFILE_CALL *FrameFn)(AvFileHandle, AvFrameInfo *, const AvFrameInfo *);
typedef int32_t(AVFILE_CALL *SeekIFrameFn)(AvFileHandle, uint32_t, uint32_t);

static int g_failures = 0;

static void Expect(int ok, const char *what) {
    if (!ok) {
        ++g_failures;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

#define EXPECT_RESULT(call, expected) \
    Expect((call) == (expected), #call " == " #expected)

static Library g_lib;

static void *Need(const char *name) {
    void *p = FindExport(g_lib, name);
    if (p == NULL) {
        fprintf(stderr, "FAILED: export %s not found\n", name);
        exit(1);
    }
    return p;
}

/* The searches below run on missing paths: no callback may be called. */
static int AVFILE_CALL DayCallback(RecDayInfo *day, int32_t user) {
    (void)day;
    (void)user;
    Expect(0, "no day callback for a missing root");
    return 0;
}

static int AVFILE_CALL FileCallback(RecGroupInfo *group, int32_t user) {
    (void)group;
    (void)user;
    Expect(0, "no file callback for a missing folder");
    return 0;
}

static int WriteText(const char *path, const char *text) {
    FILE *f = fopen(path, "wb");
    if (f == NULL) return 0;
    fputs(text, f);
    return fclose(f) == 0;
}

static int CopyBytes(const char *source, const char *destination) {
    char buffer[65536];
    size_t n;
    int ok;
    FILE *in = fopen(source, "rb");
    FILE *out = in ? fopen(destination, "wb") : NULL;
    if (out == NULL) {
        if (in) fclose(in);
        return 0;
    }
    ok = 1;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (fwrite(buffer, 1, n, out) != n) ok = 0;
    }
    if (ferror(in)) ok = 0;
    fclose(in);
    return fclose(out) == 0 && ok;
}

static const char *NameOf(const char *path) {
    const char *name = path;
    for (; *path; ++path) {
        if (*path == '/' || *path == '\\') name = path + 1;
    }
    return name;
}

static int FileHolds(const char *path, const char *text) {
    char buffer[64] = {0};
    FILE *f = fopen(path, "rb");
    size_t n;
    if (f == NULL) return 0;
    n = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    return n == strlen(text) && memcmp(buffer, text, n) == 0;
}

int main(int argc, char **argv) {
    char source[AVFILE_MAX_PATH], destination[AVFILE_MAX_PATH], missing[AVFILE_MAX_PATH];
    char record[2 * AVFILE_MAX_PATH], library[2 * AVFILE_MAX_PATH], profile[AVFILE_MAX_PATH];
    char first[AVFILE_MAX_PATH], second[AVFILE_MAX_PATH];
    PasswordEntry password;
    static const unsigned char marked[4] = {'j', 'n', 'q', 0x7f};
    static const unsigned char unmarked[4] = {'j', 'n', 'x', 0x00};
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    AvWaveFormatEx format;
    RecFileInfo info;
    AvFrameInfo frame, request;
    uint32_t frameSize = 0;
    int32_t codec = 0, codecParam = 0;
    AvFileHandle handle = (AvFileHandle)&g_failures; /* a sentinel value */

    if (argc != 3) {
        fprintf(stderr, "usage: %s <library> <scratch folder>\n", argv[0]);
        return 2;
    }
    snprintf(library, sizeof library, "%s%s", argv[2], NameOf(argv[1]));
    snprintf(profile, sizeof profile, "%sAVFILE.INI", argv[2]);
    snprintf(first, sizeof first, "%s1_20150109-104929_1030h.avi", argv[2]);
    snprintf(second, sizeof second, "%s2_20150109-104929_1030h.avi", argv[2]);
    if (!CopyBytes(argv[1], library) ||
        !WriteText(profile, "[CRYPT]\r\nMASTERKEY = Ini4Key7\r\n")) {
        fprintf(stderr, "FAILED: cannot put the library and its AVFILE.INI into %s\n", argv[2]);
        return 1;
    }
    g_lib = OpenLibrary(library);
    if (g_lib == NULL) {
        fprintf(stderr, "FAILED: cannot load %s\n", library);
        return 1;
    }
    snprintf(source, sizeof source, "%ssource.bin", argv[2]);
    snprintf(destination, sizeof destination, "%scopy.bin", argv[2]);
    snprintf(missing, sizeof missing, "%sno-such-folder%c", argv[2], argv[2][strlen(argv[2]) - 1]);

    {
        NoArgsFn initialize = (NoArgsFn)Need("AVFILE_Initialize");
        NoArgsFn uninitialize = (NoArgsFn)Need("AVFILE_UnInitialize");
        EXPECT_RESULT(initialize(), 0);
        EXPECT_RESULT(initialize(), 0);
        EXPECT_RESULT(uninitialize(), 0);
    }
    {
        CheckWaterMarkFn check = (CheckWaterMarkFn)Need("AVFILE_CheckWaterMark");
        EXPECT_RESULT(check(marked, 4), 0);
        EXPECT_RESULT(check(unmarked, 4), 1);
        EXPECT_RESULT(check(NULL, 4), 1);
        EXPECT_RESULT(check(marked, 3), 1);
    }
    {
        CheckFileNameFn check = (CheckFileNameFn)Need("AVFILE_CheckFileName");
        EXPECT_RESULT(check("D:\\2015-01-09\\video\\3_20150109-104929_1030h.avi"), 0);
        EXPECT_RESULT(check("D:/2015-01-09/video/3_20150109-104929_1030h.avi"), 0);
        EXPECT_RESULT(check("D:\\2015-01-09\\video\\readme.txt"), 1);
    }
    {
        CopyFileFn copy = (CopyFileFn)Need("AVFILE_FECopyFile");
        Expect(WriteText(source, "first"), "write the source file");
        EXPECT_RESULT(copy(source, destination, 0), 0);
        Expect(FileHolds(destination, "first"), "the copy holds the source's bytes");
        Expect(WriteText(source, "second"), "rewrite the source file");
        EXPECT_RESULT(copy(source, destination, 1), 1);
        Expect(FileHolds(destination, "first"), "fail-if-exists left the destination alone");
        /* Only the low byte of the flag counts: 256 overwrites. */
        EXPECT_RESULT(copy(source, destination, 256), 0);
        Expect(FileHolds(destination, "second"), "flag 256 overwrote the destination");
        remove(source);
        remove(destination);
    }
    {
        SearchDayFn searchDay = (SearchDayFn)Need("AVFILE_SearchDay");
        SearchFileFn searchFile = (SearchFileFn)Need("AVFILE_SearchFile");
        SearchFileFn searchEvent = (SearchFileFn)Need("AVFILE_SearchEvent");
        CheckFolderFn checkFolder = (CheckFolderFn)Need("AVFILE_CheckFolder");
        EXPECT_RESULT(searchDay(missing, 7, DayCallback), 1);
        EXPECT_RESULT(searchFile(missing, 7, FileCallback), 1);
        EXPECT_RESULT(searchEvent(missing, 7, FileCallback), 1);
        EXPECT_RESULT(checkFolder(missing, NULL, 0, 0, terminal, ioName), 1);
    }
    {
        OpenFileFn open = (OpenFileFn)Need("AVFILE_FEOpenFile");
        snprintf(record, sizeof record, "%s3_20150109-104929_1030h.avi", missing);
        EXPECT_RESULT(open(record, 0, NULL, 0, 0, &handle), 1);
        Expect(handle == (AvFileHandle)&g_failures, "a failed open leaves the handle alone");
    }
    {
        /* Every handle export answers a null handle with 1. */
        memset(&request, 0, sizeof request);
        EXPECT_RESULT(((HandleFn)Need("AVFILE_FECloseFile"))(NULL), 1);
        EXPECT_RESULT(((HandleFn)Need("AVFILE_FESeekBegin"))(NULL), 1);
        EXPECT_RESULT(((GetWaveFormatFn)Need("AVFILE_FEGetWaveFormat"))(
                          NULL, &format, &frameSize, &codec, &codecParam),
                      1);
        EXPECT_RESULT(((GetFileInfoFn)Need("AVFILE_FEGetFileInfo"))(NULL, &info), 1);
        EXPECT_RESULT(((GetBlockFn)Need("AVFILE_FEGetTerminalInfo"))(NULL, terminal), 1);
        EXPECT_RESULT(((GetBlockFn)Need("AVFILE_FEGetIOName"))(NULL, ioName), 1);
        EXPECT_RESULT(((FrameFn)Need("AVFILE_FEReadFrame"))(NULL, &frame, &request), 1);
        EXPECT_RESULT(((SeekIFrameFn)Need("AVFILE_FESeekIFrame"))(NULL, 0xffffffffu, 7u), 1);
        EXPECT_RESULT(((FrameFn)Need("AVFILE_FEBackwardIFrame"))(NULL, &frame, &request), 1);
        EXPECT_RESULT(((FrameFn)Need("AVFILE_FEForwardIFrame"))(NULL, &frame, &request), 1);
    }
    {
        /* The master key comes from the AVFILE.INI beside the library: the
         * file key of the first recording, enciphered under it, passes the
         * password check. */
        OpenFileFn openFile = (OpenFileFn)Need("AVFILE_FEOpenFile");
        HandleFn closeFile = (HandleFn)Need("AVFILE_FECloseFile");
        FrameFn readFrame = (FrameFn)Need("AVFILE_FEReadFrame");
        AvFileHandle kept = NULL, again = NULL;
        memset(&password, 0, sizeof password);
        memcpy(password.key, "Host2015", 8);
        memset(&request, 0, sizeof request);
        EXPECT_RESULT(openFile(first, 0, &password, 1, 1, &kept), 0);
        /* Open handles stay open through AVFILE_UnInitialize. */
        EXPECT_RESULT(((NoArgsFn)Need("AVFILE_UnInitialize"))(), 0);
        if (kept != NULL) {
            EXPECT_RESULT(((GetFileInfoFn)Need("AVFILE_FEGetFileInfo"))(kept, &info), 0);
            Expect(info.startTime.wYear == 2015 && info.durationMs == 2000,
                   "the kept handle still describes its recording");
            EXPECT_RESULT(((HandleFn)Need("AVFILE_FESeekBegin"))(kept), 0);
            memset(&frame, 0, sizeof frame);
            EXPECT_RESULT(readFrame(kept, &frame, &request), 0);
            Expect(frame.type == FRAME_TYPE_I && frame.length > 0,
                   "the kept handle still delivers its first key frame");
            EXPECT_RESULT(closeFile(kept), 0);
        }
        /* The file is read once: a key written into it now is not taken up,
         * so the recording enciphered under that key does not match, and
         * the first one still does. */
        Expect(WriteText(profile, "[CRYPT]\r\nMASTERKEY=Later5Ky\r\n"), "rewrite AVFILE.INI");
        EXPECT_RESULT(openFile(second, 0, &password, 1, 1, &again), 2);
        if (again != NULL) closeFile(again);
        again = NULL;
        EXPECT_RESULT(openFile(first, 0, &password, 1, 1, &again), 0);
        if (again != NULL) EXPECT_RESULT(closeFile(again), 0);
        remove(profile);
    }
    /* Nothing of the library's inside is visible to the host. */
    Expect(FindExport(g_lib, "GetRecSearch") == NULL, "internal routine not exported");
    Expect(FindExport(g_lib, "AVFILE_FEReadFrame@12") == NULL, "no decorated name");

    if (g_failures == 0) printf("host load test passed\n");
    return g_failures == 0 ? 0 : 1;
}
