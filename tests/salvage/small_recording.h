// The small recording the salvage tests cut: odd-sized frames (so pad bytes
// stand in the movie list), two audio channels and GPS text over two
// seconds; the encrypted one also has access unit delimiters, GPS samples
// and the INFO list behind the movie list.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recsim/recsim.h"
#include "salvage/salvage_scan.h"

inline recsim::FileRecipe SmallRecording(bool encrypted) {
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 5;
    plan.keyFrameInterval = 4;
    plan.keyFrameSize = 401;
    plan.frameSize = 101;
    plan.audioChannels = {0, 1};
    plan.audioChunkBytes = 3200;
    plan.delimiters = encrypted;
    plan.gpsSamples = encrypted;
    recsim::FileRecipe recipe = recsim::PlannedFile(plan);
    if (encrypted) {
        recipe.header.encryption = 0x10;
        recipe.infoPlacement = recsim::InfoPlacement::AfterMovie;
    }
    return recipe;
}

// File offsets, in the small recording, of the header fields a recorder
// fixes at close and a repair sets (the header list starts at 12).
constexpr size_t kRiffSizeAt = 4, kMainFramesAt = 48, kStreamLengthAt = 264, kIncompleteAt = 72,
                 kStartAt = 80, kStopAt = 84;

inline uint32_t U32(const std::vector<uint8_t> &f, size_t at) {
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}

// Bytes of no structure, the same for a seed.
inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> bytes(n);
    for (uint8_t &b : bytes) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    return bytes;
}

// A power-loss recording cut inside its last chunk, its header blocks in
// front of the movie list lost (zeros).
inline std::vector<uint8_t> HeaderlessPowerLoss(const recsim::FileRecipe &base, const recsim::WrittenFile &w) {
    const recsim::WrittenChunk &last = w.chunks.back();
    std::vector<uint8_t> f = recsim::BuildFile(recsim::PowerLossFile(base, last.offset + 8 + last.length - 5));
    std::fill(f.begin() + 12, f.begin() + w.movieListOffset, 0);
    return f;
}

// Keeps every chunk a scan hands on, or stops the scan at `limit` of them.
class Collect : public salvage::ChunkSink {
public:
    bool OnChunk(const salvage::MovieChunk &c) override {
        chunks.push_back(c);
        return limit == 0 || chunks.size() < limit;
    }
    std::vector<salvage::MovieChunk> chunks;
    size_t limit = 0;
};

// The scan of bytes in memory; `sink` may be null.
inline salvage::ScanResult ScanBytes(const std::vector<uint8_t> &bytes, salvage::ChunkSink *sink) {
    salvage::MemorySource source(bytes.data(), bytes.size());
    return salvage::Scan(source, sink);
}
