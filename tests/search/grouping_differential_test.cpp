// The grouping checked against a plain transcription of its rules
// (common/literal_grouping.h) on random and chosen folders, and timed on a
// full day of eight channels.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/literal_grouping.h"
#include "common/temp_dir.h"
#include "search_fixture.h"
#include "support/routines.h"

namespace {

// Random record file names of one folder: several channels, both alarm
// flags, times a few seconds apart, names without a channel digit, and now
// and then a time that is no calendar time, none at all, or one 2^32 s or
// 2^31 s away from another.
std::string RandomName(std::mt19937 &random) {
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    static const char *const kOddTimes[] = {
        "20151309-104930", "20150230-104930", "20150109-244930", "00000000-000000",
        "19000101-000000", "20360207-062816", "20360207-062819", "19700101-000000",
        "20380119-031408", "20090422-192446", "20090422-192449",
    };
    char time[32];
    const int second = 10 * 60 + pick(40);
    std::snprintf(time, sizeof time, "20150109-10%02d%02d", second / 60, second % 60);
    const char *stamp = pick(12) == 0 ? kOddTimes[pick(11)] : time;
    const char alarm = pick(4) == 0 ? '1' : '0';
    char name[64];
    switch (pick(16)) {
    case 0:
        std::snprintf(name, sizeof name, "ch%d_%s_1%c30h.avi", pick(9), stamp, alarm);
        break;
    case 1:
        std::snprintf(name, sizeof name, "0_%s_1%c30h.avi", stamp, alarm);
        break;
    case 2:
        std::snprintf(name, sizeof name, "%d_abc-defghijklmno%c.avi", 1 + pick(8), alarm);
        break;
    case 3:
        std::snprintf(name, sizeof name, "%d_2015-01-09_10-%02d-%02d_x%c.avi", 1 + pick(8),
                      second / 60, second % 60, alarm);
        break;
    default:
        std::snprintf(name, sizeof name, "%d_%s_1%c30h.avi", 1 + pick(4), stamp, alarm);
        break;
    }
    return name;
}

struct Reported {
    std::vector<RecGroupInfo> groups;
    std::vector<std::string> left;
};

Reported Group(CScriptedSearch &search, RecFileList list, bool literal, int stopAt) {
    GroupLog::Reset(stopAt);
    if (literal) {
        CLiteralGrouping(search).ReportGroups(list, 3, &GroupLog::Callback);
    } else {
        search.ReportGroups(list, 3, &GroupLog::Callback);
    }
    Reported r{GroupLog::groups, {}};
    for (const RecFileEntry &e : list) r.left.emplace_back(e.path);
    return r;
}

::testing::AssertionResult SameAsTheRules(CScriptedSearch &search, const RecFileList &list,
                                          int stopAt) {
    const Reported expected = Group(search, list, true, stopAt);
    const Reported actual = Group(search, list, false, stopAt);
    if (actual.groups.size() != expected.groups.size()) {
        return ::testing::AssertionFailure() << actual.groups.size() << " callbacks instead of "
                                             << expected.groups.size();
    }
    for (size_t k = 0; k < expected.groups.size(); ++k) {
        const auto same = SameGroup(expected.groups[k], actual.groups[k]);
        if (!same) return ::testing::AssertionFailure() << "callback " << k << ": " << same.message();
    }
    if (actual.left != expected.left) return ::testing::AssertionFailure() << "list left differs";
    return ::testing::AssertionSuccess();
}

RecFileList Entries(const std::vector<const char *> &names) {
    RecFileList list;
    for (const char *name : names) {
        RecFileEntry e{};
        std::snprintf(e.path, sizeof e.path, "/rec/video/%s", name);
        list.push_back(e);
    }
    return list;
}

TEST(GroupingDifferential, SameRecordsAsTheRulesOnChosenLists) {
    const std::vector<std::vector<const char *>> lists = {
        // 3 s apart across a 2^32 s boundary of the seconds count.
        {"1_20090422-192446_1030h.avi", "2_20090422-192449_1030h.avi"},
        {"2_20090422-192449_1030h.avi", "1_20090422-192446_1030h.avi"},
        // A file without a readable time compares with the time of the file
        // looked at before it; listed twice, its second copy goes with the
        // first copy's group although its own comparison would not join.
        {"1_20150109-104929_1030h.avi", "3_20150109-104930_1030h.avi", "2_abc-defghijklmno0.avi",
         "3_20150109-105029_1030h.avi", "2_abc-defghijklmno0.avi"},
        // A time that is no calendar time joins no other file, as a
        // reference or as a candidate, nor does a file without a readable
        // time that compares with it.
        {"1_20150109-104929_1030h.avi", "2_20141309-104929_1030h.avi",
         "2_20150109-104929_1030h.avi"},
        {"1_20141309-104929_1030h.avi", "1_20150109-104929_1030h.avi",
         "2_20150109-104929_1030h.avi"},
        {"1_20141309-104929_1030h.avi", "2_abc-defghijklmno0.avi", "3_20141309-104929_1030h.avi",
         "4_20150109-104929_1030h.avi"},
        {"2_abc-defghijklmno0.avi", "1_20150109-104929_1030h.avi", "3_abc-defghijklmno0.avi"},
    };
    for (const auto &names : lists) {
        CScriptedSearch search;
        EXPECT_TRUE(SameAsTheRules(search, Entries(names), 0)) << names[0];
    }
}

TEST(GroupingDifferential, SameRecordsAsTheRulesOnRandomFolders) {
    std::mt19937 random(20150109);
    for (int trial = 0; trial < 150; ++trial) {
        TempDir dir;
        const int files = 1 + static_cast<int>(random() % 40);
        for (int k = 0; k < files; ++k) dir.WriteFile(RandomName(random), "");
        CScriptedSearch search;
        RecFileList list;
        search.CollectFiles(dir.path().c_str(), (dir.path() + "*_*-*.avi").c_str(), list);
        // A list not made by a folder walk may name one file twice.
        if (!list.empty() && trial % 3 == 0) {
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(random() % list.size()),
                        list[random() % list.size()]);
        }
        for (const RecFileEntry &e : list) {
            FakeFile &f = search.files[e.path];
            f.result = random() % 10 == 0 ? 1 : 0;
            f.durationMs = random() % 3 == 0 ? 0 : 60000;
            f.composite = static_cast<int32_t>(random() % 3);
            f.ioMark = static_cast<unsigned char>(random());
        }
        const int stopAt = trial % 5 == 0 ? 1 + static_cast<int>(random() % 4) : 0;
        ASSERT_TRUE(SameAsTheRules(search, list, stopAt)) << "trial " << trial;
    }
}

// Lists in no order at all (no folder lists so), long enough that their
// times go down and up again many times over.
TEST(GroupingDifferential, SameRecordsAsTheRulesOnLongListsInNoOrder) {
    std::mt19937 random(20150110);
    for (int trial = 0; trial < 10; ++trial) {
        std::vector<std::string> names(300);
        for (std::string &name : names) name = RandomName(random);
        std::vector<const char *> pointers;
        for (const std::string &name : names) pointers.push_back(name.c_str());
        RecFileList list = Entries(pointers);
        CScriptedSearch search;
        for (RecFileEntry &e : list) {
            search.GetStartTime(e.path, &e.startTime);
            ChannelList channels;
            search.GetChannels(e.path, channels);
            e.channel = channels.empty() ? 0 : channels[0];
            search.files[e.path].durationMs = 60000;
        }
        ASSERT_TRUE(SameAsTheRules(search, list, 0)) << "trial " << trial;
    }
}

// 1,440 one-minute recordings of 8 channels, the channels starting up to
// 2 s apart, listed channel by channel as the folder enumerates them.
TEST(GroupingDifferential, FullDayOfEightChannelsFormsRecordingsOfEight) {
    RecFileList list;
    for (int channel = 1; channel <= 8; ++channel) {
        for (int minute = 0; minute < 1440; ++minute) {
            RecFileEntry e{};
            std::snprintf(e.path, sizeof e.path,
                          "/rec/2015-01-09/video/%d_20150109-%02d%02d%02d_1030h.avi", channel,
                          minute / 60, minute % 60, (minute * 7 + channel) % 3);
            e.channel = channel - 1;
            list.push_back(e);
        }
    }
    CScriptedSearch search;
    GroupLog::Reset();
    const auto begin = std::chrono::steady_clock::now();
    search.ReportGroups(list, 0, &GroupLog::Callback);
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    std::printf("grouping 11520 files into 1440 recordings: %.1f ms\n", ms);
    RecordProperty("grouping_ms", static_cast<int>(ms));
    ASSERT_EQ(GroupLog::groups.size(), 1440u);
    for (const RecGroupInfo &g : GroupLog::groups) {
        ASSERT_EQ(g.count, 8);
        for (int32_t k = 0; k < 8; ++k) ASSERT_EQ(g.channels[k], k);
    }
    EXPECT_EQ(list.size(), 1440u);
}

}  // namespace
