// The names and folders the simulator writes are the ones the library's
// naming rules read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "recsim/recsim.h"
#include "search/rec_search.h"

namespace {

TEST(RecordFileName, ReadBackByTheNamingRules) {
    struct Case {
        recsim::RecordName name;
        const char *expected;
        int frameRate;  // as the naming rules read it
        int alarm;
        int channel;    // -1: none from a digit
    };
    recsim::RecordName alarm = recsim::RecordNameAt(1420800569, 2, true, 25);
    recsim::RecordName separated = recsim::RecordNameAt(1420800569, 0);
    separated.layout = recsim::NameLayout::Separated;
    recsim::RecordName prefixed = recsim::RecordNameAt(1420800569, 2);
    prefixed.layout = recsim::NameLayout::Prefixed;
    recsim::RecordName fast = recsim::RecordNameAt(1420800569, 7, false, 100);
    const Case cases[] = {
        {recsim::RecordNameAt(1420800569, 2, false, 30), "3_20150109-104929_1030h.avi", 30, 0, 2},
        {alarm, "3_20150109-104929_1125h.avi", 25, 1, 2},
        {separated, "1_2015-01-09_10-49-29_x1.avi", 25, 0, 0},
        {prefixed, "ch3_20150109-104929_1025h.avi", 25, 0, -1},
        {fast, "8_20150109-104929_1000h.avi", 0, 0, 7},
    };
    CFileSearchJNQ *search = GetRecSearch();
    ASSERT_NE(search, nullptr);
    for (const Case &c : cases) {
        const std::string name = recsim::RecordFileName(c.name);
        EXPECT_EQ(name, c.expected);
        const std::string path = std::string("root/2015-01-09/video/") + name;
        ASSERT_NE(search->GetRecordName(path.c_str()), nullptr) << name;
        AvSystemTime t{};
        ASSERT_EQ(search->GetStartTime(path.c_str(), &t), 1) << name;
        EXPECT_EQ(t.wYear, 2015);
        EXPECT_EQ(t.wMonth, 1);
        EXPECT_EQ(t.wDay, 9);
        EXPECT_EQ(t.wHour, 10);
        EXPECT_EQ(t.wMinute, 49);
        EXPECT_EQ(t.wSecond, 29);
        int32_t rate = -1;
        search->GetFrameRate(path.c_str(), &rate);
        EXPECT_EQ(rate, c.frameRate) << name;
        EXPECT_EQ(search->IsAlarmRecord(path.c_str()), c.alarm) << name;
        ChannelList channels;
        EXPECT_EQ(search->GetChannels(path.c_str(), channels), c.channel >= 0 ? 1 : 0) << name;
        if (c.channel >= 0) {
            EXPECT_EQ(channels, ChannelList{c.channel}) << name;
        }
    }
}

TEST(DayFolderName, ReadBackByTheDayRules) {
    const struct {
        recsim::DayLayout layout;
        const char *expected;
        bool dashed;
    } cases[] = {{recsim::DayLayout::Dashed, "2015-01-09", true},
                 {recsim::DayLayout::Underscored, "2015_01_09", false},
                 {recsim::DayLayout::Suffixed, "20150109_01", false},
                 {recsim::DayLayout::Digits, "2015010900", false}};
    for (const auto &c : cases) {
        const std::string name = recsim::DayFolderName(2015, 1, 9, c.layout);
        EXPECT_EQ(name, c.expected);
        int32_t day[3] = {};
        EXPECT_EQ(ParseDayName(name.c_str(), day), 1) << name;
        EXPECT_EQ(day[0], 2015);
        EXPECT_EQ(day[1], 1);
        EXPECT_EQ(day[2], 9);
        EXPECT_EQ(ParseDashedDayName(name.c_str(), day), c.dashed ? 1 : 0) << name;
    }
}

TEST(CivilFromSeconds, CalendarDates) {
    const struct {
        int64_t seconds;
        recsim::CivilTime t;
    } cases[] = {{0, {1970, 1, 1, 0, 0, 0}},
                 {1420800569, {2015, 1, 9, 10, 49, 29}},
                 {951782400, {2000, 2, 29, 0, 0, 0}},
                 {-1, {1969, 12, 31, 23, 59, 59}}};
    for (const auto &c : cases) {
        const recsim::CivilTime t = recsim::CivilFromSeconds(c.seconds);
        EXPECT_EQ(t.year, c.t.year) << c.seconds;
        EXPECT_EQ(t.month, c.t.month) << c.seconds;
        EXPECT_EQ(t.day, c.t.day) << c.seconds;
        EXPECT_EQ(t.hour, c.t.hour) << c.seconds;
        EXPECT_EQ(t.minute, c.t.minute) << c.seconds;
        EXPECT_EQ(t.second, c.t.second) << c.seconds;
    }
}

TEST(TreeWriter, DayFoldersWithVideoAndAlarmSubFolders) {
    TempDir dir;
    recsim::TreeWriter tree(dir / "card");
    const recsim::FileRecipe recipe = recsim::PlannedFile(recsim::RecordingPlan{});
    recsim::WrittenFile written;
    const std::string video = tree.AddFile("2015-01-09", "video", "1_20150109-104929_1025h.avi",
                                           recipe, &written);
    const std::string alarm =
        tree.AddFile("2015-01-09", "alarm", "1_20150109-110000_1125h.avi", recipe);
    const std::string emptyDay = tree.AddDay("2015-01-10");

    EXPECT_EQ(video, dir / "card/2015-01-09/video/1_20150109-104929_1025h.avi");
    EXPECT_EQ(alarm, dir / "card/2015-01-09/alarm/1_20150109-110000_1125h.avi");
    EXPECT_EQ(emptyDay, dir / "card/2015-01-10/");
    EXPECT_EQ(std::filesystem::file_size(video), written.fileSize);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "card/2015-01-10/video"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "card/2015-01-10/alarm"));
    EXPECT_TRUE(tree.AddFile("2015-01-09", "video", "", recipe).empty());
}

}  // namespace
