/* avfile.h -- interface of the libavfile_vsk record file library
 *
 * libavfile_vsk lets a playback client browse and play the recordings a
 * vehicle-mounted video recorder writes to its storage card: day folders,
 * their video\ and alarm\ sub-folders and one AVI record file per channel.
 *
 * This is the one header a host includes. Every function below is exported
 * from the library under its plain name (no decoration) and, on 32-bit x86,
 * uses the __stdcall calling convention: arguments are pushed right to left
 * and the callee removes them. On other targets the platform's default C
 * calling convention is used.
 *
 * Result codes: every export returns a 32-bit signed integer:
 *   0  success
 *   1  null handle, missing path, failure, or nothing found / nothing left
 *   2  (open only) the file is encrypted and none of the host's passwords
 *      matches its key
 *
 * Strings are 8-bit, zero-terminated, in the system code page; a path is at
 * most 260 bytes including the terminator. Folder paths given to the searches
 * and to the folder check must end with a path separator.
 *
 * Threads: the library starts no thread. Any export may be called from any
 * thread. Calls on one record file handle are serialised by the handle's own
 * lock, but a handle must not be closed while another thread uses it.
 *
 * Output: every open of a record file (AVFILE_FEOpenFile, and the opens of
 * AVFILE_SearchFile and AVFILE_CheckFolder) prints the lines of its walk
 * through the file, one per top-level chunk visited and one for a failure,
 * to the process's standard output.
 */
#ifndef AVFILE_AVFILE_H
#define AVFILE_AVFILE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of the exports and of the host callbacks. */
#if defined(_M_IX86) || defined(__i386__)
#  if defined(_MSC_VER) || defined(__MINGW32__)
#    define AVFILE_CALL __stdcall
#  else
#    define AVFILE_CALL __attribute__((stdcall))
#  endif
#else
#  define AVFILE_CALL
#endif

/* Declaration prefix of the exports. The Windows DLL exports its names
 * through a module definition file, so nothing is needed there; the ELF
 * shared object is built with hidden visibility and marks the exports. */
#if defined(_WIN32)
#  define AVFILE_API
#elif defined(__GNUC__)
#  define AVFILE_API __attribute__((visibility("default")))
#else
#  define AVFILE_API
#endif

#define AVFILE_MAX_PATH 260

/* ---------------------------------------------------------------------
 * Records. All are little-endian with fixed layouts; sizes are given on
 * each. Pointers are 32 bits wide on the 32-bit builds.
 */
#pragma pack(push, 1)

/* Calendar time, the layout of the Windows SYSTEMTIME record (16 bytes). */
typedef struct AvSystemTime {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} AvSystemTime;

/* Audio format, the layout of the Windows WAVEFORMATEX record (18 bytes). */
typedef struct AvWaveFormatEx {
    uint16_t wFormatTag;      /* 1 = PCM */
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} AvWaveFormatEx;

/* One entry of the host's password list (40 bytes). Only the first 8 bytes
 * are compared with the file key of an encrypted record file. */
typedef struct PasswordEntry {
    unsigned char key[8];
    unsigned char reserved[32];
} PasswordEntry;

/* Record information of an open file (48 bytes), AVFILE_FEGetFileInfo. */
typedef struct RecFileInfo {
    AvSystemTime startTime;   /* 0:  start, from the file name or header */
    uint32_t durationMs;      /* 16: (stopTimeUs - startTimeUs) / 1000 */
    int32_t channel;          /* 20: channel given to AVFILE_FEOpenFile */
    int32_t alarm;            /* 24: 1 = alarm recording */
    int64_t startTimeUs;      /* 28: start, microseconds since 1970 */
    int64_t stopTimeUs;       /* 36: stop, microseconds since 1970 */
    uint8_t frameRate;        /* 44: frames per second */
    uint8_t reserved;         /* 45: always 0 */
    uint8_t padding[2];       /* 46: always 0 */
} RecFileInfo;

#pragma pack(pop)

/* A frame delivered by the reading exports, and also the request record they
 * take. 28 bytes on 32-bit builds; 32 bytes with an 8-byte data pointer on
 * 64-bit builds (same field order). */
#pragma pack(push, 4)
typedef struct AvFrameInfo {
    int64_t timeUs;           /* presentation time, microseconds since 1970;
                                 audio frames do not write it and leave what
                                 the host's record held */
    unsigned char *data;      /* payload; owned by the handle, valid until the
                                 next read, seek, step or close on it */
    int32_t altLength1;       /* payload length, audio frames only */
    int32_t length;           /* payload length (side-data record length) */
    int32_t altLength2;       /* payload length, audio frames only */
    int32_t type;             /* FRAME_TYPE_* on return; FRAME_REQ_* in a
                                 request record */
} AvFrameInfo;
#pragma pack(pop)

/* Frame types of AvFrameInfo.type on return. */
#define FRAME_TYPE_I        0 /* video key frame (H.264) */
#define FRAME_TYPE_P        1 /* other video frame */
#define FRAME_TYPE_AUDIO    2 /* audio of the requested channel */
#define FRAME_TYPE_SIDEDATA 3 /* side-data record (GPS, samples) */

/* Request codes, in AvFrameInfo.type of the request record. */
/* Read the next side-data record listed in the file's index: the records
 * come in file order, each once per open; seeks and steps do not rewind
 * them, and 1 comes back once all were read. The file has one reader for
 * frames and side data alike: the request places it behind the text chunk it
 * read, so the next plain read goes on from there and no longer from the
 * video position. The record's time is that of the first video frame after
 * it (left as the host's record held it when the index lists no video). */
#define FRAME_REQ_SIDEDATA       ((int32_t)0xff000011)
/* Deliver audio of the 0-based channel held in the low 32 bits of the
 * request's timeUs instead of the channel given at open. */
#define FRAME_REQ_AUDIO_CHANNEL  ((int32_t)0xff000033)

/* Side-data record (FRAME_TYPE_SIDEDATA): a 4-byte head, then a GpsBlock when
 * flags bit 0 is set, then ten SampleRecords when flags bit 1 is set. Its
 * length is 4, 48, 244 or 288 bytes. */
#pragma pack(push, 4)
typedef struct SideDataHead {
    uint16_t flags;           /* AVFILE_SIDEDATA_GPS | AVFILE_SIDEDATA_SAMPLES */
    uint16_t reserved;
} SideDataHead;

typedef struct GpsBlock {     /* 44 bytes */
    uint32_t valid;           /* 1 */
    uint32_t valid2;          /* 1 */
    uint16_t course;          /* course over ground, whole degrees */
    uint16_t speed;           /* speed over ground, 0.01 km/h */
    double longitude;         /* decimal degrees, east positive */
    double latitude;          /* decimal degrees, north positive */
    unsigned char reserved[16];
} GpsBlock;

typedef struct SampleRecord { /* 24 bytes */
    uint16_t value1;
    uint16_t value2;
    uint16_t value3;
    uint16_t word4;           /* always 1024 */
    unsigned char reserved[16];
} SampleRecord;
#pragma pack(pop)

#define AVFILE_SIDEDATA_GPS      0x0001
#define AVFILE_SIDEDATA_SAMPLES  0x0002
#define AVFILE_SIDEDATA_SAMPLE_COUNT 10

#define AVFILE_TERMINAL_INFO_SIZE 100
#define AVFILE_IO_NAME_SIZE       344

/* A day folder found by AVFILE_SearchDay (272 bytes). */
typedef struct RecDayInfo {
    int32_t year;
    int32_t month;
    int32_t day;
    char path[AVFILE_MAX_PATH]; /* root, folder name and a separator */
} RecDayInfo;

/* A recording found by AVFILE_SearchFile (4596 bytes): the files of one
 * recording, one per channel, in ascending channel order. Byte 255 of the
 * first path slot holds, for a group of one file, that file's composite
 * byte when it is nonzero. */
typedef struct RecGroupInfo {
    char paths[16][AVFILE_MAX_PATH];   /* 0 */
    int32_t channels[16];              /* 4160 */
    int32_t count;                     /* 4224: 1..16 */
    AvSystemTime startTime;            /* 4228 */
    uint32_t durationMs;               /* 4244 */
    int32_t alarm;                     /* 4248 */
    unsigned char ioName[AVFILE_IO_NAME_SIZE]; /* 4252 */
} RecGroupInfo;

/* Host callbacks. The record belongs to the library and is valid only during
 * the call. Writing "stop" at the start of the (first) path field ends the
 * search. The result is ignored. */
typedef int (AVFILE_CALL *SearchDayCallback)(RecDayInfo *day, int32_t user);
typedef int (AVFILE_CALL *SearchFileCallback)(RecGroupInfo *group, int32_t user);

/* Opaque handle of an open record file; null is never a valid handle. */
typedef void *AvFileHandle;

/* ---------------------------------------------------------------------
 * Library
 */

/* Does nothing; returns 0. Need not be called. */
AVFILE_API int32_t AVFILE_CALL AVFILE_Initialize(void);
/* Does nothing (open handles stay open); returns 0. */
AVFILE_API int32_t AVFILE_CALL AVFILE_UnInitialize(void);

/* 0 when the last four bytes of the block, a little-endian value W, satisfy:
 * the three low bytes of W - (length - 4) are "jnq". 1 otherwise, and for a
 * null block or a length below 4. The block is only read. */
AVFILE_API int32_t AVFILE_CALL AVFILE_CheckWaterMark(const unsigned char *data,
                                                     int32_t length);

/* Copies any file. With failIfExists (its low byte) nonzero an existing
 * destination is left alone and 1 is returned. 0 when copied, else 1 (a null
 * path included). */
AVFILE_API int32_t AVFILE_CALL AVFILE_FECopyFile(const char *source,
                                                 const char *destination,
                                                 int32_t failIfExists);

/* ---------------------------------------------------------------------
 * Recording tree
 */

/* Calls dayCallback for every folder of root matching "20*" whose name is a
 * date (2015-01-09, 2015_01_09, 20150109_01, ...). 1 when root does not exist
 * (a null root included) or the host stopped the search, 0 otherwise. With a
 * null dayCallback nothing is walked and the result is 0 for an existing
 * root. */
AVFILE_API int32_t AVFILE_CALL AVFILE_SearchDay(const char *root, int32_t user,
                                                SearchDayCallback dayCallback);

/* Searches folder, then its video\ and alarm\ sub-folders, and calls
 * fileCallback once per recording: record files of different channels with
 * the same alarm flag starting less than 5 s apart are grouped. Returns 1.
 * With a null folder or a null fileCallback nothing is searched and no file
 * is opened. */
AVFILE_API int32_t AVFILE_CALL AVFILE_SearchFile(const char *folder, int32_t user,
                                                 SearchFileCallback fileCallback);

/* Walks like AVFILE_SearchFile but reports nothing. Returns 1. */
AVFILE_API int32_t AVFILE_CALL AVFILE_SearchEvent(const char *folder, int32_t user,
                                                  SearchFileCallback fileCallback);

/* 0 when path names a record file (for example
 * "...\3_20150109-104929_1030h.avi"), 1 when not. The file is not opened. */
AVFILE_API int32_t AVFILE_CALL AVFILE_CheckFileName(const char *path);

/* Looks for a readable record file under folder and opens it. 0 when one was
 * opened and terminalInfo (100 bytes) and ioName (344 bytes) were filled; 1
 * when the folder does not exist (a null folder included) or holds no record
 * file that opens. An encrypted file that none of the passwords opens does
 * not make it 2: the later steps of the walk overwrite that result, so the
 * answer is 0 or 1. A null terminalInfo or ioName is not written; the result
 * is the same. A null password list, or a count of 0 or less, is an empty
 * list (a null list with a positive count is never read). */
AVFILE_API int32_t AVFILE_CALL AVFILE_CheckFolder(const char *folder,
                                                  const PasswordEntry *passwords,
                                                  int32_t passwordCount,
                                                  int32_t checkPassword,
                                                  unsigned char *terminalInfo,
                                                  unsigned char *ioName);

/* ---------------------------------------------------------------------
 * Record files. Every export taking a handle returns 1 at once for a null
 * handle and then touches no output.
 */

/* Opens a record file (any path ending in ".avi"). channel picks the audio
 * channel delivered by default. With checkPassword nonzero an encrypted file
 * opens only when one of the passwordCount entries matches its key; a null
 * list, or a count of 0 or less, is an empty list, so such a file gives 2.
 * The list must hold passwordCount entries. 0 with the handle stored in
 * *handle; 1 not opened; 2 no password matched. On 1 and 2 *handle is left
 * untouched. A null path or a null handle address gives 1 without opening
 * anything.
 * The file key of an encrypted file is deciphered with the master key: the
 * built-in one, or the MASTERKEY value of section [CRYPT] in "AVFILE.INI"
 * beside the library, exactly eight printable ASCII characters, read at the
 * first open that needs it. A value that is refused sends one line to the
 * debugger output (OutputDebugString) saying the built-in key is used. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEOpenFile(const char *path, int32_t channel,
                                                 const PasswordEntry *passwords,
                                                 int32_t passwordCount,
                                                 int32_t checkPassword,
                                                 AvFileHandle *handle);

/* Closes the file and frees the handle; 0. The handle is invalid after. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FECloseFile(AvFileHandle handle);

/* Copies the audio format, the size of one audio frame in bytes and two
 * audio encoding codes out; 0. Each null output is skipped. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetWaveFormat(AvFileHandle handle,
                                                      AvWaveFormatEx *format,
                                                      uint32_t *frameSize,
                                                      int32_t *codec,
                                                      int32_t *codecParam);

/* Copies the 48-byte record information out; 0, or 1 for a null info. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetFileInfo(AvFileHandle handle,
                                                    RecFileInfo *info);

/* Copies the 100-byte terminal information block out; 0 when the file
 * carries one, 1 when not (the block is copied in both cases). A null
 * terminalInfo is not written; the result is the same. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetTerminalInfo(AvFileHandle handle,
                                                        unsigned char *terminalInfo);

/* Copies the 344-byte input/output names block out; 0 when the file carries
 * one, 1 when not (the block is copied in both cases). A null ioName is not
 * written; the result is the same. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetIOName(AvFileHandle handle,
                                                  unsigned char *ioName);

/* Repositions on the first key frame of the file; 0, or 1 when closed. Like
 * AVFILE_FESeekIFrame, a file without a key frame gives 0 and a parked
 * reader. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FESeekBegin(AvFileHandle handle);

/* Delivers the next frame into *frame: 0 when one was delivered, 1 when none
 * is left. request->type FRAME_REQ_SIDEDATA reads the next side-data record
 * of the index (and moves the reader, see there); FRAME_REQ_AUDIO_CHANNEL
 * picks the audio channel. A null request is a plain one (type 0). A null
 * frame gives 1 and reads nothing; the same holds for the two key-frame steps
 * below, which then do not move.
 * Once a read returned 1 at the end of the data, after a failed read or at a
 * chunk of more than 512000 bytes, every further read returns 1 until a seek,
 * a step or a side-data request places the reader again. An empty chunk
 * gives 1 for that read only; the next one goes on behind it. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEReadFrame(AvFileHandle handle,
                                                  AvFrameInfo *frame,
                                                  const AvFrameInfo *request);

/* Seeks to the key frame at or after the proportional index position of the
 * time (microseconds since 1970, passed as low and high 32-bit halves). 0 when
 * the time's second lies within the file, 1 when outside or closed. A seek
 * that finds no key frame from that position on still returns 0 and parks
 * the reader: reads then return 1 until the next seek, step or side-data
 * request. */
AVFILE_API int32_t AVFILE_CALL AVFILE_FESeekIFrame(AvFileHandle handle,
                                                   uint32_t timeUsLow,
                                                   uint32_t timeUsHigh);

/* Steps to the nearest key frame LATER in the file and delivers it; 0 when
 * found, 1 when not. (The name is kept for compatibility.) */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEBackwardIFrame(AvFileHandle handle,
                                                       AvFrameInfo *frame,
                                                       const AvFrameInfo *request);

/* Steps to the nearest key frame EARLIER in the file and delivers it; 0 when
 * found, 1 when not. (The name is kept for compatibility.) */
AVFILE_API int32_t AVFILE_CALL AVFILE_FEForwardIFrame(AvFileHandle handle,
                                                      AvFrameInfo *frame,
                                                      const AvFrameInfo *request);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks: the records are part of the binary interface. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L)
#  ifdef __cplusplus
#    define AVFILE_STATIC_ASSERT(c, m) static_assert(c, m)
#  else
#    define AVFILE_STATIC_ASSERT(c, m) _Static_assert(c, m)
#  endif
AVFILE_STATIC_ASSERT(sizeof(AvSystemTime) == 16, "AvSystemTime size");
AVFILE_STATIC_ASSERT(offsetof(AvSystemTime, wDay) == 6, "AvSystemTime.wDay");
AVFILE_STATIC_ASSERT(offsetof(AvSystemTime, wMilliseconds) == 14, "AvSystemTime.wMilliseconds");
AVFILE_STATIC_ASSERT(sizeof(AvWaveFormatEx) == 18, "AvWaveFormatEx size");
AVFILE_STATIC_ASSERT(offsetof(AvWaveFormatEx, nSamplesPerSec) == 4, "AvWaveFormatEx.nSamplesPerSec");
AVFILE_STATIC_ASSERT(offsetof(AvWaveFormatEx, nAvgBytesPerSec) == 8, "AvWaveFormatEx.nAvgBytesPerSec");
AVFILE_STATIC_ASSERT(offsetof(AvWaveFormatEx, nBlockAlign) == 12, "AvWaveFormatEx.nBlockAlign");
AVFILE_STATIC_ASSERT(offsetof(AvWaveFormatEx, wBitsPerSample) == 14, "AvWaveFormatEx.wBitsPerSample");
AVFILE_STATIC_ASSERT(offsetof(AvWaveFormatEx, cbSize) == 16, "AvWaveFormatEx.cbSize");
AVFILE_STATIC_ASSERT(sizeof(PasswordEntry) == 40, "PasswordEntry size");
AVFILE_STATIC_ASSERT(sizeof(RecFileInfo) == 48, "RecFileInfo size");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, durationMs) == 16, "RecFileInfo.durationMs");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, channel) == 20, "RecFileInfo.channel");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, alarm) == 24, "RecFileInfo.alarm");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, startTimeUs) == 28, "RecFileInfo.startTimeUs");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, stopTimeUs) == 36, "RecFileInfo.stopTimeUs");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, frameRate) == 44, "RecFileInfo.frameRate");
AVFILE_STATIC_ASSERT(offsetof(RecFileInfo, reserved) == 45, "RecFileInfo.reserved");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, timeUs) == 0, "AvFrameInfo.timeUs");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, data) == 8, "AvFrameInfo.data");
#if UINTPTR_MAX == 0xffffffffu
AVFILE_STATIC_ASSERT(sizeof(AvFrameInfo) == 28, "AvFrameInfo size (32-bit)");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, altLength1) == 12, "AvFrameInfo.altLength1");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, length) == 16, "AvFrameInfo.length");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, altLength2) == 20, "AvFrameInfo.altLength2");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, type) == 24, "AvFrameInfo.type");
#else
AVFILE_STATIC_ASSERT(sizeof(AvFrameInfo) == 32, "AvFrameInfo size (64-bit)");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, altLength1) == 16, "AvFrameInfo.altLength1");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, length) == 20, "AvFrameInfo.length");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, altLength2) == 24, "AvFrameInfo.altLength2");
AVFILE_STATIC_ASSERT(offsetof(AvFrameInfo, type) == 28, "AvFrameInfo.type");
#endif
AVFILE_STATIC_ASSERT(sizeof(SideDataHead) == 4, "SideDataHead size");
AVFILE_STATIC_ASSERT(sizeof(GpsBlock) == 44, "GpsBlock size");
AVFILE_STATIC_ASSERT(offsetof(GpsBlock, course) == 8, "GpsBlock.course");
AVFILE_STATIC_ASSERT(offsetof(GpsBlock, speed) == 10, "GpsBlock.speed");
AVFILE_STATIC_ASSERT(offsetof(GpsBlock, longitude) == 12, "GpsBlock.longitude");
AVFILE_STATIC_ASSERT(offsetof(GpsBlock, latitude) == 20, "GpsBlock.latitude");
AVFILE_STATIC_ASSERT(offsetof(GpsBlock, reserved) == 28, "GpsBlock.reserved");
AVFILE_STATIC_ASSERT(sizeof(SampleRecord) == 24, "SampleRecord size");
AVFILE_STATIC_ASSERT(offsetof(SampleRecord, word4) == 6, "SampleRecord.word4");
AVFILE_STATIC_ASSERT(sizeof(RecDayInfo) == 272, "RecDayInfo size");
AVFILE_STATIC_ASSERT(offsetof(RecDayInfo, path) == 12, "RecDayInfo.path");
AVFILE_STATIC_ASSERT(sizeof(RecGroupInfo) == 4596, "RecGroupInfo size");
AVFILE_STATIC_ASSERT(offsetof(RecGroupInfo, channels) == 4160, "RecGroupInfo.channels");
AVFILE_STATIC_ASSERT(offsetof(RecGroupInfo, count) == 4224, "RecGroupInfo.count");
AVFILE_STATIC_ASSERT(offsetof(RecGroupInfo, startTime) == 4228, "RecGroupInfo.startTime");
AVFILE_STATIC_ASSERT(offsetof(RecGroupInfo, durationMs) == 4244, "RecGroupInfo.durationMs");
AVFILE_STATIC_ASSERT(offsetof(RecGroupInfo, alarm) == 4248, "RecGroupInfo.alarm");
AVFILE_STATIC_ASSERT(offsetof(RecGroupInfo, ioName) == 4252, "RecGroupInfo.ioName");
#undef AVFILE_STATIC_ASSERT
#endif

#endif /* AVFILE_AVFILE_H */
