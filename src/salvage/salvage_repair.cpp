#include "salvage/salvage_repair.h"

#include <cstring>
#include <memory>
#include <new>

namespace salvage {

namespace {

constexpr size_t kCopyBytes = 64 * 1024;
constexpr uint32_t kIndexKeyFrame = 0x10;
constexpr uint64_t kUsPerSecond = 1000000;
// File offsets of the fields the repair sets: the RIFF size, and in the main
// AVI header (its data at 32) the total frames and the recording header's
// stop time (recording header at data byte 40, stop at its byte 12).
constexpr uint64_t kRiffSizeAt = 4;
constexpr uint64_t kMainFramesAt = 32 + 16;
constexpr uint64_t kStopAt = 32 + 40 + 12;
constexpr int kMaxHeaderChunks = 64;
// A reader refuses a record file shorter than its read window (2048 bytes)
// and looks for idx1 only when the movie list does not start in the file's
// last window: a copy of a few frames is filled up to this size by a JUNK
// chunk behind idx1.
constexpr uint64_t kMinCopyBytes = 4096;

uint32_t U32(const uint8_t *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutU32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
bool Is(const uint8_t *p, const char *id) { return std::memcmp(p, id, 4) == 0; }

uint64_t StoredBytes(const MovieChunk &c) { return 8 + uint64_t{c.length} + (c.length & 1); }

struct IndexEntry {
    char id[4];
    uint32_t flags, offset, length;
};

IndexEntry EntryOf(const MovieChunk &c, uint64_t outOffset) {
    IndexEntry e;
    std::memcpy(e.id, c.id, 4);
    e.flags = c.kind != ChunkKind::Video || c.key ? kIndexKeyFrame : 0;
    e.offset = static_cast<uint32_t>(outOffset);
    e.length = c.length;
    return e;
}

void Serialize(const IndexEntry &e, uint8_t *out) {
    std::memcpy(out, e.id, 4);
    PutU32(out + 4, e.flags);
    PutU32(out + 8, e.offset);
    PutU32(out + 12, e.length);
}

// First pass: what the movie list keeps.
class Counter final : public ChunkSink {
public:
    bool OnChunk(const MovieChunk &c) override {
        ++chunks;
        movieBytes += StoredBytes(c);
        return true;
    }
    uint32_t chunks = 0;
    uint64_t movieBytes = 0;
};

// Copies the bytes [offset, offset + bytes) of `source` to `out`.
bool CopyRange(ByteSource &source, uint64_t offset, uint64_t bytes, uint8_t *buffer, ByteOutput &out,
               bool &readFailed) {
    while (bytes > 0) {
        const size_t want = bytes < kCopyBytes ? static_cast<size_t>(bytes) : kCopyBytes;
        if (source.ReadAt(offset, buffer, want) != want) {
            readFailed = true;
            return false;
        }
        if (!out.Write(buffer, want)) return false;
        offset += want;
        bytes -= want;
    }
    return true;
}

// Second pass: copies every chunk and keeps its idx1 entry while there is
// room for all of them.
class Copier final : public ChunkSink {
public:
    Copier(ByteSource &source, ByteOutput &out, uint8_t *buffer, uint64_t firstOffset, IndexEntry *held)
        : source_(source), out_(out), buffer_(buffer), next_(firstOffset), held_(held) {}

    bool OnChunk(const MovieChunk &c) override {
        if (held_ != nullptr) held_[chunks] = EntryOf(c, next_);
        ++chunks;
        if (!CopyRange(source_, c.offset, 8 + uint64_t{c.length}, buffer_, out_, readFailed)) {
            failed = true;
            return false;
        }
        if (c.length & 1) {
            const uint8_t pad = 0;
            if (!out_.Write(&pad, 1)) {
                failed = true;
                return false;
            }
        }
        next_ += StoredBytes(c);
        return true;
    }
    uint32_t chunks = 0;
    bool failed = false;
    bool readFailed = false;

private:
    ByteSource &source_;
    ByteOutput &out_;
    uint8_t *buffer_;
    uint64_t next_;
    IndexEntry *held_;
};

// Third pass, for an index too large to hold: writes the entries in
// buffer-sized runs.
class IndexWriter final : public ChunkSink {
public:
    IndexWriter(ByteOutput &out, uint8_t *buffer, uint64_t firstOffset)
        : out_(out), buffer_(buffer), next_(firstOffset) {}
    bool OnChunk(const MovieChunk &c) override {
        Serialize(EntryOf(c, next_), buffer_ + used_);
        used_ += 16;
        next_ += StoredBytes(c);
        ++chunks;
        if (used_ == kCopyBytes && !Flush()) return false;
        return true;
    }
    bool Flush() {
        if (used_ > 0 && !out_.Write(buffer_, used_)) {
            failed = true;
            return false;
        }
        used_ = 0;
        return true;
    }
    uint32_t chunks = 0;
    bool failed = false;

private:
    ByteOutput &out_;
    uint8_t *buffer_;
    uint64_t next_;
    size_t used_ = 0;
};

// The file offset of the video stream header's length field, inside the
// header list: 0 when there is none.
uint64_t VideoStreamLengthAt(ByteSource &source, uint64_t frontEnd) {
    uint8_t h[12];
    if (source.ReadAt(12, h, 12) != 12 || !Is(h, "LIST") || !Is(h + 8, "hdrl")) return 0;
    uint64_t listEnd = 20 + uint64_t{U32(h + 4)};
    if (listEnd > frontEnd) listEnd = frontEnd;
    uint64_t p = 24;
    for (int n = 0; n < kMaxHeaderChunks && p + 12 <= listEnd; ++n) {
        if (source.ReadAt(p, h, 12) != 12) return 0;
        const uint64_t end = p + 8 + U32(h + 4);
        if (Is(h, "LIST") && Is(h + 8, "strl") && p + 24 <= listEnd) {
            uint8_t s[12];
            if (source.ReadAt(p + 12, s, 12) != 12) return 0;
            if (Is(s, "strh") && Is(s + 8, "vids") && U32(s + 4) >= 36 && p + 12 + 8 + 36 <= end) {
                return p + 12 + 8 + 32;
            }
        }
        p = end + (end & 1);
    }
    return 0;
}

struct Patch {
    uint64_t at;
    uint32_t value;
};

// Copies the header blocks [0, bytes) of `source` with the patches laid over.
bool CopyFront(ByteSource &source, uint64_t bytes, const Patch *patches, size_t count, uint8_t *buffer,
               ByteOutput &out, bool &readFailed) {
    for (uint64_t at = 0; at < bytes;) {
        const size_t want = bytes - at < kCopyBytes ? static_cast<size_t>(bytes - at) : kCopyBytes;
        if (source.ReadAt(at, buffer, want) != want) {
            readFailed = true;
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            uint8_t v[4];
            PutU32(v, patches[i].value);
            for (int b = 0; b < 4; ++b) {
                const uint64_t pos = patches[i].at + b;
                if (pos >= at && pos < at + want) buffer[pos - at] = v[b];
            }
        }
        if (!out.Write(buffer, want)) return false;
        at += want;
    }
    return true;
}

// True, with the repair's status set, when a scan did not get through.
bool ScanFailed(const ScanResult &scan, RepairResult &r) {
    if (scan.status == ScanStatus::OutOfMemory) {
        r.status = RepairStatus::OutOfMemory;
    } else if (scan.status != ScanStatus::Scanned || scan.listEnd == ListEnd::ReadFailed) {
        r.status = RepairStatus::CannotRead;
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool MemoryOutput::Write(const uint8_t *data, size_t n) {
    try {
        bytes.insert(bytes.end(), data, data + n);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

RepairResult Repair(ByteSource &source, ByteSource *reference, ByteOutput &out,
                    size_t maxHeldIndexEntries) {
    RepairResult r;
    Counter counter;
    r.scan = Scan(source, &counter);
    const ScanResult &scan = r.scan;
    if (ScanFailed(scan, r)) return r;
    r.videoFrames = scan.videoFrames;
    r.keyFrames = scan.keyFrames;
    r.chunks = scan.chunks;
    r.chunksDropped = scan.tornChunkDropped ? 1 : 0;
    if (scan.Sound()) {
        r.status = RepairStatus::Sound;
        return r;
    }
    if (!scan.movieListFound || scan.videoFrames == 0) {
        r.status = RepairStatus::NothingToSalvage;
        return r;
    }

    // The header blocks: the file's own, or the reference's.
    ByteSource *headerSource = &source;
    ScanResult header = scan;
    if (!scan.headerIntact) {
        if (reference == nullptr) {
            r.status = RepairStatus::NoHeader;
            return r;
        }
        header = Scan(*reference, nullptr);
        if (ScanFailed(header, r)) return r;
        if (!header.headerIntact || !header.movieListFound) {
            r.status = RepairStatus::NoHeader;
            return r;
        }
        headerSource = reference;
        r.headerFromReference = true;
    }
    const uint64_t front = header.movieListOffset;

    // The INFO list of a file whose movie list survived whole stands behind it.
    uint64_t infoBytes = 0;
    if (!r.headerFromReference && scan.listEnd == ListEnd::Whole && scan.infoFound &&
        scan.infoListOffset > scan.movieListOffset) {
        uint8_t h[8];
        if (source.ReadAt(scan.infoListOffset, h, 8) != 8) {
            r.status = RepairStatus::CannotRead;
            return r;
        }
        const uint32_t size = U32(h + 4);
        infoBytes = 8 + uint64_t{size};
        if (scan.infoListOffset + infoBytes > scan.totalBytes) infoBytes = 0;  // not whole after all
    }

    const uint64_t movieStart = front;
    const uint64_t indexBytes = 16 * uint64_t{counter.chunks};
    const uint64_t indexEnd = front + 12 + counter.movieBytes + infoBytes + (infoBytes & 1) + 8 + indexBytes;
    const uint64_t junkBytes = indexEnd + 8 < kMinCopyBytes ? kMinCopyBytes - indexEnd - 8 : 0;
    const uint64_t total = junkBytes > 0 ? indexEnd + 8 + junkBytes : indexEnd;
    if (total - 8 > 0xFFFFFFFFull) {
        r.status = RepairStatus::WriteFailed;
        return r;
    }

    // The stop time from the frames present.
    uint64_t microsPerFrame = header.microsPerFrame;
    if (microsPerFrame == 0) {
        const int8_t rate = static_cast<int8_t>(header.recordingHeader[5]);
        microsPerFrame = kUsPerSecond / (rate > 0 ? rate : header.recordingHeader[6] == 1 ? 25 : 30);
    }
    r.recoveredMicros = microsPerFrame * scan.videoFrames;
    int64_t seconds = static_cast<int64_t>((r.recoveredMicros + kUsPerSecond / 2) / kUsPerSecond);
    if (seconds < 1) seconds = 1;
    r.startSeconds = header.startSeconds;
    int64_t stop = int64_t{header.startSeconds} + seconds;
    if (stop > INT32_MAX) stop = INT32_MAX;
    r.stopSeconds = static_cast<int32_t>(stop);

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBytes]);
    std::unique_ptr<IndexEntry[]> held;
    const bool holdIndex = counter.chunks <= maxHeldIndexEntries;
    if (holdIndex) {
        held.reset(new (std::nothrow) IndexEntry[counter.chunks ? counter.chunks : 1]);
    }
    if (buffer == nullptr || (holdIndex && held == nullptr)) {
        r.status = RepairStatus::OutOfMemory;
        return r;
    }

    Patch patches[4] = {{kRiffSizeAt, static_cast<uint32_t>(total - 8)},
                        {kMainFramesAt, scan.videoFrames},
                        {kStopAt, static_cast<uint32_t>(r.stopSeconds)},
                        {0, scan.videoFrames}};
    size_t patchCount = 3;
    if (const uint64_t at = VideoStreamLengthAt(*headerSource, front)) {
        patches[3].at = at;
        patchCount = 4;
    }

    r.status = RepairStatus::WriteFailed;
    bool readFailed = false;
    auto failed = [&]() -> RepairResult & {
        if (readFailed) r.status = RepairStatus::CannotRead;
        return r;
    };
    if (!CopyFront(*headerSource, front, patches, patchCount, buffer.get(), out, readFailed)) return failed();

    uint8_t list[12];
    std::memcpy(list, "LIST", 4);
    PutU32(list + 4, static_cast<uint32_t>(4 + counter.movieBytes));
    std::memcpy(list + 8, "movi", 4);
    if (!out.Write(list, 12)) return r;

    Copier copier(source, out, buffer.get(), movieStart + 12, held.get());
    const ScanResult copied = Scan(source, &copier);
    readFailed = readFailed || copier.readFailed;
    if (copier.failed) return failed();
    if (copied.status != ScanStatus::Scanned || copier.chunks != counter.chunks) {
        r.status = copied.status == ScanStatus::OutOfMemory ? RepairStatus::OutOfMemory
                                                            : RepairStatus::CannotRead;
        return r;
    }

    if (infoBytes > 0) {
        if (!CopyRange(source, scan.infoListOffset, infoBytes, buffer.get(), out, readFailed)) return failed();
        if (infoBytes & 1) {
            const uint8_t pad = 0;
            if (!out.Write(&pad, 1)) return r;
        }
    }

    uint8_t idx[8];
    std::memcpy(idx, "idx1", 4);
    PutU32(idx + 4, static_cast<uint32_t>(indexBytes));
    if (!out.Write(idx, 8)) return r;
    if (held != nullptr) {
        for (uint32_t i = 0; i < counter.chunks;) {
            size_t used = 0;
            for (; i < counter.chunks && used < kCopyBytes; ++i, used += 16) {
                Serialize(held[i], buffer.get() + used);
            }
            if (!out.Write(buffer.get(), used)) return r;
        }
    } else {
        IndexWriter writer(out, buffer.get(), movieStart + 12);
        const ScanResult indexed = Scan(source, &writer);
        if (writer.failed || !writer.Flush()) return r;
        if (indexed.status != ScanStatus::Scanned || writer.chunks != counter.chunks) {
            r.status = RepairStatus::CannotRead;
            return r;
        }
    }
    if (junkBytes > 0) {
        uint8_t junk[8];
        std::memcpy(junk, "JUNK", 4);
        PutU32(junk + 4, static_cast<uint32_t>(junkBytes));
        std::memset(buffer.get(), 0, static_cast<size_t>(junkBytes));
        if (!out.Write(junk, 8) || !out.Write(buffer.get(), static_cast<size_t>(junkBytes))) return r;
    }
    r.outputBytes = total;
    r.status = RepairStatus::Repaired;
    return r;
}

RepairResult RepairFile(const char *path, const char *referencePath, ByteOutput &out) {
    RepairResult r;
    std::unique_ptr<ByteSource> source = OpenFileSource(path);
    std::unique_ptr<ByteSource> reference;
    if (referencePath != nullptr) reference = OpenFileSource(referencePath);
    if (source == nullptr || (referencePath != nullptr && reference == nullptr)) {
        r.status = RepairStatus::CannotRead;
        return r;
    }
    return Repair(*source, reference.get(), out);
}

}  // namespace salvage
