// What an open of a record file asks of the file system: one open, shared
// by the container walk and the chunk reader, and the header lists, the
// INFO list, the movie list's header and idx1 in a read or two. Playback
// after such an open reads on from the movie list as a reader of its own
// would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "recfile/sim_file.h"

namespace {

namespace fault = plat::fault;

struct CountingScope {
    ~CountingScope() { fault::StopCounting(); }
};

fault::SystemCalls OpenAndCloseCounted(const std::string &path) {
    CountingScope scope;
    fault::StartCounting();
    const Opened opened = OpenSim(path);
    fault::StopCounting();
    EXPECT_EQ(opened.result, 0) << path;
    if (opened.handle != nullptr) AVFILE_FECloseFile(opened.handle);
    return fault::CountedCalls();
}

recsim::FileRecipe Minutes(int seconds, size_t keyFrameSize, size_t frameSize,
                           std::vector<int> audio) {
    recsim::RecordingPlan plan;
    plan.seconds = seconds;
    plan.keyFrameSize = keyFrameSize;
    plan.frameSize = frameSize;
    plan.audioChannels = std::move(audio);
    return recsim::PlannedFile(plan);
}

TEST(OpenCalls, OneOpenAndOneReadPerPartOfTheFileTheOpenNeeds) {
#ifdef _WIN32
    GTEST_SKIP() << "the calls are counted by the POSIX platform layer";
#endif
    TempDir dir;
    const struct Case {
        const char *name;
        recsim::FileRecipe recipe;
        uint64_t reads;
    } cases[] = {
        // A minute of a day's small recordings: the header's read, whose
        // bytes also hold the first key frame the open looks at, and the
        // index's.
        {"1_20150109-104929_1030h.avi", Minutes(60, 400, 40, {}), 2},
        // A minute at about 2 Mbit/s with four audio channels: the rest of
        // its large first key frame as well.
        {"2_20150109-104929_1030h.avi", Minutes(60, 36000, 9000, {0, 1, 2, 3}), 3},
        // A file shorter than the header's read comes whole in one.
        {"3_20150109-104929_1030h.avi", Minutes(1, 600, 20, {}), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const SimFile file = WriteSim(dir, c.name, c.recipe);
        if (c.reads == 1) {
            ASSERT_GE(file.bytes.size(), 2048u);
            ASSERT_LT(file.bytes.size(), 4096u);
        }
        const fault::SystemCalls calls = OpenAndCloseCounted(file.path);
        EXPECT_EQ(calls.opens, 1u);
        EXPECT_EQ(calls.reads, c.reads);
    }
}

TEST(OpenCalls, PlaybackAfterTheSharedOpenDeliversEveryChunk) {
    TempDir dir;
    for (const recsim::FileRecipe &recipe :
         {Minutes(3, 36000, 9000, {0, 1}), Minutes(1, 600, 20, {})}) {
        const SimFile file = WriteSim(dir, "1_20150109-104929_1030h.avi", recipe);
        OpenHandle handle(file.path);
        ASSERT_EQ(handle.result(), 0);
        ExpectSame(ReadAll(handle.get()), ExpectedPlayback(file, recipe, 0));
    }
}

}  // namespace
