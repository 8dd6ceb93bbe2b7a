// What a day's file search asks of the file system: the listing goes by the
// folder's own entries (no query per file), and each recording costs one
// open of its first file. A file system that cannot tell the kind of its
// entries is asked per entry, and the search reports the same records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/fault_injection.h"
#include "recsim/recsim.h"
#include "search/rec_search.h"
#include "search_fixture.h"

namespace {

namespace fault = plat::fault;

constexpr int32_t kStart = 1420800569;  // 2015-01-09 10:49:29
constexpr int kRecordings = 5;
constexpr int kChannels = 3;

struct Searched {
    std::vector<RecGroupInfo> groups;
    fault::SystemCalls calls;
};

struct CountingScope {
    ~CountingScope() {
        fault::StopCounting();
        fault::ForceUnknownEntryTypes(false);
    }
};

Searched SearchCounted(const std::string &day, bool unknownTypes) {
    CountingScope scope;
    fault::ForceUnknownEntryTypes(unknownTypes);
    GroupLog::Reset();
    fault::StartCounting();
    AVFILE_SearchFile(day.c_str(), 0, &GroupLog::Callback);
    fault::StopCounting();
    return {GroupLog::groups, fault::CountedCalls()};
}

class SearchCalls : public ::testing::Test {
protected:
    void SetUp() override {
        day_ = tree_.AddDay("2015-01-09");
        recsim::RecordingPlan plan;
        plan.seconds = 2;
        plan.keyFrameSize = 400;
        plan.frameSize = 40;
        plan.audioChannels = {};
        for (int minute = 0; minute < kRecordings; ++minute) {
            for (int channel = 0; channel < kChannels; ++channel) {
                const int32_t start = kStart + minute * 60 + channel;
                recsim::FileRecipe recording = recsim::PlannedFile(plan, start);
                recording.header.stopSeconds = start + 60;
                const std::string name =
                    recsim::RecordFileName(recsim::RecordNameAt(start, channel, false));
                ASSERT_FALSE(tree_.AddFile("2015-01-09", "video", name, recording).empty());
            }
        }
        // Entries the search lists and passes over.
        root_.WriteFile("2015-01-09/video/notes.txt", "x");
        root_.MakeDir("2015-01-09/video/1_20150109-000000_1025h.avi");
    }
    TempDir root_;
    recsim::TreeWriter tree_{root_.path()};
    std::string day_;
};

TEST_F(SearchCalls, ListingAsksNothingPerEntryAndEachRecordingOpensOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "the calls are counted by the POSIX platform layer";
#endif
    const Searched known = SearchCounted(day_, false);
    ASSERT_EQ(known.groups.size(), static_cast<size_t>(kRecordings));
    EXPECT_EQ(known.calls.entryStats, 0u);
    EXPECT_EQ(known.calls.opens, static_cast<uint64_t>(kRecordings));

    // Where the folder does not tell the kinds, every entry whose name
    // matches is asked about (the record files and the folder named like
    // one, which is still passed over), and the records come out byte for
    // byte the same.
    const Searched unknown = SearchCounted(day_, true);
    EXPECT_EQ(unknown.calls.entryStats, static_cast<uint64_t>(kRecordings * kChannels + 1));
    ASSERT_EQ(unknown.groups.size(), known.groups.size());
    for (size_t k = 0; k < known.groups.size(); ++k) {
        EXPECT_TRUE(SameGroup(known.groups[k], unknown.groups[k])) << "callback " << k;
    }
}

}  // namespace
