#include "recfile/container_walk.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "recfile/index_load.h"
#include "recfile/master_key.h"

namespace {

uint32_t U32At(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool IdIs(const unsigned char *p, const char *id) { return std::memcmp(p, id, 4) == 0; }

// Four characters of an identifier as a printable, terminated text.
struct FourCC {
    explicit FourCC(const unsigned char *p) {
        std::memcpy(text, p, 4);
        text[4] = '\0';
    }
    char text[5];
};

// Positions inside the header list, counted from its "LIST" identifier.
constexpr uint32_t kAvihId = 12;
constexpr uint32_t kAvihSize = 16;
constexpr uint32_t kRecHeaderPos = 60;
constexpr uint32_t kFileKeyPos = 76;
constexpr uint32_t kExtraPos = 84;
constexpr uint32_t kStrhId = 212;
constexpr uint32_t kStreamWordsPos = 224;
constexpr uint32_t kStrfId = 276;
constexpr uint32_t kFormatWordsPos = 284;
// Sizes of the main AVI header that decide what is taken.
constexpr int32_t kMinHeader = 40;
constexpr int32_t kHeaderWithRecHeader = 56;
constexpr int32_t kExtendedHeader = 104;
// Positions inside the INFO list.
constexpr uint32_t kRecInfoPos = 20;
constexpr uint32_t kInfoLongMin = 244;
constexpr uint32_t kInfoShortMin = 188;

// Takes what the header list carries; false when its recording header has a
// start that is not before its stop.
bool TakeHeaderList(AviIndex &index, const unsigned char *w, uint32_t size) {
    std::printf("chunk hdrl found, chunk size:%d\n", static_cast<int>(size));
    if (!IdIs(w + kAvihId, "avih")) {
        std::printf("main avi header id error: %s", FourCC(w + kAvihId).text);
        return true;
    }
    const int32_t headerSize = static_cast<int32_t>(U32At(w + kAvihSize));
    if (headerSize < kMinHeader) {
        std::printf("main avi header size error: %d", static_cast<int>(headerSize));
        return true;
    }
    if (headerSize >= kHeaderWithRecHeader) {
        std::memcpy(&index.recHeader, w + kRecHeaderPos, sizeof index.recHeader);
    }
    if (headerSize >= kExtendedHeader) {
        // The extended header also carries the enciphered file key and 16
        // further bytes; they fill the information block until an INFO list
        // overwrites it.
        RecInfo &info = index.recInfo;
        info.encryptCopy = static_cast<int8_t>(static_cast<int8_t>(index.recHeader.encryption) >> 4);
        std::memcpy(info.fileKey, w + kFileKeyPos, sizeof info.fileKey);
        std::memcpy(info.deviceId, "ID :", 4);
        std::memcpy(reinterpret_cast<unsigned char *>(&info) + 94, w + kExtraPos, 16);
    }
    if (IdIs(w + kStrhId, "strh")) {
        for (int i = 0; i < 3; ++i) index.streamWords[i] = U32At(w + kStreamWordsPos + 4 * i);
    }
    if (IdIs(w + kStrfId, "strf")) {
        for (int i = 0; i < 3; ++i) index.formatWords[i] = U32At(w + kFormatWordsPos + 4 * i);
    }
    return index.recHeader.startSeconds < index.recHeader.stopSeconds;
}

void TakeInfoList(AviIndex &index, const unsigned char *w, uint32_t size) {
    std::printf("chunk INFO found, chunk size:%d\n", static_cast<int>(size));
    if (size >= kInfoLongMin) {
        std::memcpy(&index.recInfo, w + kRecInfoPos, kRecInfoLongSize);
    } else if (size >= kInfoShortMin) {
        std::memcpy(&index.recInfo, w + kRecInfoPos, kRecInfoShortSize);
    }
}

// The walk's handle is its caller's: it stays open.
void Release(AviIndex *index) {
    plat::ReadAhead(index->file, 0);
    index->file = nullptr;
    FreeAviIndex(index);
}

}  // namespace

void FreeAviIndex(AviIndex *index) {
    if (index == nullptr) return;
    delete[] index->chunkBuf;
    if (index->file) plat::CloseRead(index->file);
    delete[] index->entries;
    delete index;
}

AviIndex *WalkContainer(plat::ReadFile *file) {
    AviIndex *index = new (std::nothrow) AviIndex{};
    if (index == nullptr) {
        std::printf("malloc failed!\n");
        return nullptr;
    }
    index->file = file;
    if (index->file == nullptr) {
        std::printf("file open failed!\n");
        Release(index);
        return nullptr;
    }
    index->chunkBuf = new (std::nothrow) unsigned char[kWindowSize];
    if (index->chunkBuf == nullptr) {
        std::printf("malloc failed!\n");
        Release(index);
        return nullptr;
    }
    unsigned char *w = index->chunkBuf;
    if (!plat::Seek(index->file, 0) || plat::Read(index->file, w, kWindowSize) < kWindowSize) {
        std::printf("file read failed\n");
        Release(index);
        return nullptr;
    }
    if (!IdIs(w, "RIFF") || w[8] != 'A' || w[9] != 'V' || w[10] != 'I') {
        std::printf("No RIFF chunck found!\n");
        Release(index);
        return nullptr;
    }

    uint32_t offset = 12;
    for (;;) {
        // Offsets beyond a signed 32-bit file position fail like any seek.
        if (offset > 0x7fffffffu || !plat::Seek(index->file, offset)) {
            std::printf("file seek failed\n");
            break;
        }
        const size_t got = plat::Read(index->file, w, kWindowSize);
        if (got == 0) break;
        // The fixed positions are read whatever the window holds; bytes past
        // the end of the file read as zero.
        std::memset(w + got, 0, kWindowSize - got);
        const uint32_t size = U32At(w + 4);
        bool endOfWalk = false;
        if (IdIs(w, "LIST")) {
            if (IdIs(w + 8, "hdrl")) {
                if (!TakeHeaderList(*index, w, size)) {
                    Release(index);
                    return nullptr;
                }
            } else if (IdIs(w + 8, "INFO")) {
                TakeInfoList(*index, w, size);
            } else if (IdIs(w + 8, "movi")) {
                std::printf("chunk movi found, chunk size:%d\n", static_cast<int>(size));
                const uint64_t end = uint64_t{offset} + 8 + size;
                if (index->moviEnd == 0 && end <= 0xffffffffu) {
                    index->moviEnd = static_cast<uint32_t>(end);
                }
                // What follows the movie list is the index, which ends the
                // file: all of it comes in one read.
                plat::ReadAhead(index->file, SIZE_MAX);
            } else {
                std::printf("unknown chunk, type:%s, size:%d\n", FourCC(w + 8).text,
                            static_cast<int>(size));
            }
        } else if (IdIs(w, "idx1")) {
            std::printf("chunk idx1 found, chunksize:%d\n", static_cast<int>(size));
            if (!LoadIndexEntries(*index, offset, size)) {
                std::printf("malloc failed!\n");
                Release(index);
                return nullptr;
            }
            endOfWalk = true;
        } else if (IdIs(w, "JUNK")) {
            std::printf("chunk JUNK found, chunksize:%d\n", static_cast<int>(size));
        } else {
            std::printf("unknown chunk id: %s, size:%d\n", FourCC(w).text,
                        static_cast<int>(size));
        }
        if (endOfWalk) break;
        const uint32_t next = offset + 8 + size;
        if (next <= offset) {
            // A corrupt size would lead back over chunks already visited.
            std::printf("file seek failed\n");
            break;
        }
        // A window cut short shows where the file ends; a chunk that starts
        // before that end is still visited, so an index close behind a short
        // list is not lost.
        if (got < kWindowSize && next >= offset + got) break;
        offset = next;
    }
    // The handle goes back to its owner without a read-ahead asked for.
    plat::ReadAhead(index->file, 0);
    index->file = nullptr;

    PrepareFileKey(index->recHeader.encryption, index->recInfo.fileKey);
    RecHeader &h = index->recHeader;
    if (h.stopSeconds <= h.startSeconds) {
        h.stopSeconds = h.startSeconds + static_cast<int32_t>(index->frameCount / 30);
    }
    return index;
}
