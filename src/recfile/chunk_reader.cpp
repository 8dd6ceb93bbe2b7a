#include "recfile/chunk_reader.h"

#include <cstring>
#include <new>

namespace {

enum ScanState : int32_t {
    kRefill = 0,
    kHunt = 1,
    kStreamDigit = 2,
    kTypeLetter = 3,
    kAfterD = 4,
    kLength0 = 5,
    kLength1 = 6,
    kLength2 = 7,
    kLength3 = 8,
    kPayload = 9,
    kAfterT = 10,
    kAfterW = 11,
};

// Moves past the current byte into `next`; an exhausted window is refilled
// before `next` goes on.
inline void Advance(AviChunkReader *r, int32_t next) {
    r->state = next;
    if (++r->pos >= r->bufLen) {
        r->resumeState = next;
        r->state = kRefill;
    }
}

// Bytes the next refill may read: what is left before the end bound, or a
// whole window when the bound does not limit it.
int64_t RefillLimit(const AviChunkReader *r) {
    const int64_t left = int64_t{r->moviSize} + 8 - int64_t{static_cast<uint32_t>(r->readPos)};
    if (left < 0 || left >= int64_t{r->bufSize}) return r->bufSize;
    return left;
}

// Reads a long payload's remainder straight into dest instead of through the
// window, as far as the end bound allows. A short read leaves the rest to the
// next refill, which then reports the end.
void ReadPayloadDirect(AviChunkReader *r, unsigned char *dest) {
    const int64_t left = int64_t{r->moviSize} + 8 - int64_t{static_cast<uint32_t>(r->readPos)};
    int64_t want = int64_t{r->length} - r->copied;
    if (left >= 0 && left < want) want = left;
    if (want < int64_t{r->bufSize}) return;
    const size_t got = plat::Read(r->file, dest + r->copied, static_cast<size_t>(want));
    r->readPos = static_cast<int32_t>(static_cast<uint32_t>(r->readPos) + got);
    r->copied += static_cast<uint32_t>(got);
}

// With readPos an absolute file position: refills stop at the movie list's
// end, and at once when the position already lies behind it.
void KeepMovieBound(AviChunkReader *r) {
    const uint32_t at = static_cast<uint32_t>(r->readPos);
    if (r->moviEnd == 0) {
        r->moviSize = 0;  // no movie list met: read to the end of the file
    } else if (at <= r->moviEnd) {
        r->moviSize = r->moviEnd - 8;
    } else {
        r->moviSize = at - 8;
    }
}

}  // namespace

AviChunkReader *CreateChunkReader() {
    AviChunkReader *r = new (std::nothrow) AviChunkReader{};
    if (r == nullptr) return nullptr;
    r->buf = new (std::nothrow) unsigned char[kWindowSize]();
    if (r->buf == nullptr) {
        delete r;
        return nullptr;
    }
    r->bufSize = kWindowSize;
    return r;
}

void FreeChunkReader(AviChunkReader *reader) {
    if (reader == nullptr) return;
    delete[] reader->buf;
    reader->buf = nullptr;
    reader->bufSize = 0;
    if (reader->file) plat::CloseRead(reader->file);
    delete reader;
}

void SetUpReader(AviChunkReader *r) {
    r->state = kRefill;
    r->readPos = 0;
    const size_t got = plat::Read(r->file, r->buf, r->bufSize);
    r->bufLen = static_cast<int32_t>(got);
    const unsigned char *b = r->buf;
    if (got < r->bufSize || std::memcmp(b, "RIFF", 4) != 0 || b[8] != 'A' || b[9] != 'V' ||
        b[10] != 'I') {
        return;
    }
    // The movie list is taken to follow the header list directly.
    const uint32_t headerListSize = static_cast<uint32_t>(b[16]) | static_cast<uint32_t>(b[17]) << 8 |
                                    static_cast<uint32_t>(b[18]) << 16 |
                                    static_cast<uint32_t>(b[19]) << 24;
    const uint64_t listOffset = uint64_t{headerListSize} + 20;
    if (listOffset > 0x7fffffffu || !plat::Seek(r->file, static_cast<int64_t>(listOffset))) return;
    const size_t count = plat::Read(r->file, r->buf, r->bufSize);
    if (count == 0) return;
    r->bufLen = static_cast<int32_t>(count);
    std::memset(r->buf + count, 0, r->bufSize - count);
    r->moviSize = static_cast<uint32_t>(b[4]) | static_cast<uint32_t>(b[5]) << 8 |
                  static_cast<uint32_t>(b[6]) << 16 | static_cast<uint32_t>(b[7]) << 24;
    r->readPos += static_cast<int32_t>(count);
    r->state = kHunt;
    r->pos = 0;
    r->listOffset = static_cast<uint32_t>(listOffset);
}

void BoundToMovieList(AviChunkReader *r, uint32_t moviEnd) {
    if (r == nullptr) return;
    r->moviEnd = moviEnd;
    // Only a reader the set-up placed, and only when there is a movie list.
    if (r->state != kHunt || moviEnd == 0) return;
    r->readPos = static_cast<int32_t>(r->listOffset + static_cast<uint32_t>(r->readPos));
    KeepMovieBound(r);
    // The window the set-up read may already reach past the movie list.
    const uint64_t windowEnd = uint64_t{r->listOffset} + static_cast<uint32_t>(r->bufLen);
    if (windowEnd > moviEnd) {
        r->bufLen = moviEnd > r->listOffset ? static_cast<int32_t>(moviEnd - r->listOffset) : 0;
        if (r->bufLen == 0) {
            r->state = kRefill;
            r->resumeState = 0;
        }
    }
}

int32_t ReadChunk(AviChunkReader *r, unsigned char *dest, uint32_t capacity, int32_t *kind) {
    if (r == nullptr) return -1;
    // A failed read is final until the reader is repositioned: the chunk it
    // cut off is not resumed.
    if (r->readFailed) return -2;
    for (;;) {
        if (r->state == kRefill) {
            if (r->resumeState == kPayload && r->length - r->copied >= r->bufSize) {
                ReadPayloadDirect(r, dest);
                if (r->copied == r->length) {
                    r->bufLen = 0;
                    r->pos = 0;
                    r->resumeState = kHunt;
                    return static_cast<int32_t>(r->length);
                }
            }
            const int64_t n = RefillLimit(r);
            if (n == 0) return 0;
            const size_t got = plat::Read(r->file, r->buf, static_cast<size_t>(n));
            r->bufLen = static_cast<int32_t>(got);
            if (got == 0) {
                r->readFailed = 1;
                return -2;
            }
            r->readPos = static_cast<int32_t>(static_cast<uint32_t>(r->readPos) + got);
            r->pos = 0;
            r->state = r->resumeState != 0 ? r->resumeState : kHunt;
            continue;
        }
        const unsigned char byte = r->buf[r->pos];
        switch (r->state) {
        case kHunt: {
            // Everything between chunks is passed over up to the next "0".
            const void *zero = std::memchr(r->buf + r->pos, '0', static_cast<size_t>(r->bufLen - r->pos));
            if (zero == nullptr) {
                r->pos = r->bufLen - 1;
                Advance(r, kHunt);
            } else {
                r->pos = static_cast<int32_t>(static_cast<const unsigned char *>(zero) - r->buf);
                Advance(r, kStreamDigit);
            }
            break;
        }
        case kStreamDigit:
            r->streamNo = static_cast<int32_t>(byte) - '0';
            Advance(r, kTypeLetter);
            break;
        case kTypeLetter:
            if (byte == 'd') {
                Advance(r, kAfterD);
            } else if (byte == 't') {
                Advance(r, kAfterT);
            } else if (byte == 'w') {
                Advance(r, kAfterW);
            } else if (byte == '0' && r->streamNo == 0) {
                Advance(r, kTypeLetter);  // "0000dc": a run of zeros before the type
            } else {
                Advance(r, kHunt);
            }
            break;
        case kAfterD:
        case kAfterT:
        case kAfterW: {
            const unsigned char want = r->state == kAfterD ? 'c' : r->state == kAfterT ? 'x' : 'b';
            if (byte == want || (r->state == kAfterD && byte == 'b')) {
                if (kind) *kind = r->state == kAfterD ? CHUNK_VIDEO : r->state == kAfterT ? CHUNK_TEXT : CHUNK_AUDIO;
                r->length = 0;
                Advance(r, kLength0);
            } else {
                Advance(r, kHunt);
            }
            break;
        }
        case kLength0:
            r->length = byte;
            Advance(r, kLength1);
            break;
        case kLength1:
            r->length |= static_cast<uint32_t>(byte) << 8;
            Advance(r, kLength2);
            break;
        case kLength2:
            r->length |= static_cast<uint32_t>(byte) << 16;
            Advance(r, kLength3);
            break;
        case kLength3:
            // Recomputed from the low three bytes, so a reader that stays on
            // an oversized chunk keeps refusing it.
            r->length = (r->length & 0x00ffffffu) | static_cast<uint32_t>(byte) << 24;
            if (r->length > capacity) return -1;
            r->copied = 0;
            if (r->length == 0) {
                Advance(r, kHunt);
                return 0;
            }
            Advance(r, kPayload);
            break;
        case kPayload: {
            const uint32_t inWindow = static_cast<uint32_t>(r->bufLen - r->pos);
            const uint32_t want = r->length - r->copied;
            const uint32_t take = want < inWindow ? want : inWindow;
            std::memcpy(dest + r->copied, r->buf + r->pos, take);
            r->copied += take;
            r->pos += static_cast<int32_t>(take) - 1;
            if (r->copied == r->length) {
                Advance(r, kHunt);
                return static_cast<int32_t>(r->length);
            }
            Advance(r, kPayload);
            break;
        }
        default:
            // A state the scanner never sets: start hunting again.
            r->state = kHunt;
            break;
        }
    }
}

int32_t RepositionReader(AviChunkReader *r, uint32_t offset) {
    if (r == nullptr) return -1;
    if (!plat::Seek(r->file, offset)) {
        // Reading on from wherever the file stayed would take another chunk
        // for the one at the offset.
        ParkReader(r);
        return -1;
    }
    r->readPos = static_cast<int32_t>(offset);
    r->bufLen = 0;
    r->state = kRefill;
    r->pos = 0;
    r->resumeState = 0;
    r->length = 0;
    r->copied = 0;
    r->readFailed = 0;
    KeepMovieBound(r);
    return 0;
}

void ParkReader(AviChunkReader *r) {
    if (r == nullptr) return;
    r->state = kRefill;
    r->resumeState = 0;
    r->pos = 0;
    r->bufLen = 0;
    r->length = 0;
    r->copied = 0;
    r->readPos = 8;
    r->moviSize = 0;
    r->readFailed = 0;
}

int32_t NextIndexEntry(AviIndex *index, IndexEntry *entry) {
    if (index == nullptr || index->cursor < 0 ||
        static_cast<uint32_t>(index->cursor) >= index->frameCount) {
        return -1;
    }
    *entry = index->entries[index->cursor++];
    return 0;
}
