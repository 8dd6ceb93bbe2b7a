// The power-loss shapes the salvage tests cut, and where they cut them.
#pragma once

#include <cstddef>
#include <random>
#include <set>
#include <vector>

#include "recsim/recsim.h"

inline constexpr size_t kLaidOut = 256 * 1024;

struct Shape {
    const char *name;
    void (*apply)(recsim::FileRecipe &, size_t cut);
    bool zeroTail;
    bool stopWritten;
};

inline const Shape kShapes[] = {
    {"cut", [](recsim::FileRecipe &r, size_t cut) { r.truncateAt = cut; }, false, true},
    {"cut, no idx1",
     [](recsim::FileRecipe &r, size_t cut) {
         r.truncateAt = cut;
         r.index.present = false;
     },
     false, true},
    {"sizes zero",
     [](recsim::FileRecipe &r, size_t cut) {
         r.truncateAt = cut;
         r.index.present = false;
         r.powerLoss.sizes = recsim::OpeningSizes::Zero;
     },
     false, true},
    {"sizes pre-allocated",
     [](recsim::FileRecipe &r, size_t cut) {
         r.truncateAt = cut;
         r.index.present = false;
         r.powerLoss.sizes = recsim::OpeningSizes::Preallocated;
     },
     false, true},
    {"stop time zero",
     [](recsim::FileRecipe &r, size_t cut) {
         r.truncateAt = cut;
         r.powerLoss.stopTime = recsim::OpeningStopTime::Zero;
     },
     false, false},
    {"stop time at start",
     [](recsim::FileRecipe &r, size_t cut) {
         r.truncateAt = cut;
         r.powerLoss.stopTime = recsim::OpeningStopTime::Start;
     },
     false, false},
    {"pre-allocated zero tail",
     [](recsim::FileRecipe &r, size_t cut) {
         r.truncateAt = cut;
         r.index.present = false;
         r.powerLoss.sizes = recsim::OpeningSizes::Preallocated;
         r.powerLoss.preallocatedSize = kLaidOut;
     },
     true, true},
    {"power loss", [](recsim::FileRecipe &r, size_t cut) { r = recsim::PowerLossFile(r, cut); },
     false, false},
    {"power loss, pre-allocated",
     [](recsim::FileRecipe &r, size_t cut) {
         r = recsim::PowerLossFile(r, cut);
         r.powerLoss.preallocatedSize = kLaidOut;
     },
     true, false},
};

// Every chunk boundary and a few bytes either side, the header's edges and
// seeded random points; the whole file last.
inline std::vector<size_t> CutPoints(const recsim::WrittenFile &w, uint32_t seed) {
    std::set<size_t> cuts = {0, 8, 11, 12, 100, w.movieListOffset, w.movieListOffset + 11u,
                             w.movieListOffset + 12u};
    for (const recsim::WrittenChunk &c : w.chunks) {
        const size_t end = c.offset + 8 + c.length;
        for (long d : {-1L, 0L, 1L, 4L, 5L, 8L, 9L}) cuts.insert(c.offset + d);
        for (long d : {-1L, 0L, 1L, 2L}) cuts.insert(end + d);
    }
    std::mt19937 random(seed);
    for (int i = 0; i < 16; ++i) cuts.insert(random() % w.fileSize);
    std::vector<size_t> out;
    for (size_t c : cuts) {
        if (c < w.fileSize) out.push_back(c);
    }
    out.push_back(w.fileSize);
    return out;
}

