// Salvage scanning of a record file that a recorder left unfinished, most
// often because power failed while it was writing: no idx1, RIFF and
// movie-list sizes as they stood when recording began, a stop time never
// written, a torn last chunk, a pre-allocated tail of zeros.
//
// The scanner trusts neither the RIFF and list sizes nor idx1. It finds the
// movie list among the top-level chunks (or, when the header is damaged, by
// its list header in the first bytes of the file) and walks it chunk by
// chunk by the chunks' own headers, handing every complete chunk to a sink as
// it goes: memory stays bounded whatever the file's size (one read window,
// one chunk held back). A video chunk is typed as a key frame from its H.264
// payload; the bytes that decide it stand in front of the region an
// encrypted recorder enciphers, so no key is needed.
//
// The walk of the movie list stops at the first of:
//  - an identifier the recorder does not write ("00dc"/"00db" video,
//    "0Nwb" audio, "0Ntx" text, N a digit from 1): where it is idx1, a list
//    or JUNK, the movie list has ended and the top-level chunks behind it are
//    walked (idx1 found whole: the index is present);
//  - a chunk whose length runs past the end of the data: torn by the cut, it
//    is dropped;
//  - zero bytes where the next chunk header should stand (never-written,
//    pre-allocated space). Where the cut fell inside a chunk, the rest of that
//    chunk reads as zeros too and cannot be told from its data: the chunk in
//    front of zero padding is kept only when its last payload byte is not
//    zero, and is otherwise dropped as torn. A complete chunk whose payload
//    happens to end in a zero byte is lost with it (at most that one chunk; an
//    H.264 frame ends in its stop bit, a non-zero byte).
//
// A file without a movie list (zero bytes, random bytes, zeros only, a file
// cut inside its header list) gives ListEnd::NoMovieList, no chunks, 0
// usable bytes and every byte after the damage. A file whose header blocks
// are lost but whose movie-list header survives is walked all the same, with
// headerIntact false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace salvage {

// The bytes of a record file, read at absolute offsets.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to `bytes` bytes from `offset` into `out`; returns how many.
    // Fewer than asked only at the end of the data or when reading fails.
    virtual size_t ReadAt(uint64_t offset, uint8_t *out, size_t bytes) = 0;
};

// A block of memory (not copied; it must outlive the source).
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, uint8_t *out, size_t bytes) override;

private:
    const uint8_t *data_;
    size_t size_;
};

enum class ChunkKind : uint8_t { Video, Audio, Text };

// One complete chunk of the movie list.
struct MovieChunk {
    uint64_t offset = 0;   // absolute offset of the chunk's header
    uint32_t length = 0;   // payload bytes (a pad byte behind an odd one is not counted)
    char id[4] = {};       // identifier as stored
    ChunkKind kind = ChunkKind::Video;
    int stream = 0;        // the identifier's digit
    int channel = -1;      // audio: the 0-based audio channel (digit - 1); otherwise -1
    bool key = false;      // video: a key frame, from the payload
};

// Receives the chunks in file order.
class ChunkSink {
public:
    virtual ~ChunkSink() = default;
    // Returning false ends the scan (ListEnd::Stopped).
    virtual bool OnChunk(const MovieChunk &chunk) = 0;
};

// Where and why the walk of the movie list ended.
enum class ListEnd {
    Whole,         // at a top-level chunk behind the movie list: the list is whole
    EndOfData,     // the data ends directly behind a chunk
    TornChunk,     // a chunk (or its header) runs past the end of the data: dropped
    ZeroPadding,   // zeros where the next chunk header should stand
    UnknownChunk,  // an identifier the recorder does not write
    NoMovieList,   // no movie list was found
    ReadFailed,    // the file could not be read on
    Stopped,       // the sink ended the scan
};

enum class ScanStatus {
    Scanned,
    CannotOpen,
    OutOfMemory,
};

struct ScanResult {
    ScanStatus status = ScanStatus::Scanned;
    ListEnd listEnd = ListEnd::NoMovieList;

    uint64_t totalBytes = 0;
    // Bytes in front of the damage: behind the last chunk kept, or the whole
    // file when the movie list and what follows it are whole. 0 without a
    // movie list.
    uint64_t usableBytes = 0;
    uint64_t bytesAfterDamage = 0;  // totalBytes - usableBytes

    bool riffSignature = false;    // "RIFF" and "AVI" at the start
    bool headerIntact = false;     // header list at its place with the recorder's main header
    bool stopTimeWritten = false;  // intact header whose stop is after its start
    bool infoFound = false;        // the recording information list, whole
    bool movieListFound = false;
    bool indexPresent = false;     // idx1 whole behind the movie list
    bool riffSizeTrue = false;     // the RIFF size covers exactly the file's chunks
    bool movieListSizeTrue = false;  // the movie-list size covers exactly its chunks
    bool tornChunkDropped = false;   // a chunk torn by the cut was dropped

    uint32_t chunks = 0;  // complete chunks handed to the sink
    uint32_t videoFrames = 0;
    uint32_t keyFrames = 0;
    uint32_t audioChunks = 0;
    uint32_t textChunks = 0;

    uint64_t movieListOffset = 0;  // the movie list's "LIST" header, when found
    uint64_t indexOffset = 0;      // idx1, when present
    uint64_t infoListOffset = 0;   // the INFO list, when found
    uint32_t riffSizeField = 0;
    uint32_t movieListSizeField = 0;

    // From an intact header: the 16-byte recording header as stored, and
    // the fields the salvage needs of it and of the main AVI header.
    uint8_t recordingHeader[16] = {};
    int32_t startSeconds = 0;
    int32_t stopSeconds = 0;
    bool encrypted = false;         // upper four bits of the encryption byte
    uint32_t microsPerFrame = 0;    // main AVI header
    uint32_t frameCountField = 0;   // main AVI header's total frames

    // A file that needs no salvage: intact header with its stop time, the
    // movie list whole with its index, true sizes, nothing after damage.
    bool Sound() const {
        return status == ScanStatus::Scanned && headerIntact && stopTimeWritten &&
               listEnd == ListEnd::Whole && indexPresent && riffSizeTrue &&
               movieListSizeTrue && bytesAfterDamage == 0;
    }
};

// The cheap check of a file that looks finished, reading a few hundred
// bytes whatever its size: the RIFF header, the header list, the top-level
// chunk headers up to the movie list's, the chunk headers behind it up to
// idx1 and the end of the file, idx1's first and last entries and the movie
// chunks they name. True when these agree with a sound file: intact header
// with its stop time, the RIFF and movie-list sizes true, idx1 whole behind
// the movie list, its first entry naming the list's first chunk and its
// last entry the chunk that ends the list. Then `result` holds what Scan
// gives such a file but the chunk counts (not walked: 0), the movie list
// taken as whole. False (and `result` unspecified) says only that the file
// needs Scan to tell; a file whose damage lies inside its movie list may
// pass.
bool LooksSound(ByteSource &source, ScanResult &result);

// A record file read through the platform; null when it cannot be opened,
// its size cannot be had or memory is short. The file is closed with the
// source.
std::unique_ptr<ByteSource> OpenFileSource(const char *path);

// Scans the bytes of `source`; `sink` may be null (counts only).
ScanResult Scan(ByteSource &source, ChunkSink *sink);
// Scans the record file at `path` through the platform's file reading; a
// file whose size cannot be had gives ListEnd::ReadFailed.
ScanResult ScanFile(const char *path, ChunkSink *sink);
// The record file at `path` judged cheaply where it can be: LooksSound, and
// Scan (without a sink) only when that does not pass. `walked` tells which
// gave the result.
ScanResult ExamineFile(const char *path, bool *walked = nullptr);

// True when a video payload's first bytes show a key frame: a sequence
// parameter set or an IDR slice behind the first start code, after an
// access unit delimiter when there is one; the unit behind a delimiter must
// start within the first 24 bytes, which an encrypted recorder stores plain.
// `head` holds the payload's first `bytes` bytes.
bool IsKeyFramePayload(const uint8_t *head, size_t bytes);

}  // namespace salvage
