// Fixed-layout records of a record file as the reader keeps them: the
// recorder's recording header and information block, the idx1 entry, the
// index built by the container walk and the sequential chunk reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

#pragma pack(push, 1)

// Recording header: bytes 40..55 of the recorder's extended main AVI header.
struct RecHeader {
    uint8_t incomplete;      // 1: the recording was not finished
    int8_t videoChannel;
    uint8_t audioPresence;   // bit mask (composite) or channel index * 2
    int8_t alarmFile;        // 1: alarm recording
    int8_t composite;        // 1: several channels in one file
    int8_t headerFrameRate;
    uint8_t videoStandard;   // 1: PAL, 0: NTSC
    uint8_t encryption;      // upper four bits: encryption mode
    int32_t startSeconds;    // seconds since 1970-01-01 00:00:00
    int32_t stopSeconds;
};

// Recording information block, 187 bytes (short form) or 244 (long form).
struct RecInfo {
    int8_t encryptCopy;
    uint8_t fileKey[8];      // enciphered with the master key in the file;
                             // deciphered by the container walk
    uint8_t unused;
    char deviceId[21];
    char appVersion[52];
    char mcuVersion[52];
    char camVersion[52];
    uint8_t longFormTail[57];
};

// One idx1 entry. For a text entry kept in AviIndex, flags holds the number
// of video entries that precede it.
struct IndexEntry {
    char id[4];
    uint32_t flags;          // video: nonzero marks a key frame
    uint32_t offset;         // absolute file offset of the chunk header
    uint32_t length;
};

#pragma pack(pop)

static_assert(sizeof(RecHeader) == 16, "RecHeader size");
static_assert(offsetof(RecHeader, alarmFile) == 3, "RecHeader.alarmFile");
static_assert(offsetof(RecHeader, videoStandard) == 6, "RecHeader.videoStandard");
static_assert(offsetof(RecHeader, encryption) == 7, "RecHeader.encryption");
static_assert(offsetof(RecHeader, startSeconds) == 8, "RecHeader.startSeconds");
static_assert(offsetof(RecHeader, stopSeconds) == 12, "RecHeader.stopSeconds");
static_assert(sizeof(RecInfo) == 244, "RecInfo size");
static_assert(offsetof(RecInfo, fileKey) == 1, "RecInfo.fileKey");
static_assert(offsetof(RecInfo, deviceId) == 10, "RecInfo.deviceId");
static_assert(offsetof(RecInfo, appVersion) == 31, "RecInfo.appVersion");
static_assert(offsetof(RecInfo, mcuVersion) == 83, "RecInfo.mcuVersion");
static_assert(offsetof(RecInfo, camVersion) == 135, "RecInfo.camVersion");
static_assert(offsetof(RecInfo, longFormTail) == 187, "RecInfo.longFormTail");
static_assert(sizeof(IndexEntry) == 16, "IndexEntry size");
static_assert(offsetof(IndexEntry, flags) == 4, "IndexEntry.flags");
static_assert(offsetof(IndexEntry, offset) == 8, "IndexEntry.offset");
static_assert(offsetof(IndexEntry, length) == 12, "IndexEntry.length");

// Short and long form of the recording information block.
constexpr uint32_t kRecInfoShortSize = 187;
constexpr uint32_t kRecInfoLongSize = sizeof(RecInfo);

// Read window of the container walk and of the chunk reader.
constexpr uint32_t kWindowSize = 2048;

// The sequential chunk reader. state, resumeState, pos, streamNo and bufLen
// belong to the chunk scanner; the set-up and the repositioning fill the
// rest. length and copied carry a chunk in progress from one call to the
// next.
struct AviChunkReader {
    int32_t state;           // 0: window must be refilled; 1: hunting
    int32_t resumeState;     // state to resume after a refill
    int32_t pos;             // next byte in buf
    int32_t streamNo;        // stream digit of the chunk being read
    int32_t bufLen;          // bytes held in buf
    uint32_t bufSize;        // capacity of buf
    unsigned char *buf;      // read window
    plat::ReadFile *file;    // the reader's own handle on the record file
    int32_t readPos;         // bytes read from the start of the list the
                             // set-up found, or the absolute file position
                             // after a repositioning
    uint32_t moviSize;       // refills stop moviSize + 8 - readPos bytes on
    uint32_t length;         // declared length of the chunk being read
    uint32_t copied;         // payload bytes of it copied so far
    uint32_t moviEnd;        // end of the movie list (0: the walk met none);
                             // the bound a repositioned reader keeps
    uint32_t listOffset;     // file offset of the list the set-up found
    int32_t readFailed;      // nonzero once the file yielded no more bytes:
                             // every read then finds nothing until the
                             // reader is repositioned
};

// What the container walk learns about a record file.
struct AviIndex {
    plat::ReadFile *file;    // the walk's own handle; closed when it ends
    unsigned char *chunkBuf; // read window of the walk
    RecHeader recHeader;
    RecInfo recInfo;
    uint32_t frameCount;     // video entries, at the front of entries
    IndexEntry *entries;     // entryCapacity long
    int32_t cursor;          // entry of the next video chunk to be read
    uint32_t textCount;      // text entries, from the back of entries
    uint32_t entryCapacity;  // idx1 entries the file holds
    uint32_t textCursor;     // text entries already fetched on request
    uint32_t streamWords[3]; // stream header data bytes 4..15
    uint32_t formatWords[3]; // stream format data bytes 0..11
    uint32_t moviEnd;        // offset + 8 + size of the movie list; 0: none
};
