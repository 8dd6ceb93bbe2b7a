#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "search/day_search.h"
#include "search_fixture.h"

namespace {

RecDayInfo Day(int year, int month, int day, const std::string &path) {
    RecDayInfo d;
    std::memset(&d, 0, sizeof d);
    d.year = year;
    d.month = month;
    d.day = day;
    std::memcpy(d.path, path.c_str(), path.size() + 1);
    return d;
}

void ExpectDays(const std::vector<RecDayInfo> &expected) {
    ASSERT_EQ(DayLog::days.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(std::memcmp(&DayLog::days[k], &expected[k], sizeof(RecDayInfo)), 0)
            << "day " << k << ": " << DayLog::days[k].path;
    }
}

TEST(DaySearch, ReportsDateFoldersOnlyWithTheirPaths) {
    TempDir root;
    root.MakeDir("2015-01-09");
    root.MakeDir("20150110_1");
    root.MakeDir("20150109");        // eight characters without a separator
    root.MakeDir("2051-01-01");      // year out of range
    root.MakeDir("2015-02-31");      // months are not checked for their length
    root.MakeDir("video");
    root.WriteFile("2015-01-11", "");  // a file named like a day
    DayLog::Reset();
    EXPECT_EQ(AVFILE_SearchDay(root.path().c_str(), 7, &DayLog::Callback), 0);
    const std::string sep(1, root.path().back());
    ExpectDays({Day(2015, 1, 9, root.path() + "2015-01-09" + sep),
                Day(2015, 2, 31, root.path() + "2015-02-31" + sep),
                Day(2015, 1, 10, root.path() + "20150110_1" + sep)});
}

TEST(DaySearch, DayPathEndsWithTheRootsSeparator) {
    TempDir root;
    root.MakeDir("2015-01-09");
    // The same folder written with '/' only, and with a closing '\'.
    std::string slashes = root.path();
    for (char &c : slashes) {
        if (c == '\\') c = '/';
    }
    DayLog::Reset();
    EXPECT_EQ(AVFILE_SearchDay(slashes.c_str(), 0, &DayLog::Callback), 0);
    ExpectDays({Day(2015, 1, 9, slashes + "2015-01-09/")});

    std::string backslash = root.path();
    backslash.back() = '\\';
    DayLog::Reset();
    EXPECT_EQ(AVFILE_SearchDay(backslash.c_str(), 0, &DayLog::Callback), 0);
    ExpectDays({Day(2015, 1, 9, backslash + "2015-01-09\\")});
}

TEST(DaySearch, RootWithoutDayFoldersAndMissingRoot) {
    TempDir root;
    root.MakeDir("video");
    root.MakeDir("1999-01-01");
    DayLog::Reset();
    EXPECT_EQ(AVFILE_SearchDay(root.path().c_str(), 0, &DayLog::Callback), 0);
    EXPECT_EQ(AVFILE_SearchDay((root / "missing/").c_str(), 0, &DayLog::Callback), 1);
    EXPECT_TRUE(DayLog::days.empty());
}

TEST(DaySearch, StopInTheFirstCallbackEndsTheSearch) {
    TempDir root;
    root.MakeDir("2015-01-09");
    root.MakeDir("2015-01-10");
    DayLog::Reset(1);
    EXPECT_EQ(AVFILE_SearchDay(root.path().c_str(), 0, &DayLog::Callback), 1);
    EXPECT_EQ(DayLog::days.size(), 1u);
}

TEST(DaySearch, DayPathThatWouldNotFitIsSkipped) {
    TempDir root;
    // "2015-01-09" and a separator fill the path to its last byte; the longer
    // day name would not fit and must not be reported cut short.
    const std::string folder = DeepFolder(root, AVFILE_MAX_PATH - 1 - 11);
    root.MakeDir(folder.substr(root.path().size()) + "2015-01-09");
    root.MakeDir(folder.substr(root.path().size()) + "2015-01-10_x");
    DayLog::Reset();
    EXPECT_EQ(SearchDayFolders(folder.c_str(), 0, &DayLog::Callback), 0);
    ExpectDays({Day(2015, 1, 9, folder + "2015-01-09" + folder.back())});
}

}  // namespace
