// Key-frame seeking by time and the steps between key frames, on the
// recorder's list order and with the movie list right behind the header list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "recfile/sim_file.h"

namespace {

using recsim::FileRecipe;
using recsim::InfoPlacement;

int32_t Seek(AvFileHandle h, int64_t timeUs) {
    return AVFILE_FESeekIFrame(h, static_cast<uint32_t>(timeUs & 0xffffffff),
                               static_cast<uint32_t>(static_cast<uint64_t>(timeUs) >> 32));
}

// 2500 video frames from second 1000 to second 1100, a key frame every 7th.
FileRecipe LongRecording(InfoPlacement order) {
    recsim::RecordingPlan plan;
    plan.seconds = 100;
    plan.framesPerSecond = 25;
    plan.keyFrameInterval = 7;
    plan.keyFrameSize = 300;
    plan.frameSize = 40;
    plan.audioChannels = {0};
    plan.audioChunkBytes = 6400;
    FileRecipe recipe = recsim::PlannedFile(plan, 1000);
    recipe.infoPlacement = order;
    return recipe;
}

class KeyFrameSeek : public testing::TestWithParam<InfoPlacement> {
protected:
    void SetUp() override {
        recipe_ = LongRecording(GetParam());
        file_ = WriteSim(dir_, "seek.avi", recipe_);
        handle_ = OpenSim(file_.path).handle;
        ASSERT_NE(handle_, nullptr);
    }
    void TearDown() override { AVFILE_FECloseFile(handle_); }

    int64_t TimeOf(uint64_t v) const { return FrameTime(recipe_, v, 2500); }
    int32_t Cursor() const { return FileObject(handle_)->Index()->cursor; }

    TempDir dir_;
    FileRecipe recipe_;
    SimFile file_;
    AvFileHandle handle_ = nullptr;
};

TEST_P(KeyFrameSeek, TimeMapsToIndexPositionByProportion) {
    struct Case {
        int64_t timeUs;
        int32_t result;
        int32_t keyEntry;  // entry of the next frame read; -1: the read returns 1
    } cases[] = {
        {999999999, 1, -1},
        {1101000000, 1, -1},
        {1000000000, 0, 0},
        {1040000000, 0, 1001},  // position 1000, the next key frame 1001
        {1040999999, 0, 1001},
        {1099999999, 0, 2478},  // position 2475, key frame 2478
        {1100000000, 0, -1},    // position 2500: no key frame, reading ends
        {1100999999, 0, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.timeUs);
        ASSERT_EQ(AVFILE_FESeekBegin(handle_), 0);
        AvFrameInfo frame{};
        ASSERT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 0);  // cursor 1
        ASSERT_EQ(Seek(handle_, c.timeUs), c.result);
        if (c.result != 0) {
            // A refused seek changes nothing: reading goes on after frame 0.
            EXPECT_EQ(Cursor(), 1);
            ASSERT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 0);
            continue;
        }
        EXPECT_EQ(FileObject(handle_)->CurrentTimeUs(), c.timeUs);  // the requested time
        if (c.keyEntry < 0) {
            EXPECT_EQ(Cursor(), 1);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 1);
            continue;
        }
        EXPECT_EQ(Cursor(), c.keyEntry);
        const std::vector<Delivered> got = ReadAll(handle_);
        const std::vector<Delivered> want = ExpectedPlayback(file_, recipe_, 0, c.keyEntry, c.timeUs);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_EQ(got[0].type, FRAME_TYPE_I);
        EXPECT_EQ(got[0].timeUs, TimeOf(static_cast<uint64_t>(c.keyEntry)));
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].type, want[i].type) << i;
            ASSERT_EQ(got[i].timeUs, want[i].timeUs) << i;
            ASSERT_TRUE(got[i].payload == want[i].payload) << i;
        }
    }
}

TEST_P(KeyFrameSeek, StepsBetweenKeyFrames) {
    AvFrameInfo frame{};
    // Later in the file: the key frame the seek found, then the next one.
    ASSERT_EQ(Seek(handle_, 1040500000), 0);
    ASSERT_EQ(AVFILE_FEBackwardIFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(frame.type, FRAME_TYPE_I);
    EXPECT_EQ(frame.timeUs, TimeOf(1001));
    EXPECT_EQ(FileObject(handle_)->CurrentTimeUs(), TimeOf(1001));
    ASSERT_EQ(AVFILE_FEBackwardIFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(frame.timeUs, TimeOf(1008));
    EXPECT_EQ(Cursor(), 1009);
    // Earlier: from key frame 1008 just delivered to 1001; after two more
    // frames of 1001's group, back to 1001 itself.
    ASSERT_EQ(AVFILE_FEForwardIFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(frame.type, FRAME_TYPE_I);
    EXPECT_EQ(frame.timeUs, TimeOf(1001));
    ASSERT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 0);
    ASSERT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 0);
    ASSERT_EQ(AVFILE_FEForwardIFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(frame.timeUs, TimeOf(1001));
    // Sequential reading goes on behind the stepped-to key frame.
    const std::vector<Delivered> rest = ReadAll(handle_);
    const std::vector<Delivered> want = ExpectedPlayback(file_, recipe_, 0, 1002, TimeOf(1001));
    ASSERT_EQ(rest.size(), want.size());
    EXPECT_EQ(rest.back().timeUs, want.back().timeUs);

    // At the first key frame there is nothing earlier.
    ASSERT_EQ(AVFILE_FESeekBegin(handle_), 0);
    EXPECT_EQ(Cursor(), 0);
    EXPECT_EQ(AVFILE_FEForwardIFrame(handle_, &frame, nullptr), 1);  // cursor 0
    ASSERT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(AVFILE_FEForwardIFrame(handle_, &frame, nullptr), 1);  // cursor 1
    EXPECT_EQ(Cursor(), 1);

    // After the last key frame there is nothing later, and the cursor stays.
    ASSERT_EQ(Seek(handle_, 1099999999), 0);
    ASSERT_EQ(AVFILE_FEBackwardIFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(frame.timeUs, TimeOf(2478));
    for (uint64_t key : {2485u, 2492u, 2499u}) {
        ASSERT_EQ(AVFILE_FEBackwardIFrame(handle_, &frame, nullptr), 0);
        EXPECT_EQ(frame.timeUs, TimeOf(key));
    }
    EXPECT_EQ(AVFILE_FEBackwardIFrame(handle_, &frame, nullptr), 1);
    EXPECT_EQ(Cursor(), 2500);

    // A seek past the last key frame parks the reader; a step places it.
    ASSERT_EQ(Seek(handle_, 1100000000), 0);
    EXPECT_EQ(AVFILE_FEReadFrame(handle_, &frame, nullptr), 1);
    ASSERT_EQ(AVFILE_FEForwardIFrame(handle_, &frame, nullptr), 0);
    EXPECT_EQ(frame.timeUs, TimeOf(2492));

    EXPECT_EQ(AVFILE_FEBackwardIFrame(nullptr, &frame, nullptr), 1);
    EXPECT_EQ(AVFILE_FEForwardIFrame(nullptr, &frame, nullptr), 1);
    EXPECT_EQ(Seek(nullptr, 1040000000), 1);
}

INSTANTIATE_TEST_SUITE_P(ListOrders, KeyFrameSeek,
                         testing::Values(InfoPlacement::BeforeMovie, InfoPlacement::AfterMovie));

// Index entries marked as key frames but with offset 0 are passed over by a
// seek and taken by the steps.
TEST(KeyFrameSteps, EntriesAtOffsetZero) {
    TempDir dir;
    recsim::RecordingPlan plan;
    plan.seconds = 4;
    plan.keyFrameInterval = 10;
    plan.gps = false;
    const FileRecipe recipe = recsim::PlannedFile(plan);
    SimFile f = WriteSim(dir, "zero.avi", recipe);
    // Entry 0 (a key frame) loses its offset.
    const size_t entry0 = f.written.indexOffset + 8;
    ASSERT_EQ(std::memcmp(&f.bytes[entry0], "00dc", 4), 0);
    std::memset(&f.bytes[entry0 + 8], 0, 4);
    Rewrite(f);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    EXPECT_EQ(FileObject(h.get())->Index()->cursor, 10);  // SeekBegin passed entry 0 over
    AvFrameInfo frame{};
    ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
    EXPECT_EQ(frame.type, FRAME_TYPE_I);
    EXPECT_EQ(frame.timeUs, FrameTime(recipe, 10, 100));
    // The step back goes to entry 0 and reads from the start of the file.
    AVFILE_FEForwardIFrame(h.get(), &frame, nullptr);
    EXPECT_EQ(FileObject(h.get())->Index()->cursor, 1);
}

// A step whose seek fails delivers nothing: the reader is parked as by a
// seek that finds no key frame, and the next step that can seek goes on.
TEST(KeyFrameSteps, FailedSeekIsNoKeyFrame) {
    TempDir dir;
    recsim::RecordingPlan plan;
    plan.seconds = 4;
    plan.keyFrameInterval = 10;
    const FileRecipe recipe = recsim::PlannedFile(plan);
    const SimFile f = WriteSim(dir, "steps.avi", recipe);
    const struct {
        const char *name;
        int32_t(AVFILE_CALL *step)(AvFileHandle, AvFrameInfo *, const AvFrameInfo *);
        uint64_t keyEntry;  // what the step delivers once it can seek
    } steps[] = {
        {"to a later key frame", AVFILE_FEBackwardIFrame, 40},
        {"to an earlier key frame", AVFILE_FEForwardIFrame, 20},
    };
    namespace fault = plat::fault;
    for (const auto &s : steps) {
        SCOPED_TRACE(s.name);
        OpenHandle h(f.path);
        ASSERT_EQ(h.result(), 0);
        // Key frame 30 and two frames of its group: the cursor is on 33.
        ASSERT_EQ(Seek(h.get(), int64_t{recipe.header.startSeconds + 1} * 1000000), 0);
        AvFrameInfo frame{};
        for (int i = 0; i < 3; ++i) {
            do {
                ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
            } while (frame.type != FRAME_TYPE_I && frame.type != FRAME_TYPE_P);
        }
        ASSERT_EQ(FileObject(h.get())->Index()->cursor, 33);
        fault::Arm(fault::kSeek, 1, false);
        const int32_t failed = s.step(h.get(), &frame, nullptr);
        fault::Disarm();
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 1);
        ASSERT_EQ(s.step(h.get(), &frame, nullptr), 0);
        EXPECT_EQ(frame.type, FRAME_TYPE_I);
        EXPECT_EQ(frame.timeUs, FrameTime(recipe, s.keyEntry, 100));
    }
}

}  // namespace
