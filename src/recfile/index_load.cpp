#include "recfile/index_load.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Entries read per call: a request this large goes past the stream's own
// buffer straight into the batch, one read of the file per 64 KiB.
constexpr uint32_t kBatch = 4096;
// What a batch falls back to when the large one cannot be had.
constexpr uint32_t kSmallBatch = 128;

bool IsStreamZeroVideo(const IndexEntry &e) {
    return std::memcmp(e.id, "00dc", 4) == 0 || std::memcmp(e.id, "00db", 4) == 0;
}

bool IsText(const IndexEntry &e) { return e.id[2] == 't'; }

// Reads up to `wanted` whole entries into batch; returns how many.
uint32_t ReadBatch(plat::ReadFile *file, IndexEntry *batch, uint32_t wanted) {
    const size_t got = plat::Read(file, batch, wanted * sizeof(IndexEntry));
    return static_cast<uint32_t>(got / sizeof(IndexEntry));
}

// Whether the file still holds the last of `declared` entries from start,
// and so all of them: the common case, settled by reading one entry.
bool HoldsAllEntries(plat::ReadFile *file, uint32_t start, uint32_t declared) {
    IndexEntry last;
    const int64_t at = int64_t{start} + int64_t{declared - 1} * int64_t{sizeof(IndexEntry)};
    return plat::Seek(file, at) && ReadBatch(file, &last, 1) == 1;
}

// How many whole entries of the chunk the file really holds.
uint32_t CountEntries(plat::ReadFile *file, uint32_t start, uint32_t declared,
                      IndexEntry *batch, uint32_t batchSize) {
    if (declared == 0) return 0;
    if (HoldsAllEntries(file, start, declared)) return declared;
    if (!plat::Seek(file, start)) return 0;
    uint32_t count = 0;
    while (count < declared) {
        const uint32_t wanted = declared - count < batchSize ? declared - count : batchSize;
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
    std::unique_ptr<IndexEntry[]> large(new (std::nothrow) IndexEntry[kBatch]);
    IndexEntry small[kSmallBatch];
    IndexEntry *batch = large ? large.get() : small;
    const uint32_t batchSize = large ? kBatch : kSmallBatch;

    // A size field larger than the file must not decide the allocation.
    const uint32_t capacity =
        CountEntries(index.file, start, chunkSize / sizeof(IndexEntry), batch, batchSize);
    index.entryCapacity = capacity;
    if (capacity == 0) return true;
    index.entries = new (std::nothrow) IndexEntry[capacity];
    if (index.entries == nullptr) {
        index.entryCapacity = 0;
        return false;
    }
    if (!plat::Seek(index.file, start)) return true;
    uint32_t done = 0;
    while (done < capacity) {
        const uint32_t wanted = capacity - done < batchSize ? capacity - done : batchSize;
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
