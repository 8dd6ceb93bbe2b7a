// Several host threads at once: each with its own handle on one file, all
// sharing one handle, and searches of one tree side by side. Run under
// ThreadSanitizer in the test command.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <memory>
#include <tuple>
#include <vector>

#include "common/temp_dir.h"
#include "hardening/exercise.h"
#include "hardening/sample_recordings.h"
#include "recsim/recsim.h"

namespace {

const char kName[] = "1_20150109-104929_1030h.avi";

// Runs body(t) for t = 0 .. n - 1 on n threads that start together. The
// threads are GoogleTest's own, as the Windows thread model of the runtime
// has no std::thread.
template <typename Body>
void OnThreads(int n, Body body) {
    struct Task {
        Body *body;
        int t;
    };
    using testing::internal::ThreadWithParam;
    std::vector<Task> tasks(static_cast<size_t>(n));
    std::vector<std::unique_ptr<ThreadWithParam<Task *>>> threads;
    testing::internal::Notification go;
    for (int t = 0; t < n; ++t) {
        tasks[static_cast<size_t>(t)] = Task{&body, t};
        threads.push_back(std::make_unique<ThreadWithParam<Task *>>(
            +[](Task *task) { (*task->body)(task->t); }, &tasks[static_cast<size_t>(t)], &go));
    }
    go.Notify();
    for (auto &thread : threads) thread->Join();
}

class Concurrency : public ::testing::Test {
protected:
    void SetUp() override {
        sample_ = &EveryChunkKindRecording();
        path_ = dir_ / kName;
        ASSERT_TRUE(WriteBytes(path_, sample_->bytes));
        AvFileHandle handle = nullptr;
        ASSERT_EQ(AVFILE_FEOpenFile(path_.c_str(), 0, nullptr, 0, 0, &handle), 0);
        reference_ = FrameSequence(handle, sample_->bytes.size());
        AVFILE_FECloseFile(handle);
        ASSERT_GT(reference_.size(), 50u);
    }
    TempDir dir_;
    const SampleRecording *sample_ = nullptr;
    std::string path_;
    std::vector<FrameRecord> reference_;
};

TEST_F(Concurrency, OwnHandlesReadTheSameFrames) {
    constexpr int kThreads = 8;
    std::vector<std::vector<FrameRecord>> got(kThreads);
    OnThreads(kThreads, [&](int t) {
        AvFileHandle handle = nullptr;
        if (AVFILE_FEOpenFile(path_.c_str(), 0, nullptr, 0, 0, &handle) != 0) return;
        for (int pass = 0; pass < 3; ++pass) got[t] = FrameSequence(handle, sample_->bytes.size());
        AVFILE_FECloseFile(handle);
    });
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(got[t], reference_) << "thread " << t;
}

// Threads take turns on one handle with every kind of call. Each frame
// record a thread gets back must be one the file holds, whole: its type,
// time and length as a single reader sees them. (The payload itself belongs
// to the handle and is only valid until the next call on it, so it is not
// looked at here.)
TEST_F(Concurrency, SharedHandleHandsOutWholeFrameRecords) {
    std::set<std::tuple<int32_t, int64_t, int32_t>> video;
    std::set<int32_t> audioLengths;
    for (const FrameRecord &f : reference_) {
        if (f.type == FRAME_TYPE_AUDIO) audioLengths.insert(f.length);
        else if (f.type != FRAME_TYPE_SIDEDATA) video.insert({f.type, f.timeUs, f.length});
    }
    RecFileInfo info{};
    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path_.c_str(), 0, nullptr, 0, 0, &handle), 0);
    ASSERT_EQ(AVFILE_FEGetFileInfo(handle, &info), 0);
    for (int threadCount : {2, 3, 4}) {
        std::atomic<int> torn{0}, delivered{0};
        OnThreads(threadCount, [&](int t) {
                const AvFrameInfo plain{}, sideData{0, nullptr, 0, 0, 0, FRAME_REQ_SIDEDATA};
                for (int i = 0; i < 400; ++i) {
                    AvFrameInfo frame{};
                    frame.timeUs = -7;
                    int32_t r = 1;
                    switch ((i + t) % 8) {
                    case 0: {
                        const int64_t at = info.startTimeUs + (info.stopTimeUs - info.startTimeUs) * (i % 5) / 5;
                        AVFILE_FESeekIFrame(handle, static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32));
                        continue;
                    }
                    case 1: r = AVFILE_FEBackwardIFrame(handle, &frame, &plain); break;
                    case 2: r = AVFILE_FEForwardIFrame(handle, &frame, &plain); break;
                    case 3: r = AVFILE_FEReadFrame(handle, &frame, &sideData); break;
                    case 4: AVFILE_FESeekBegin(handle); continue;
                    default: r = AVFILE_FEReadFrame(handle, &frame, &plain); break;
                    }
                    if (r != 0) continue;
                    ++delivered;
                    bool whole = CheckFrame(frame).empty();
                    if (frame.type == FRAME_TYPE_AUDIO) {
                        whole = whole && audioLengths.count(frame.length) && frame.timeUs == -7;
                    } else if (frame.type != FRAME_TYPE_SIDEDATA) {
                        whole = whole && video.count({frame.type, frame.timeUs, frame.length});
                    }
                    if (!whole) ++torn;
                }
        });
        EXPECT_EQ(torn.load(), 0) << threadCount << " threads";
        EXPECT_GT(delivered.load(), 100) << threadCount << " threads";
    }
    EXPECT_EQ(AVFILE_FECloseFile(handle), 0);
}

TEST(ConcurrentSearches, ReportTheSameGroupsAsOneThread) {
    TempDir dir;
    recsim::TreeWriter tree(dir.path());
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 5;
    plan.audioChannels = {};
    int32_t start = 1420800569;
    for (const char *day : {"2015-01-09", "2015-01-10", "20150111_01"}) {
        for (int c = 0; c < 3; ++c) {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan, start + c);
            recipe.header.composite = static_cast<int8_t>(c + 1);
            tree.AddFile(day, "video", recsim::RecordFileName(recsim::RecordNameAt(start + c, c)), recipe);
        }
        for (int c = 0; c < 2; ++c) {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan, start + 100 + 10 * c);
            recipe.header.composite = static_cast<int8_t>(5 + c);
            tree.AddFile(day, "alarm",
                         recsim::RecordFileName(recsim::RecordNameAt(start + 100 + 10 * c, c, true)), recipe);
        }
        start += 86400;
    }
    const TreeReport alone = ExerciseTree(dir.path());
    ASSERT_EQ(alone.fault, "");
    ASSERT_EQ(alone.groups.size(), 9u);
    constexpr int kThreads = 4;
    std::vector<TreeReport> got(kThreads);
    OnThreads(kThreads, [&](int t) {
        for (int pass = 0; pass < 3; ++pass) got[t] = ExerciseTree(dir.path());
    });
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(got[t].fault, "") << "thread " << t;
        EXPECT_EQ(got[t].days, alone.days) << "thread " << t;
        EXPECT_EQ(got[t].groups, alone.groups) << "thread " << t;
        EXPECT_EQ(got[t].checkResult, alone.checkResult) << "thread " << t;
    }
}

}  // namespace
