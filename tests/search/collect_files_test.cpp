#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/platform.h"
#include "search_fixture.h"

namespace {

std::vector<std::string> g_debugLines;
void KeepDebugLine(const char *text) { g_debugLines.emplace_back(text); }

class CFoundLog : public CScriptedSearch {
public:
    void OnRecordFound(const RecFileEntry &entry) override { found.emplace_back(entry.path); }
    std::vector<std::string> found;
};

TEST(CollectFiles, OneEntryPerChannelAndACountLinePerRecordFile) {
    TempDir dir;
    dir.WriteFile("1_20150109-104929_1030h.avi", "");
    dir.WriteFile("ch3_20150109-104931_1130h.avi", "");  // channel 0 without a digit
    dir.WriteFile("0_20150109-104933_1030h.avi", "");    // a record file without a channel
    dir.WriteFile("1_2015-01-09.avi", "");               // too short a name
    dir.MakeDir("2_20150109-104929_1030h.avi");          // a folder
    const std::string pattern = dir.path() + "*_*-*.avi";

    CFoundLog search;
    RecFileList entries;
    g_debugLines.clear();
    plat::SetDebugSink(&KeepDebugLine);
    search.CollectFiles(dir.path().c_str(), pattern.c_str(), entries);
    plat::SetDebugSink(nullptr);

    EXPECT_EQ(g_debugLines, (std::vector<std::string>{"1\n", "2\n", "3\n"}));
    EXPECT_EQ(search.found, (std::vector<std::string>{dir.path() + "0_20150109-104933_1030h.avi",
                                                      dir.path() + "1_20150109-104929_1030h.avi",
                                                      dir.path() + "ch3_20150109-104931_1130h.avi"}));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_STREQ(entries[0].path, (dir.path() + "1_20150109-104929_1030h.avi").c_str());
    EXPECT_EQ(entries[0].channel, 0);
    EXPECT_EQ(entries[1].channel, 0);
    const AvSystemTime start = Time(2015, 1, 9, 10, 49, 31);
    EXPECT_EQ(std::memcmp(&entries[1].startTime, &start, sizeof start), 0);
}

// An entry holds its own name and nothing of the one listed before it:
// a shorter name after a longer one, a name without a readable time after
// one with.
TEST(CollectFiles, EachEntryAsIfMadeAfresh) {
    TempDir dir;
    dir.WriteFile("1_20150109-104929_1130h.avi", "");  // an alarm recording
    dir.WriteFile("2_abc-defghijklmno0.avi", "");
    CScriptedSearch search;
    RecFileList entries;
    search.CollectFiles(dir.path().c_str(), (dir.path() + "*_*-*.avi").c_str(), entries);
    ASSERT_EQ(entries.size(), 2u);
    RecFileEntry fresh{};
    const std::string path = dir.path() + "2_abc-defghijklmno0.avi";
    ASSERT_LT(path.size(), sizeof fresh.path);
    std::memcpy(fresh.path, path.c_str(), path.size() + 1);
    fresh.channel = 1;
    // What the naming rules read from it: no time, no alarm (the one before
    // has both), channel digit 2.
    fresh.named = 1;
    fresh.channelDigit = 1;
    EXPECT_EQ(entries[0].timeRead, 1);
    EXPECT_EQ(entries[0].alarm, 1);
    EXPECT_EQ(std::memcmp(&entries[1], &fresh, sizeof fresh), 0);
}

TEST(GatherByTime, MovesFilesOfTheSameMomentWithNewChannels) {
    const auto entry = [](int32_t channel, AvSystemTime start) {
        RecFileEntry e{};
        e.channel = channel;
        e.startTime = start;
        return e;
    };
    const RecFileEntry reference = entry(0, Time(2015, 1, 9, 10, 49, 29));
    struct Case {
        int32_t exactTime;
        AvSystemTime start;
        bool moved;
    } cases[] = {
        {0, Time(2015, 1, 9, 10, 49, 35), true},   // 6 s later, same day
        {0, Time(2015, 1, 9, 10, 49, 23), true},   // 6 s earlier
        {0, Time(2015, 1, 9, 10, 49, 36), false},  // 7 s
        {0, Time(2015, 1, 10, 10, 49, 29), false}, // another day
        {1, Time(2014, 3, 2, 10, 49, 29), true},   // same time of day, any day
        {1, Time(2015, 1, 9, 10, 49, 30), false},
    };
    for (const Case &c : cases) {
        CFileSearchJNQ search;
        RecFileList source{entry(1, c.start), entry(2, c.start)};
        RecFileList target{entry(2, reference.startTime)};  // channel 2 is taken
        const int32_t left = search.GatherByTime(reference, c.exactTime, source, target);
        EXPECT_EQ(left, c.moved ? 1 : 2) << c.start.wDay << ' ' << c.start.wSecond;
        EXPECT_EQ(target.size(), c.moved ? 2u : 1u);
        ASSERT_EQ(source.size(), static_cast<size_t>(left));
        EXPECT_EQ(source.back().channel, 2);
    }
}

}  // namespace
