#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "search/rec_search.h"

namespace {

struct NameCase {
    const char *path;
    bool accepted;
    int channelResult;   // GetChannels result
    int channel;         // -1: no channel appended
    int alarm;
    int year, month, day, hour, minute, second;  // 0: GetStartTime fails
    int frameRate;       // -1: GetFrameRate fails
};

void PrintTo(const NameCase &c, std::ostream *os) { *os << c.path; }

class RecordNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(RecordNameTest, ReadsEveryField) {
    const NameCase &c = GetParam();
    CFileSearchJNQ search;
    EXPECT_EQ(search.GetRecordName(c.path) != nullptr, c.accepted);
    if (!c.accepted) {
        ChannelList channels;
        EXPECT_EQ(search.GetChannels(c.path, channels), 0);
        EXPECT_TRUE(channels.empty());
        AvSystemTime t{};
        t.wYear = 7;
        EXPECT_EQ(search.GetStartTime(c.path, &t), 0);
        EXPECT_EQ(t.wYear, 7);  // untouched
        int32_t rate = 99;
        EXPECT_EQ(search.GetFrameRate(c.path, &rate), 0);
        EXPECT_EQ(rate, 99);
        return;
    }
    ChannelList channels;
    EXPECT_EQ(search.GetChannels(c.path, channels), c.channelResult);
    if (c.channel < 0) {
        EXPECT_TRUE(channels.empty());
    } else {
        ASSERT_EQ(channels.size(), 1u);
        EXPECT_EQ(channels[0], c.channel);
    }
    EXPECT_EQ(search.IsAlarmRecord(c.path), c.alarm);
    AvSystemTime t{};
    t.wDayOfWeek = 5;
    t.wMilliseconds = 6;
    ASSERT_EQ(search.GetStartTime(c.path, &t), 1);
    EXPECT_EQ(t.wYear, c.year);
    EXPECT_EQ(t.wMonth, c.month);
    EXPECT_EQ(t.wDay, c.day);
    EXPECT_EQ(t.wHour, c.hour);
    EXPECT_EQ(t.wMinute, c.minute);
    EXPECT_EQ(t.wSecond, c.second);
    EXPECT_EQ(t.wDayOfWeek, 5);  // never written
    EXPECT_EQ(t.wMilliseconds, 6);
    int32_t rate = -7;
    EXPECT_EQ(search.GetFrameRate(c.path, &rate), 1);
    EXPECT_EQ(rate, c.frameRate);
}

// A listed name is read in one go exactly as the rules read it one by one.
TEST_P(RecordNameTest, ListedNameReadAsTheRulesReadIt) {
    const NameCase &c = GetParam();
    CFileSearchJNQ search;
    RecFileEntry once{}, oneByOne{};
    std::snprintf(once.path, sizeof once.path, "%s", c.path);
    std::snprintf(oneByOne.path, sizeof oneByOne.path, "%s", c.path);
    ChannelList onceChannels{5}, oneByOneChannels{5};  // appended to, not replaced
    EXPECT_EQ(search.ReadListedName(once, onceChannels), c.accepted);
    EXPECT_EQ(search.CRecSearch::ReadListedName(oneByOne, oneByOneChannels), c.accepted);
    EXPECT_EQ(std::memcmp(&once, &oneByOne, sizeof once), 0);
    EXPECT_EQ(onceChannels, oneByOneChannels);
    if (!c.accepted) return;
    EXPECT_EQ(once.timeRead, 1);
    EXPECT_EQ(once.startTime.wSecond, c.second);
    EXPECT_EQ(once.alarm, c.alarm);
    EXPECT_EQ(once.channelDigit, c.channelResult == 1 ? c.channel : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecordNameTest,
    ::testing::Values(
        NameCase{"D:\\rec\\2015-01-09\\video\\3_20150109-104929_1030h.avi", true, 1, 2, 0, 2015, 1, 9, 10, 49, 29, 30},
        NameCase{"3_20150109-104929_1030h.avi", false},
        NameCase{"/media/card/2015-01-09/video/3_20150109-104929_1030h.AVI", true, 1, 2, 0, 2015, 1, 9, 10, 49, 29, 30},
        NameCase{"d:/x\\3_20150109-104929_1030h.avi", true, 0, 0, 0, 2015, 1, 9, 10, 49, 29, 25},  // name part after the last '/'
        NameCase{"d:\\3_20150109-104929_.avi", false},  // 22-character name part
        NameCase{"d:\\3_20150109-104929_1.avi", true, 1, 2, 0, 2015, 1, 9, 10, 49, 29, 0},  // 23 characters
        NameCase{"d:\\3_20150109-104929_1030h.avi.bak", false},
        NameCase{"d:\\12_20150109-104929_1030h.avi", true, 1, 0, 0, 2015, 1, 9, 10, 49, 29, 25},
        NameCase{"d:\\ch3_20150109-104929_1030h.avi", true, 0, 0, 0, 2015, 1, 9, 10, 49, 29, 25},
        NameCase{"d:\\0_20150109-104929_1030h.avi", true, 0, -1, 0, 2015, 1, 9, 10, 49, 29, 30},
        NameCase{"d:\\1_2015-01-09_10-49-29_x1.avi", true, 1, 0, 0, 2015, 1, 9, 10, 49, 29, 25},
        NameCase{"d:\\1_20150109-104929_1130h.avi", true, 1, 0, 1, 2015, 1, 9, 10, 49, 29, 30},
        NameCase{"d:\\8_20150109-104929_1000h.avi", true, 1, 7, 0, 2015, 1, 9, 10, 49, 29, 0},
        NameCase{"d:\\2_20150109-104929_105xh.avi", true, 1, 1, 0, 2015, 1, 9, 10, 49, 29, 5},
        NameCase{"d:\\abcdefghijklmnopqrstuvw.avi", false},
        NameCase{"d:\\.avi", false},
        NameCase{"avi", false}));

struct DayCase {
    const char *name;
    int plain;   // ParseDayName result
    int dashed;  // ParseDashedDayName result
    int year, month, day;
};

void PrintTo(const DayCase &c, std::ostream *os) { *os << c.name; }

class DayNameTest : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayNameTest, ParsesOrRejects) {
    const DayCase &c = GetParam();
    int32_t day[3] = {-1, -1, -1};
    EXPECT_EQ(ParseDayName(c.name, day), c.plain);
    if (c.plain) {
        EXPECT_EQ(day[0], c.year);
        EXPECT_EQ(day[1], c.month);
        EXPECT_EQ(day[2], c.day);
    } else {
        EXPECT_EQ(day[0], -1);
    }
    int32_t dashed[3] = {-1, -1, -1};
    EXPECT_EQ(ParseDashedDayName(c.name, dashed), c.dashed);
    if (c.dashed) {
        EXPECT_EQ(dashed[0], c.year);
        EXPECT_EQ(dashed[1], c.month);
        EXPECT_EQ(dashed[2], c.day);
    } else {
        EXPECT_EQ(dashed[0], -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Days, DayNameTest,
    ::testing::Values(DayCase{"2015-01-09", 1, 1, 2015, 1, 9},
                      DayCase{"2015-01-09-2", 1, 1, 2015, 1, 9},
                      DayCase{"2015_1_9", 1, 0, 2015, 1, 9},
                      DayCase{"2015_01_09", 1, 0, 2015, 1, 9},
                      DayCase{"20150109_01", 1, 0, 2015, 1, 9},
                      DayCase{"2015010900", 1, 0, 2015, 1, 9},
                      DayCase{"20150109", 0, 0},
                      DayCase{"2051-01-01", 0, 0},
                      DayCase{"1969-12-31", 0, 0},
                      DayCase{"2015-13-01", 0, 0},
                      DayCase{"2015-02-31", 1, 1, 2015, 2, 31},
                      DayCase{"2015-1-09", 1, 0, 2015, 1, 9},
                      DayCase{"2015-01-0x", 0, 0},
                      DayCase{"", 0, 0}));

}  // namespace
