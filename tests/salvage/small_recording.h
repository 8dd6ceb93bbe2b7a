// The small recording the salvage tests cut: odd-sized frames (so pad bytes
// stand in the movie list), two audio channels and GPS text over two
// seconds; the encrypted one also has access unit delimiters, GPS samples
// and the INFO list behind the movie list.
#pragma once

#include <cstdint>
#include <vector>

#include "recsim/recsim.h"

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

inline uint32_t U32(const std::vector<uint8_t> &f, size_t at) {
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}
