// A record file's bytes through the salvage scanner, twice: from memory, and
// through the platform layer's file reading with the bytes served from
// memory (nothing is written to disk). Both must give the same result and
// the same chunks, and what they give must be true of the bytes: every chunk
// is whole inside the data with the identifier and length stored at its
// offset, in file order without overlap, counted as handed on; the usable
// bytes are no more than the file's and cover every chunk handed on. A
// third scan, from memory, ends through its sink half-way.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/fault_injection.h"
#include "salvage/salvage_scan.h"
#include "salvage/small_recording.h"

namespace {

using salvage::ListEnd;
using salvage::MovieChunk;
using salvage::ScanResult;

// Where the platform layer finds the input; no such file exists on disk.
const char kPath[] = "1_20150109-104929_1030h.avi";

class Gather final : public salvage::ChunkSink {
public:
    explicit Gather(size_t limit = 0) : limit_(limit) {}
    bool OnChunk(const MovieChunk &chunk) override {
        chunks.push_back(chunk);
        return limit_ == 0 || chunks.size() < limit_;
    }
    std::vector<MovieChunk> chunks;

private:
    size_t limit_;
};

uint32_t U32(const uint8_t *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool SameChunk(const MovieChunk &a, const MovieChunk &b) {
    return a.offset == b.offset && a.length == b.length && std::memcmp(a.id, b.id, 4) == 0 &&
           a.kind == b.kind && a.stream == b.stream && a.channel == b.channel && a.key == b.key;
}

bool SameResult(const ScanResult &a, const ScanResult &b) {
    return a.status == b.status && a.listEnd == b.listEnd && a.totalBytes == b.totalBytes &&
           a.usableBytes == b.usableBytes && a.bytesAfterDamage == b.bytesAfterDamage &&
           a.riffSignature == b.riffSignature && a.headerIntact == b.headerIntact &&
           a.stopTimeWritten == b.stopTimeWritten && a.infoFound == b.infoFound &&
           a.movieListFound == b.movieListFound && a.indexPresent == b.indexPresent &&
           a.riffSizeTrue == b.riffSizeTrue && a.movieListSizeTrue == b.movieListSizeTrue &&
           a.tornChunkDropped == b.tornChunkDropped && a.chunks == b.chunks &&
           a.videoFrames == b.videoFrames && a.keyFrames == b.keyFrames &&
           a.audioChunks == b.audioChunks && a.textChunks == b.textChunks &&
           a.movieListOffset == b.movieListOffset && a.indexOffset == b.indexOffset &&
           a.infoListOffset == b.infoListOffset && a.riffSizeField == b.riffSizeField &&
           a.movieListSizeField == b.movieListSizeField &&
           std::memcmp(a.recordingHeader, b.recordingHeader, sizeof a.recordingHeader) == 0 &&
           a.startSeconds == b.startSeconds && a.stopSeconds == b.stopSeconds &&
           a.encrypted == b.encrypted && a.microsPerFrame == b.microsPerFrame &&
           a.frameCountField == b.frameCountField;
}

// What a scan of `size` bytes at `data` that ran to its end must give.
void Check(const uint8_t *data, size_t size, const ScanResult &r, const std::vector<MovieChunk> &chunks) {
    if (r.status != salvage::ScanStatus::Scanned) fuzz::Broken("a scan from memory did not scan");
    if (r.listEnd == ListEnd::ReadFailed || r.listEnd == ListEnd::Stopped) {
        fuzz::Broken("a scan from memory failed a read or stopped");
    }
    if (r.totalBytes != size) fuzz::Broken("total bytes are not the file's size");
    if (r.usableBytes > r.totalBytes) fuzz::Broken("more usable bytes than the file has");
    if (r.bytesAfterDamage != r.totalBytes - r.usableBytes) fuzz::Broken("bytes after the damage miscounted");
    if (r.chunks != chunks.size()) fuzz::Broken("the chunk count is not the chunks handed on");
    if (r.videoFrames + r.audioChunks + r.textChunks != r.chunks || r.keyFrames > r.videoFrames) {
        fuzz::Broken("the counts per kind do not add up");
    }
    if (!r.movieListFound) {
        if (r.chunks != 0 || r.usableBytes != 0) fuzz::Broken("chunks or usable bytes without a movie list");
        return;
    }
    if (r.movieListOffset + 12 > size) fuzz::Broken("the movie list's header is not in the data");
    if (r.indexPresent && r.indexOffset + 8 > size) fuzz::Broken("idx1 is not in the data");
    uint64_t end = r.movieListOffset + 12;
    uint32_t video = 0, keys = 0;
    for (const MovieChunk &c : chunks) {
        if (c.offset < end) fuzz::Broken("a chunk overlaps the one in front or is out of order");
        end = c.offset + 8 + uint64_t{c.length};
        if (end > size) fuzz::Broken("a chunk runs past the end of the data");
        if (std::memcmp(data + c.offset, c.id, 4) != 0 || U32(data + c.offset + 4) != c.length) {
            fuzz::Broken("a chunk's identifier or length is not the one stored at its offset");
        }
        if (c.stream != c.id[1] - '0') fuzz::Broken("a chunk's stream is not its identifier's digit");
        if (c.kind == salvage::ChunkKind::Video) {
            ++video;
            if (c.key) ++keys;
            const size_t head = c.length < 64 ? c.length : 64;
            if (c.key != (head > 0 && salvage::IsKeyFramePayload(data + c.offset + 8, head))) {
                fuzz::Broken("a video chunk's key flag is not its payload's");
            }
        } else if (c.key) {
            fuzz::Broken("a key flag on a chunk that is not video");
        }
        if (c.channel != (c.kind == salvage::ChunkKind::Audio ? c.stream - 1 : -1)) {
            fuzz::Broken("a chunk's audio channel is not its stream's");
        }
    }
    if (video != r.videoFrames || keys != r.keyFrames) fuzz::Broken("the frame counts are not the chunks'");
    if (!chunks.empty() && end > r.usableBytes) fuzz::Broken("a chunk handed on lies beyond the usable bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Gather fromMemory;
    salvage::MemorySource memory(data, size);
    const ScanResult r = salvage::Scan(memory, &fromMemory);
    Check(data, size, r, fromMemory.chunks);

    const plat::fault::ServedFile served{kPath, data, size};
    plat::fault::Serve(&served, 1);
    Gather fromFile;
    const ScanResult f = salvage::ScanFile(kPath, &fromFile);
    plat::fault::Serve(nullptr, 0);
    if (!SameResult(r, f)) fuzz::Broken("the file gives another result than its bytes in memory");
    if (fromFile.chunks.size() != fromMemory.chunks.size()) {
        fuzz::Broken("the file gives other chunks than its bytes in memory");
    }
    for (size_t i = 0; i < fromFile.chunks.size(); ++i) {
        if (!SameChunk(fromFile.chunks[i], fromMemory.chunks[i])) {
            fuzz::Broken("the file gives other chunks than its bytes in memory");
        }
    }

    if (!fromMemory.chunks.empty()) {
        const size_t limit = fromMemory.chunks.size() / 2 + 1;
        Gather part(limit);
        const ScanResult s = salvage::Scan(memory, &part);
        if (s.listEnd != ListEnd::Stopped || part.chunks.size() != limit || s.chunks != limit) {
            fuzz::Broken("a sink that ends the scan did not end it at its chunk");
        }
        for (size_t i = 0; i < limit; ++i) {
            if (!SameChunk(part.chunks[i], fromMemory.chunks[i])) {
                fuzz::Broken("a scan that was ended gives other chunks in front");
            }
        }
    }
    return 0;
}

// A finished recording must scan as sound through both paths, or every input
// would only meet a missing file or an empty scan.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const std::vector<uint8_t> bytes = recsim::BuildFile(SmallRecording(false));
    const plat::fault::ServedFile served{kPath, bytes.data(), bytes.size()};
    plat::fault::Serve(&served, 1);
    const ScanResult r = salvage::ScanFile(kPath, nullptr);
    plat::fault::Serve(nullptr, 0);
    if (!r.Sound() || r.chunks == 0) {
        fuzz::Broken("a finished recording served from memory does not scan as sound");
    }
    return 0;
}
