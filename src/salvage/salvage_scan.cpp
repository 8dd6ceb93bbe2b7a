#include "salvage/salvage_scan.h"

#include <cstring>
#include <initializer_list>
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

// Bounded read-ahead over a source: one window of `capacity` bytes
// (kWindowBytes unless told), refilled from the requested offset on.
class Window {
public:
    Window(ByteSource &source, uint8_t *buffer, size_t capacity = kWindowBytes)
        : source_(source), buffer_(buffer), capacity_(capacity), size_(source.Size()) {}

    uint64_t size() const { return size_; }
    bool failed() const { return failed_; }

    // The `n` bytes at `offset` (n <= the capacity), or null when they are
    // not all in the data or cannot be read (then failed() is true).
    const uint8_t *Get(uint64_t offset, size_t n) {
        if (offset > size_ || n > size_ - offset || n > capacity_) return nullptr;
        if (offset >= start_ && offset - start_ + n <= length_) return buffer_ + (offset - start_);
        const uint64_t left = size_ - offset;
        const size_t want = left < capacity_ ? static_cast<size_t>(left) : capacity_;
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
    size_t capacity_;
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

// The movie chunk an idx1 entry names, its offset counted from the start of
// the file or from the movie list's identifier: the end of the chunk (its pad
// byte included) when one of them finds it whole inside the list's data
// with the entry's identifier and length, otherwise 0. `at` is its offset.
uint64_t NamedChunkEnd(Window &w, const uint8_t (&entry)[16], uint64_t listData, uint64_t listEnd,
                       uint64_t &at) {
    for (const uint64_t base : {uint64_t{0}, listData - 4}) {
        at = base + U32(entry + 8);
        if (at < listData || at + 8 > listEnd) continue;
        const uint8_t *h = w.Get(at, 8);
        if (h == nullptr || !Is(h, reinterpret_cast<const char *>(entry)) || U32(h + 4) != U32(entry + 12)) {
            continue;
        }
        uint64_t end = at + 8 + U32(entry + 12);
        if ((U32(entry + 12) & 1) && end < listEnd) ++end;
        if (end <= listEnd) return end;
    }
    return 0;
}

// The idx1 entry at `offset`, copied out of the window.
bool IndexEntryAt(Window &w, uint64_t offset, uint8_t (&entry)[16]) {
    const uint8_t *e = w.Get(offset, 16);
    if (e == nullptr) return false;
    std::memcpy(entry, e, 16);
    return true;
}

// The window of the cheap check: the few header bytes it looks at lie
// together, and no more than this is read at each place.
constexpr size_t kCheckWindowBytes = 256;

}  // namespace

bool LooksSound(ByteSource &source, ScanResult &r) {
    r = ScanResult{};
    uint8_t buffer[kCheckWindowBytes];
    Window w(source, buffer, sizeof buffer);
    const uint64_t size = w.size();
    r.totalBytes = size;
    const uint8_t *riff = w.Get(0, 12);
    if (riff == nullptr || !Is(riff, "RIFF") || std::memcmp(riff + 8, "AVI", 3) != 0) return false;
    r.riffSignature = true;
    r.riffSizeField = U32(riff + 4);
    ReadHeaderList(w, r);
    if (!r.headerIntact || !r.stopTimeWritten) return false;

    // The top-level chunks by their sizes, up to the movie list.
    uint64_t p = 12;
    for (int n = 0; n < kMaxLeadingChunks && r.movieListOffset == 0; ++n) {
        const uint8_t *h = w.Get(p, 12);
        if (h == nullptr) return false;
        const uint64_t end = p + 8 + U32(h + 4);
        if (end > size || !(Is(h, "LIST") || Is(h, "JUNK"))) return false;
        if (Is(h, "LIST") && Is(h + 8, "movi")) {
            r.movieListOffset = p;
            r.movieListSizeField = U32(h + 4);
        } else {
            NoteInfoList(h, p, r);
        }
        p = end;
    }
    if (r.movieListOffset == 0) return false;
    const uint64_t listData = r.movieListOffset + 12, listEnd = p;
    bool trailer = false;
    const uint64_t chunksEnd = WalkBehindMovieList(w, listEnd, r, trailer);
    if (!r.indexPresent || uint64_t{r.riffSizeField} + 8 != chunksEnd || (!trailer && chunksEnd != size)) {
        return false;
    }

    // idx1's first entry names the list's first chunk, its last entry the
    // chunk the list ends with.
    const uint8_t *index = w.Get(r.indexOffset, 8);
    if (index == nullptr) return false;
    const uint32_t entries = U32(index + 4) / 16;
    if (entries == 0) {
        if (listData != listEnd) return false;
    } else {
        uint8_t first[16], last[16];
        uint64_t at = 0;
        if (!IndexEntryAt(w, r.indexOffset + 8, first) ||
            !IndexEntryAt(w, r.indexOffset + 8 + 16 * uint64_t{entries - 1}, last) ||
            NamedChunkEnd(w, first, listData, listEnd, at) == 0 || at != listData ||
            NamedChunkEnd(w, last, listData, listEnd, at) != listEnd) {
            return false;
        }
    }
    r.movieListFound = true;
    r.movieListSizeTrue = true;
    r.riffSizeTrue = true;
    r.listEnd = ListEnd::Whole;
    r.usableBytes = size;
    r.bytesAfterDamage = 0;
    return true;
}

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

// A record file read through the platform; it closes the file.
class FileSource final : public ByteSource {
public:
    explicit FileSource(plat::ReadFile *file) : file_(file) { sized_ = plat::FileSize(file_, &size_); }
    ~FileSource() override { plat::CloseRead(file_); }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    // False when the file's size could not be had (then it reads as empty).
    bool sized() const { return sized_; }
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, uint8_t *out, size_t bytes) override {
        if (!plat::Seek(file_, static_cast<int64_t>(offset))) return 0;
        return plat::Read(file_, out, bytes);
    }

private:
    plat::ReadFile *file_;
    uint64_t size_ = 0;
    bool sized_ = false;
};

std::unique_ptr<FileSource> OpenSource(const char *path) {
    plat::ReadFile *file = plat::OpenRead(path);
    if (file == nullptr) return nullptr;
    std::unique_ptr<FileSource> source(new (std::nothrow) FileSource(file));
    if (source == nullptr) plat::CloseRead(file);
    return source;
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const char *path) {
    std::unique_ptr<FileSource> source = OpenSource(path);
    if (source == nullptr || !source->sized()) return nullptr;
    return source;
}

ScanResult ScanFile(const char *path, ChunkSink *sink) {
    std::unique_ptr<FileSource> source = OpenSource(path);
    ScanResult r;
    if (source == nullptr) {
        r.status = ScanStatus::CannotOpen;
    } else if (!source->sized()) {
        r.listEnd = ListEnd::ReadFailed;  // not taken for an empty file
    } else {
        r = Scan(*source, sink);
    }
    return r;
}

ScanResult ExamineFile(const char *path, bool *walked) {
    if (walked != nullptr) *walked = false;
    std::unique_ptr<FileSource> source = OpenSource(path);
    ScanResult r;
    if (source == nullptr) {
        r.status = ScanStatus::CannotOpen;
    } else if (!source->sized()) {
        r.listEnd = ListEnd::ReadFailed;
    } else if (!LooksSound(*source, r)) {
        if (walked != nullptr) *walked = true;
        r = Scan(*source, nullptr);
    }
    return r;
}

}  // namespace salvage
