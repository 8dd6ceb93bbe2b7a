// Grouping the record files of one folder into recordings, checked on whole
// callback records. The opens are scripted so that the names alone decide.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "search_fixture.h"

namespace {

struct Member {
    const char *file;
    int32_t channel;
};

// One expected callback: its files, and the start and alarm flag the
// record must carry, written out as "2015-01-09 10:49:29".
struct Call {
    std::vector<Member> members;
    const char *start;
    int32_t alarm = 0;
};

struct GroupingCase {
    const char *title;
    std::vector<const char *> files;
    std::vector<Call> groups;  // expected callbacks in order
};

void PrintTo(const GroupingCase &c, std::ostream *os) { *os << c.title; }

class FolderGrouping : public ::testing::TestWithParam<GroupingCase> {};

// The record the search reports when every file opens with a length of one
// minute, no start of its own and the io mark 0x5a: the start and the alarm
// flag are those of the first file's name.
RecGroupInfo Expected(const std::string &folder, const Call &call) {
    std::vector<std::string> paths;
    std::vector<int32_t> channels;
    for (const Member &m : call.members) {
        paths.push_back(folder + m.file);
        channels.push_back(m.channel);
    }
    RecGroupInfo g = ExpectedGroup(paths, channels);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    EXPECT_EQ(std::sscanf(call.start, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec), 6);
    g.startTime = Time(y, mo, d, h, mi, sec);
    g.durationMs = 60000;
    g.alarm = call.alarm;
    std::memset(g.ioName, 0x5a, sizeof g.ioName);
    return g;
}

TEST_P(FolderGrouping, ReportsTheExpectedRecords) {
    const GroupingCase &c = GetParam();
    TempDir dir;
    for (const char *file : c.files) dir.WriteFile(file, "");
    CScriptedSearch search;
    search.fallback.ioMark = 0x5a;
    search.fallback.alarm = 1;  // the reported flag comes from the name all the same
    GroupLog::Reset();
    EXPECT_EQ(search.SearchFolderFiles(dir.path().c_str(), 41, &GroupLog::Callback), 0);
    ASSERT_EQ(GroupLog::groups.size(), c.groups.size());
    for (size_t k = 0; k < c.groups.size(); ++k) {
        EXPECT_TRUE(SameGroup(Expected(dir.path(), c.groups[k]), GroupLog::groups[k]))
            << "callback " << k;
        EXPECT_EQ(GroupLog::users[k], 41);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, FolderGrouping,
    ::testing::Values(
        GroupingCase{"three channels within 4 s",
                     {"1_20150109-104929_1030h.avi", "2_20150109-104931_1030h.avi",
                      "3_20150109-104933_1030h.avi"},
                     {{{{"1_20150109-104929_1030h.avi", 0}, {"2_20150109-104931_1030h.avi", 1},
                        {"3_20150109-104933_1030h.avi", 2}},
                       "2015-01-09 10:49:29"}}},
        GroupingCase{"three channels 5 s apart",
                     {"1_20150109-104929_1030h.avi", "2_20150109-104934_1030h.avi",
                      "3_20150109-104939_1030h.avi"},
                     {{{{"1_20150109-104929_1030h.avi", 0}}, "2015-01-09 10:49:29"},
                      {{{"2_20150109-104934_1030h.avi", 1}}, "2015-01-09 10:49:34"},
                      {{{"3_20150109-104939_1030h.avi", 2}}, "2015-01-09 10:49:39"}}},
        GroupingCase{"alarm and normal at the same second",
                     {"1_20150109-104929_1130h.avi", "2_20150109-104929_1030h.avi"},
                     {{{{"1_20150109-104929_1130h.avi", 0}}, "2015-01-09 10:49:29", 1},
                      {{{"2_20150109-104929_1030h.avi", 1}}, "2015-01-09 10:49:29"}}},
        GroupingCase{"one channel twice 2 s apart: the later file wins",
                     {"1_20150109-104929_1030h.avi", "1_20150109-104931_1030h.avi"},
                     {{{{"1_20150109-104931_1030h.avi", 0}}, "2015-01-09 10:49:31"}}},
        GroupingCase{"distances count from the first file, not along a chain",
                     {"1_20150109-104935_1030h.avi", "2_20150109-104931_1030h.avi",
                      "3_20150109-104927_1030h.avi"},
                     {{{{"1_20150109-104935_1030h.avi", 0}, {"2_20150109-104931_1030h.avi", 1}},
                       "2015-01-09 10:49:35"},
                      {{{"3_20150109-104927_1030h.avi", 2}}, "2015-01-09 10:49:27"}}},
        GroupingCase{"across midnight",
                     {"1_20150109-235958_1030h.avi", "2_20150110-000001_1030h.avi"},
                     {{{{"1_20150109-235958_1030h.avi", 0}, {"2_20150110-000001_1030h.avi", 1}},
                       "2015-01-09 23:59:58"}}},
        GroupingCase{"a lone file without a channel digit is channel 0",
                     {"ch3_20150109-104929_1030h.avi"},
                     {{{{"ch3_20150109-104929_1030h.avi", 0}}, "2015-01-09 10:49:29"}}},
        GroupingCase{"two files without a channel digit at one time: neither",
                     {"ch3_20150109-104929_1030h.avi", "ch4_20150109-104929_1030h.avi"},
                     {}},
        GroupingCase{"a file without a digit beside a numbered one is left out",
                     {"1_20150109-104929_1030h.avi", "ch3_20150109-104929_1030h.avi"},
                     {{{{"1_20150109-104929_1030h.avi", 0}}, "2015-01-09 10:49:29"}}},
        GroupingCase{"channel character 0 gives no channel at all",
                     {"0_20150109-104929_1030h.avi"},
                     {}},
        GroupingCase{"channels ordered by number, eight of them",
                     {"8_20150109-104929_1030h.avi", "3_20150109-104929_1030h.avi",
                      "5_20150109-104930_1030h.avi", "1_20150109-104931_1030h.avi",
                      "2_20150109-104929_1030h.avi", "4_20150109-104929_1030h.avi",
                      "7_20150109-104928_1030h.avi", "6_20150109-104929_1030h.avi"},
                     {{{{"1_20150109-104931_1030h.avi", 0}, {"2_20150109-104929_1030h.avi", 1},
                        {"3_20150109-104929_1030h.avi", 2}, {"4_20150109-104929_1030h.avi", 3},
                        {"5_20150109-104930_1030h.avi", 4}, {"6_20150109-104929_1030h.avi", 5},
                        {"7_20150109-104928_1030h.avi", 6}, {"8_20150109-104929_1030h.avi", 7}},
                       "2015-01-09 10:49:31"}}},
        GroupingCase{"a file of an impossible date stays alone, after its recording",
                     {"1_20150109-104929_1030h.avi", "2_20141309-104929_1030h.avi",
                      "2_20150109-104929_1030h.avi"},
                     {{{{"1_20150109-104929_1030h.avi", 0}, {"2_20150109-104929_1030h.avi", 1}},
                       "2015-01-09 10:49:29"},
                      {{{"2_20141309-104929_1030h.avi", 1}}, "2014-13-09 10:49:29"}}},
        GroupingCase{"a file of an impossible date stays alone, before a recording",
                     {"1_20141309-104929_1030h.avi", "1_20150109-104929_1030h.avi",
                      "2_20150109-104929_1030h.avi"},
                     {{{{"1_20141309-104929_1030h.avi", 0}}, "2014-13-09 10:49:29"},
                      {{{"1_20150109-104929_1030h.avi", 0}, {"2_20150109-104929_1030h.avi", 1}},
                       "2015-01-09 10:49:29"}}},
        GroupingCase{"names that are not record files",
                     {"1_2015.avi", "x_y-z.avi", "1_20150109-104929_1030h.txt"},
                     {}}));

TEST(FolderGrouping, GroupWithAnUnopenableFileIsLeftOutAndLaterGroupsStay) {
    TempDir dir;
    for (const char *file : {"1_20150109-104929_1030h.avi", "2_20150109-104929_1030h.avi",
                             "1_20150109-105029_1030h.avi"}) {
        dir.WriteFile(file, "");
    }
    CScriptedSearch search;
    search.files[dir.path() + "1_20150109-104929_1030h.avi"].result = 1;
    GroupLog::Reset();
    search.SearchFolderFiles(dir.path().c_str(), 0, &GroupLog::Callback);
    ASSERT_EQ(GroupLog::groups.size(), 1u);
    EXPECT_STREQ(GroupLog::groups[0].paths[0], (dir.path() + "1_20150109-105029_1030h.avi").c_str());
}

TEST(FolderGrouping, StopEndsTheFolder) {
    TempDir dir;
    dir.WriteFile("1_20150109-104929_1030h.avi", "");
    dir.WriteFile("1_20150109-105029_1030h.avi", "");
    CScriptedSearch search;
    GroupLog::Reset(1);
    search.SearchFolderFiles(dir.path().c_str(), 0, &GroupLog::Callback);
    EXPECT_EQ(GroupLog::groups.size(), 1u);
}

TEST(FolderGrouping, FileWhosePathWouldNotFitIsSkipped) {
    TempDir root;
    // The short name fills the path to its last byte; the longer one, which
    // would join it, does not fit and must not be opened cut short.
    const std::string folder = DeepFolder(root, AVFILE_MAX_PATH - 1 - 27);
    const std::string rel = folder.substr(root.path().size());
    root.WriteFile(rel + "1_20150109-104929_1030h.avi", "");
    root.WriteFile(rel + "2_20150109-104929_1030h_x.avi", "");
    CScriptedSearch search;
    GroupLog::Reset();
    search.SearchFolderFiles(folder.c_str(), 0, &GroupLog::Callback);
    ASSERT_EQ(GroupLog::groups.size(), 1u);
    EXPECT_EQ(GroupLog::groups[0].count, 1);
    EXPECT_STREQ(GroupLog::groups[0].paths[0], (folder + "1_20150109-104929_1030h.avi").c_str());
    EXPECT_EQ(search.opened, std::vector<std::string>{folder + "1_20150109-104929_1030h.avi"});
}

}  // namespace
