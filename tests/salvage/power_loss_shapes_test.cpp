// The recorder simulator's power-loss recordings: each shape leaves exactly
// the fields a recorder fixes at close as they stood when recording began,
// and nothing else differs from the finished file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recsim/recsim.h"
#include "salvage/small_recording.h"

namespace {

using recsim::OpeningSizes;
using recsim::OpeningStopTime;


struct ShapeCase {
    const char *name;
    void (*apply)(recsim::FileRecipe &);
    uint32_t riff, movie, frames;  // expected; ~0u: as in the finished file
    int stop;                      // 0: 0, 1: the start, 2: as in the finished file
};

constexpr uint32_t kFinal = ~0u;
constexpr uint32_t kLaidOutMovie = ~1u;  // the list reaching to the end of the laid-out file
constexpr size_t kLaidOut = 100000;

TEST(PowerLossShapes, EachShapeChangesOnlyItsFields) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile fw;
    const std::vector<uint8_t> finished = recsim::BuildFile(base, &fw);
    const ShapeCase cases[] = {
        {"finished file", [](recsim::FileRecipe &) {}, kFinal, kFinal, kFinal, 2},
        {"sizes zero", [](recsim::FileRecipe &r) { r.powerLoss.sizes = OpeningSizes::Zero; },
         0, 0, 0, 2},
        {"sizes pre-allocated",
         [](recsim::FileRecipe &r) {
             r.powerLoss.sizes = OpeningSizes::Preallocated;
             r.powerLoss.preallocatedSize = kLaidOut;
         },
         kLaidOut - 8, kLaidOutMovie, 0, 2},
        {"stop time zero",
         [](recsim::FileRecipe &r) { r.powerLoss.stopTime = OpeningStopTime::Zero; },
         kFinal, kFinal, kFinal, 0},
        {"stop time at start",
         [](recsim::FileRecipe &r) { r.powerLoss.stopTime = OpeningStopTime::Start; },
         kFinal, kFinal, kFinal, 1},
    };
    for (const ShapeCase &c : cases) {
        SCOPED_TRACE(c.name);
        recsim::FileRecipe recipe = base;
        c.apply(recipe);
        recsim::WrittenFile w;
        std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);
        const size_t written = finished.size();
        ASSERT_EQ(w.writtenSize, written);
        ASSERT_EQ(f.size(), recipe.powerLoss.preallocatedSize > written
                                ? recipe.powerLoss.preallocatedSize : written);
        for (size_t i = written; i < f.size(); ++i) ASSERT_EQ(f[i], 0) << "tail at " << i;

        const uint32_t movieSize = c.movie == kLaidOutMovie
                                       ? static_cast<uint32_t>(kLaidOut - fw.movieListOffset - 8)
                                       : c.movie;
        EXPECT_EQ(U32(f, kRiffSizeAt), c.riff == kFinal ? U32(finished, kRiffSizeAt) : c.riff);
        EXPECT_EQ(U32(f, fw.movieListOffset + 4), movieSize == kFinal ? fw.movieListSize : movieSize);
        EXPECT_EQ(w.movieListSize, U32(f, fw.movieListOffset + 4));
        EXPECT_EQ(U32(f, kMainFramesAt), c.frames == kFinal ? fw.VideoCount() : c.frames);
        EXPECT_EQ(U32(f, kStreamLengthAt), c.frames == kFinal ? fw.VideoCount() : c.frames);
        const uint32_t start = static_cast<uint32_t>(base.header.startSeconds);
        EXPECT_EQ(U32(f, kStopAt), c.stop == 0 ? 0 : c.stop == 1 ? start : U32(finished, kStopAt));
        EXPECT_EQ(f[kIncompleteAt], c.stop == 2 ? 0 : 1);

        // Every other byte is the finished file's.
        for (size_t at : {kRiffSizeAt, kMainFramesAt, kStreamLengthAt, kStopAt,
                          static_cast<size_t>(fw.movieListOffset + 4)}) {
            std::memcpy(&f[at], &finished[at], 4);
        }
        f[kIncompleteAt] = finished[kIncompleteAt];
        f.resize(written);
        EXPECT_TRUE(f == finished);
    }
}

TEST(PowerLossShapes, CutAndPreallocatedTail) {
    recsim::FileRecipe recipe = SmallRecording(false);
    recsim::WrittenFile fw;
    const std::vector<uint8_t> finished = recsim::BuildFile(recipe, &fw);
    const size_t cut = fw.chunks[3].offset + 20;  // inside the fourth chunk's payload
    recipe.truncateAt = cut;
    recipe.powerLoss.preallocatedSize = kLaidOut;
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);
    EXPECT_EQ(w.writtenSize, cut);
    ASSERT_EQ(f.size(), kLaidOut);
    EXPECT_TRUE(std::equal(f.begin(), f.begin() + cut, finished.begin()));
    for (size_t i = cut; i < f.size(); ++i) ASSERT_EQ(f[i], 0) << "tail at " << i;
}

TEST(PowerLossShapes, DefaultShapeIsARecorderThatFixesItsHeadersAtClose) {
    recsim::FileRecipe recipe = SmallRecording(false);
    recipe.watermark = true;
    recsim::WrittenFile fw;
    const std::vector<uint8_t> finished = recsim::BuildFile(recipe, &fw);
    const size_t cut = fw.indexOffset - 5;  // inside the last chunk
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recsim::PowerLossFile(recipe, cut), &w);
    ASSERT_EQ(f.size(), cut);
    EXPECT_EQ(U32(f, kRiffSizeAt), 0u);
    EXPECT_EQ(U32(f, fw.movieListOffset + 4), 0u);
    EXPECT_EQ(U32(f, kMainFramesAt), 0u);
    EXPECT_EQ(U32(f, kStopAt), 0u);
    EXPECT_EQ(f[kIncompleteAt], 1);
    EXPECT_EQ(w.indexOffset, 0u);  // no idx1 was written
    // The movie data is the finished file's up to the cut.
    EXPECT_TRUE(std::equal(f.begin() + fw.movieListOffset + 8, f.end(),
                           finished.begin() + fw.movieListOffset + 8));
}

}  // namespace
