#include "salvage/salvage_scan.h"

#include <cstring>
#include <new>

#include "platform/platform.h"
#include "recfile/frame_cipher.h"

namespace salvage {

namespace {

constexpr size_t kWindowBytes = 64 * 1024;
constexpr size_t kKeyHeadBytes = 64;
// An encrypted key frame is stored plain in front of its enciphered region.
constexpr size_t kPlainKeyFrameHead = kKeyFrameCipherOffset;
// The top-level chunks looked at in front of the movie list.
constexpr int kMaxLeadingChunks = 64;
constexpr uint32_t kMinRecordingHeader = 56;  // main AVI header bytes that hold it
constexpr uint32_t kMinInfoList = 188;

uint32_t U32(const uint8_t *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
bool Is(const uint8_t *p, const char *id) { return std::memcmp(p, id, 4) == 0; }
bool AllZero(const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}
bool IsDigit(uint8_t c, char from) { return c >= static_cast<uint8_t>(from) && c <= '9'; }

// A movie-list identifier the recorder writes: fills kind and stream.
bool RecorderChunkId(const uint8_t *id, ChunkKind &kind, int &stream) {
    if (id[0] != '0') return false;
    if (id[1] == '0' && id[2] == 'd' && (id[3] == 'c' || id[3] == 'b')) {
        kind = ChunkKind::Video;
    } else if (IsDigit(id[1], '1') && id[2] == 'w' && id[3] == 'b') {
        kind = ChunkKind::Audio;
    } else if (IsDigit(id[1], '1') && id[2] == 't' && id[3] == 'x') {
        kind = ChunkKind::Text;
    } else {
        return false;
    }
    stream = id[1] - '0';
    return true;
}

// The 4-byte trailer a recorder puts behind a finished file: its three low
// bytes "jnq" once the count of bytes in front of it is taken off.
bool IsWatermark(const uint8_t *p, uint64_t before) {
    const uint32_t tag = U32(p) - static_cast<uint32_t>(before);
    return (tag & 0xFFFFFF) == (('q' << 16) | ('n' << 8) | 'j');
}

// Bounded read-ahead over a source: one window of kWindowBytes, refilled
// from the requested offset on.
class Window {
public:
    Window(ByteSource &source, uint8_t *buffer) : source_(source), buffer_(buffer), size_(source.Size()) {}

    uint64_t size() const { return size_; }
    bool failed() const { return failed_; }

    // The `n` bytes at `offset` (n <= kWindowBytes), or null when they are
    // not all in the data or cannot be read (then failed() is true).
    const uint8_t *Get(uint64_t offset, size_t n) {
        if (offset > size_ || n > size_ - offset) return nullptr;
        if (offset >= start_ && offset - start_ + n <= length_) return buffer_ + (offset - start_);
        const uint64_t left = size_ - offset;
        const size_t want = left < kWindowBytes ? static_cast<size_t>(left) : kWindowBytes;
        start_ = offset;
        length_ = source_.ReadAt(offset, buffer_, want);
        if (length_ < n) {
            failed_ = true;
            length_ = 0;
            return nullptr;
        }
        return buffer_;
    }

private:
    ByteSource &source_;
    uint8_t *buffer_;
    uint64_t size_;
    uint64_t start_ = 0;
    size_t length_ = 0;
    bool failed_ = false;
};

// The header list at offset 12 with the recorder's main AVI header.
void ReadHeaderList(Window &w, ScanResult &r) {
    const uint8_t *h = w.Get(12, 24);
    if (h == nullptr || !Is(h, "LIST") || !Is(h + 8, "hdrl") || !Is(h + 12, "avih")) return;
    const uint64_t listEnd = 20 + static_cast<uint64_t>(U32(h + 4));
    const uint32_t mainSize = U32(h + 16);
    if (listEnd > w.size() || mainSize < kMinRecordingHeader || 32 + uint64_t{mainSize} > listEnd) return;
    const uint8_t *main = w.Get(32, kMinRecordingHeader);
    if (main == nullptr) return;
    r.headerIntact = true;
    r.microsPerFrame = U32(main);
    r.frameCountField = U32(main + 16);
    std::memcpy(r.recordingHeader, main + 40, sizeof r.recordingHeader);
    r.startSeconds = static_cast<int32_t>(U32(r.recordingHeader + 8));
    r.stopSeconds = static_cast<int32_t>(U32(r.recordingHeader + 12));
    r.encrypted = (r.recordingHeader[7] & 0xF0) != 0;
    r.stopTimeWritten = r.stopSeconds > r.startSeconds;
}

void NoteInfoList(const uint8_t *h, uint64_t offset, ScanResult &r) {
    if (Is(h, "LIST") && Is(h + 8, "INFO") && U32(h + 4) >= kMinInfoList) {
        r.infoFound = true;
        r.infoListOffset = offset;
    }
}

// Finds the movie list: through the top-level chunks in front of it, whose
// sizes were written with the headers; failing that, by its list header in
// the first window of the file.
bool FindMovieList(Window &w, ScanResult &r) {
    uint64_t p = 12;
    for (int n = 0; n < kMaxLeadingChunks; ++n) {
        const uint8_t *h = w.Get(p, 12);
        if (h == nullptr) break;
        if (Is(h, "LIST") && Is(h + 8, "movi")) {
            r.movieListOffset = p;
            return true;
        }
        const uint64_t end = p + 8 + U32(h + 4);
        if (end > w.size() || !(Is(h, "LIST") || Is(h, "JUNK"))) break;
        NoteInfoList(h, p, r);
        p = end;
    }
    const uint64_t span = w.size() < kWindowBytes ? w.size() : kWindowBytes;
    const uint8_t *all = w.Get(0, static_cast<size_t>(span));
    if (all == nullptr) return false;
    for (size_t i = 0; i + 12 <= span; ++i) {
        if (Is(all + i, "LIST") && Is(all + i + 8, "movi")) {
            r.movieListOffset = i;
            return true;
        }
    }
    return false;
}

// The top-level chunks behind a whole movie list (idx1, the INFO list,
// JUNK); returns the end of the last whole one. `trailer`: the watermark
// trailer stands behind it.
uint64_t WalkBehindMovieList(Window &w, uint64_t p, ScanResult &r, bool &trailer) {
    trailer = false;
    for (;;) {
        const uint64_t left = w.size() - p;
        if (left == 0) return p;
        if (left < 8) {
            const uint8_t *t = w.Get(p, static_cast<size_t>(left));
            trailer = t != nullptr && left == 4 && IsWatermark(t, p);
            return p;
        }
        const uint8_t *h = w.Get(p, left < 12 ? 8 : 12);
        if (h == nullptr) return p;
        const uint64_t end = p + 8 + U32(h + 4);
        if (end > w.size()) return p;
        if (Is(h, "idx1")) {
            r.indexPresent = U32(h + 4) % 16 == 0;
            r.indexOffset = p;
        } else if (Is(h, "LIST")) {
            if (left >= 12) NoteInfoList(h, p, r);
        } else if (!Is(h, "JUNK")) {
            return p;
        }
        p = end;
    }
}

}  // namespace

size_t MemorySource::ReadAt(uint64_t offset, uint8_t *out, size_t bytes) {
    if (offset >= size_) return 0;
    const size_t n = bytes < size_ - offset ? bytes : static_cast<size_t>(size_ - offset);
    std::memcpy(out, data_ + offset, n);
    return n;
}

bool IsKeyFramePayload(const uint8_t *head, size_t bytes) {
    auto startCode = [&](size_t at) -> size_t {  // length of a start code at `at`, or 0
        if (at + 3 <= bytes && head[at] == 0 && head[at + 1] == 0 && head[at + 2] == 1) return 3;
        if (at + 4 <= bytes && head[at] == 0 && head[at + 1] == 0 && head[at + 2] == 0 &&
            head[at + 3] == 1) {
            return 4;
        }
        return 0;
    };
    size_t nal = startCode(0);
    if (nal == 0 || nal >= bytes) return false;
    if ((head[nal] & 0x1F) == 9) {  // access unit delimiter: the unit behind it decides
        // Looked for only in the bytes an encrypted recorder leaves plain.
        const size_t plain = bytes < kPlainKeyFrameHead ? bytes : kPlainKeyFrameHead;
        size_t next = 0;
        for (size_t i = nal + 1; i + 3 <= plain; ++i) {
            if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1) {
                next = i + 3;
                break;
            }
        }
        if (next == 0 || next >= plain) return false;
        nal = next;
    }
    const uint8_t type = head[nal] & 0x1F;
    return type == 7 || type == 5;
}

ScanResult Scan(ByteSource &source, ChunkSink *sink) {
    ScanResult r;
    uint8_t *buffer = new (std::nothrow) uint8_t[kWindowBytes];
    if (buffer == nullptr) {
        r.status = ScanStatus::OutOfMemory;
        return r;
    }
    Window w(source, buffer);
    const uint64_t size = w.size();
    r.totalBytes = size;

    const uint8_t *riff = w.Get(0, 12);
    if (riff != nullptr && Is(riff, "RIFF") && std::memcmp(riff + 8, "AVI", 3) == 0) {
        r.riffSignature = true;
        r.riffSizeField = U32(riff + 4);
        ReadHeaderList(w, r);
    }
    if (!FindMovieList(w, r)) {
        r.listEnd = w.failed() ? ListEnd::ReadFailed : ListEnd::NoMovieList;
        r.bytesAfterDamage = size;
        delete[] buffer;
        return r;
    }
    r.movieListFound = true;
    if (const uint8_t *list = w.Get(r.movieListOffset, 12)) r.movieListSizeField = U32(list + 4);

    // Each chunk is handed on once the one behind it has been judged: the
    // chunk in front of zero padding may turn out torn.
    MovieChunk held;
    bool holding = false;
    bool stopped = false;
    auto hand = [&](const MovieChunk &c) {
        ++r.chunks;
        if (c.kind == ChunkKind::Video) {
            ++r.videoFrames;
            if (c.key) ++r.keyFrames;
        } else if (c.kind == ChunkKind::Audio) {
            ++r.audioChunks;
        } else {
            ++r.textChunks;
        }
        if (sink != nullptr && !sink->OnChunk(c)) stopped = true;
    };

    uint64_t p = r.movieListOffset + 12;
    ListEnd end = ListEnd::EndOfData;
    for (;;) {
        const uint64_t left = size - p;
        if (left == 0) {
            end = ListEnd::EndOfData;
            break;
        }
        const size_t n = left < 8 ? static_cast<size_t>(left) : 8;
        const uint8_t *h = w.Get(p, n);
        if (h == nullptr) {
            end = ListEnd::ReadFailed;
            break;
        }
        if (AllZero(h, n)) {
            end = ListEnd::ZeroPadding;
            break;
        }
        if (n < 8) {
            end = ListEnd::TornChunk;
            break;
        }
        MovieChunk c;
        if (!RecorderChunkId(h, c.kind, c.stream)) {
            end = Is(h, "idx1") || Is(h, "LIST") || Is(h, "JUNK") ? ListEnd::Whole
                                                                  : ListEnd::UnknownChunk;
            break;
        }
        c.offset = p;
        c.length = U32(h + 4);
        std::memcpy(c.id, h, 4);
        const uint64_t chunkEnd = p + 8 + c.length;
        if (chunkEnd > size) {
            end = ListEnd::TornChunk;
            break;
        }
        if (c.kind == ChunkKind::Audio) c.channel = c.stream - 1;
        if (c.kind == ChunkKind::Video) {
            const size_t headBytes = c.length < kKeyHeadBytes ? c.length : kKeyHeadBytes;
            const uint8_t *head = w.Get(p + 8, headBytes);
            if (head == nullptr && headBytes > 0) {
                end = ListEnd::ReadFailed;
                break;
            }
            c.key = headBytes > 0 && IsKeyFramePayload(head, headBytes);
        }
        if (holding) {
            hand(held);
            if (stopped) {
                end = ListEnd::Stopped;
                holding = false;
                break;
            }
        }
        held = c;
        holding = true;
        p = chunkEnd;
        // The pad byte behind an odd-sized chunk.
        if ((c.length & 1) && p < size) {
            const uint8_t *pad = w.Get(p, 1);
            if (pad != nullptr && *pad == 0) ++p;
        }
    }
    uint64_t usable = p;
    if (end == ListEnd::TornChunk) r.tornChunkDropped = true;
    if (end == ListEnd::ZeroPadding && holding) {
        const uint8_t *last = held.length ? w.Get(held.offset + 8 + held.length - 1, 1) : nullptr;
        if (last == nullptr || *last == 0) {
            holding = false;
            r.tornChunkDropped = true;
            usable = held.offset;
        }
    }
    if (holding) {
        hand(held);
        if (stopped) end = ListEnd::Stopped;
    }
    r.listEnd = end;
    r.movieListSizeTrue = r.movieListOffset + 8 + uint64_t{r.movieListSizeField} == p;
    if (end == ListEnd::Whole) {
        bool trailer = false;
        const uint64_t chunksEnd = WalkBehindMovieList(w, p, r, trailer);
        // The RIFF size counts the chunks, not the trailer behind them.
        r.riffSizeTrue = r.riffSignature && uint64_t{r.riffSizeField} + 8 == chunksEnd;
        usable = trailer ? size : chunksEnd;
    }
    r.usableBytes = usable;
    r.bytesAfterDamage = size - usable;
    delete[] buffer;
    return r;
}

namespace {

// A record file read through the platform. The platform gives no file size
// of an open file, so it is found by single-byte reads: about two per bit of
// the size.
class FileSource final : public ByteSource {
public:
    explicit FileSource(plat::ReadFile *file) : file_(file) { size_ = FindSize(); }
    ~FileSource() override { plat::CloseRead(file_); }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, uint8_t *out, size_t bytes) override {
        if (!plat::Seek(file_, static_cast<int64_t>(offset))) return 0;
        return plat::Read(file_, out, bytes);
    }

private:
    bool Exists(uint64_t offset) {
        uint8_t byte = 0;
        return ReadAt(offset, &byte, 1) == 1;
    }
    uint64_t FindSize() {
        if (!Exists(0)) return 0;
        uint64_t present = 0, absent = 64 * 1024;
        while (Exists(absent)) {
            present = absent;
            if (absent >= (uint64_t{1} << 52)) return absent;
            absent *= 2;
        }
        while (absent - present > 1) {
            const uint64_t mid = present + (absent - present) / 2;
            (Exists(mid) ? present : absent) = mid;
        }
        return absent;
    }

    plat::ReadFile *file_;
    uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const char *path) {
    plat::ReadFile *file = plat::OpenRead(path);
    if (file == nullptr) return nullptr;
    std::unique_ptr<ByteSource> source(new (std::nothrow) FileSource(file));
    if (source == nullptr) plat::CloseRead(file);
    return source;
}

ScanResult ScanFile(const char *path, ChunkSink *sink) {
    std::unique_ptr<ByteSource> source = OpenFileSource(path);
    if (source == nullptr) {
        ScanResult r;
        r.status = ScanStatus::CannotOpen;
        return r;
    }
    return Scan(*source, sink);
}

}  // namespace salvage
