// Calendar conversions between Windows file times (100 ns units since 1601,
// no time-zone change) and calendar records, with Windows' validation.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace {

// A calendar time with day of week 0; the unnamed parts of the day are 0.
constexpr AvSystemTime Time(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0,
                            uint16_t mi = 0, uint16_t s = 0, uint16_t ms = 0) {
    return AvSystemTime{y, mo, 0, d, h, mi, s, ms};
}

constexpr uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 as a file time

TEST(Calendar, KnownFileTimes) {
    const struct {
        AvSystemTime time;
        uint64_t fileTime;
        int dayOfWeek;  // 0 = Sunday
    } cases[] = {
        {Time(1601, 1, 1), 0, 1},
        {Time(1970, 1, 1), kUnixEpoch, 4},
        {Time(2015, 1, 9, 10, 49, 29), kUnixEpoch + 1420800569ull * 10000000ull, 5},
        {Time(2016, 2, 29, 23, 59, 59, 999), kUnixEpoch + 1456790399999ull * 10000ull, 1},
        {Time(2038, 1, 19, 3, 14, 8), kUnixEpoch + 2147483648ull * 10000000ull, 2},
        {Time(30827, 12, 31, 23, 59, 59, 999), 0x7fff35f4f06c58f0ull, 5},
    };
    for (const auto &c : cases) {
        uint64_t fileTime = 0;
        ASSERT_TRUE(plat::SystemTimeToFileTime(&c.time, &fileTime)) << c.time.wYear;
        EXPECT_EQ(fileTime, c.fileTime) << c.time.wYear;

        AvSystemTime back{};
        ASSERT_TRUE(plat::FileTimeToSystemTime(c.fileTime, &back)) << c.time.wYear;
        AvSystemTime expected = c.time;
        expected.wDayOfWeek = static_cast<uint16_t>(c.dayOfWeek);
        EXPECT_EQ(std::memcmp(&back, &expected, sizeof back), 0)
            << back.wYear << "-" << back.wMonth << "-" << back.wDay << " dow "
            << back.wDayOfWeek;
    }
}

TEST(Calendar, SubMillisecondUnitsAreDropped) {
    AvSystemTime t{};
    ASSERT_TRUE(plat::FileTimeToSystemTime(kUnixEpoch + 12345678ull, &t));
    EXPECT_EQ(t.wSecond, 1);
    EXPECT_EQ(t.wMilliseconds, 234);
}

TEST(Calendar, ImpossibleDatesFail) {
    const AvSystemTime cases[] = {
        Time(2015, 2, 29),  Time(1900, 2, 29),       Time(2015, 4, 31),
        Time(2015, 0, 1),   Time(2015, 13, 1),       Time(2015, 1, 0),
        Time(2015, 1, 32),  Time(2015, 1, 1, 24),    Time(2015, 1, 1, 0, 60),
        Time(2015, 1, 1, 0, 0, 60), Time(2015, 1, 1, 0, 0, 0, 1000), Time(1600, 12, 31),
        Time(0, 1, 1),
    };
    for (const auto &c : cases) {
        uint64_t fileTime = 12345;
        EXPECT_FALSE(plat::SystemTimeToFileTime(&c, &fileTime))
            << c.wYear << "-" << c.wMonth << "-" << c.wDay << " " << c.wHour << ":"
            << c.wMinute << ":" << c.wSecond << "." << c.wMilliseconds;
    }
    // Leap days that do exist.
    for (const AvSystemTime &ok : {Time(2000, 2, 29), Time(2016, 2, 29)}) {
        uint64_t fileTime = 0;
        EXPECT_TRUE(plat::SystemTimeToFileTime(&ok, &fileTime)) << ok.wYear;
    }
}

TEST(Calendar, DayOfWeekIsIgnoredOnTheWayIn) {
    AvSystemTime t = Time(2015, 1, 9);
    uint64_t a = 0, b = 0;
    t.wDayOfWeek = 0;
    ASSERT_TRUE(plat::SystemTimeToFileTime(&t, &a));
    t.wDayOfWeek = 3;
    ASSERT_TRUE(plat::SystemTimeToFileTime(&t, &b));
    EXPECT_EQ(a, b);
}

// Every file time below 2^63 has a calendar time, up to 30828-09-14
// 02:48:05.477, a Thursday; from 2^63 on the conversion fails.
TEST(Calendar, LargestFileTimeIsTheLimit) {
    AvSystemTime t{};
    ASSERT_TRUE(plat::FileTimeToSystemTime(0x7fffffffffffffffull, &t));
    const AvSystemTime expected = {30828, 9, 4, 14, 2, 48, 5, 477};
    EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0)
        << t.wYear << "-" << t.wMonth << "-" << t.wDay << " " << t.wHour << ":" << t.wMinute
        << ":" << t.wSecond << "." << t.wMilliseconds;
    EXPECT_FALSE(plat::FileTimeToSystemTime(0x8000000000000000ull, &t));
    EXPECT_FALSE(plat::FileTimeToSystemTime(~0ull, &t));
}

TEST(Calendar, LocalTimeIsACoherentDate) {
    AvSystemTime now{};
    plat::LocalTime(&now);
    EXPECT_GE(now.wYear, 2020);
    // Its day of week agrees with its date.
    uint64_t fileTime = 0;
    ASSERT_TRUE(plat::SystemTimeToFileTime(&now, &fileTime));
    AvSystemTime back{};
    ASSERT_TRUE(plat::FileTimeToSystemTime(fileTime, &back));
    EXPECT_EQ(back.wDayOfWeek, now.wDayOfWeek);
}

}  // namespace
