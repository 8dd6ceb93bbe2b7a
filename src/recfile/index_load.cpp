#include "recfile/index_load.h"

#include <cstring>
#include <new>

namespace {

// Entries read through the buffered stream per call.
constexpr uint32_t kBatch = 128;

bool IsStreamZeroVideo(const IndexEntry &e) {
    return std::memcmp(e.id, "00dc", 4) == 0 || std::memcmp(e.id, "00db", 4) == 0;
}

bool IsText(const IndexEntry &e) { return e.id[2] == 't'; }

// Reads up to `wanted` whole entries into batch; returns how many.
uint32_t ReadBatch(plat::ReadFile *file, IndexEntry *batch, uint32_t wanted) {
    const size_t got = plat::Read(file, batch, wanted * sizeof(IndexEntry));
    return static_cast<uint32_t>(got / sizeof(IndexEntry));
}

// How many whole entries of the chunk the file really holds.
uint32_t CountEntries(plat::ReadFile *file, uint32_t start, uint32_t declared) {
    if (!plat::Seek(file, start)) return 0;
    IndexEntry batch[kBatch];
    uint32_t count = 0;
    while (count < declared) {
        const uint32_t wanted = declared - count < kBatch ? declared - count : kBatch;
        const uint32_t got = ReadBatch(file, batch, wanted);
        count += got;
        if (got < wanted) break;
    }
    return count;
}

}  // namespace

bool LoadIndexEntries(AviIndex &index, uint32_t chunkOffset, uint32_t chunkSize) {
    index.frameCount = 0;
    index.textCount = 0;
    const uint32_t start = chunkOffset + 8;
    // A size field larger than the file must not decide the allocation.
    const uint32_t capacity = CountEntries(index.file, start, chunkSize / sizeof(IndexEntry));
    index.entryCapacity = capacity;
    if (capacity == 0) return true;
    index.entries = new (std::nothrow) IndexEntry[capacity];
    if (index.entries == nullptr) {
        index.entryCapacity = 0;
        return false;
    }
    if (!plat::Seek(index.file, start)) return true;
    IndexEntry batch[kBatch];
    uint32_t done = 0;
    while (done < capacity) {
        const uint32_t wanted = capacity - done < kBatch ? capacity - done : kBatch;
        const uint32_t got = ReadBatch(index.file, batch, wanted);
        for (uint32_t i = 0; i < got; ++i) {
            IndexEntry &e = batch[i];
            if (IsStreamZeroVideo(e)) {
                index.entries[index.frameCount++] = e;
            } else if (IsText(e)) {
                e.flags = index.frameCount;
                index.entries[capacity - 1 - index.textCount++] = e;
            }
        }
        done += got;
        if (got < wanted) break;
    }
    return true;
}
