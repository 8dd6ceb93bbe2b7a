#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "log_fixture.h"
#include "platform/platform.h"
#include "support/diag_log_quota.h"

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMiB = 1048576;

class Quota : public LogTest {
protected:
    // A file of `size` bytes in the log folder, last written `age` ago.
    void OldFile(const std::string &name, uintmax_t size, std::chrono::minutes age) const {
        const std::string path = dir.WriteFile("Log/" + name, "");
        fs::resize_file(path, size);
        fs::last_write_time(path, fs::file_time_type::clock::now() - age);
    }
};

// The first line of a log pares the folder's log files down to below the
// quota, oldest first. The other files of the folder (older and bigger than
// all the logs), a name ending in "log" without the full stop and a folder
// named like a log file are neither counted nor touched.
TEST_F(Quota, OldestLogFilesGoFirst) {
    struct Case {
        const char *settings;
        size_t kept;  // the newest log files that remain
    };
    const Case cases[] = {{"", 4}, {"[LOG]\nSIZE=6\n", 5}, {"[LOG]\nSIZE=12\n", 11},
                          {"[LOG]\nSIZE=13\n", 12}};
    // Oldest first; names, sizes and ages are not in the same order.
    const char *byAge[] = {"k.log", "B.LOG", "h.log", "d.Log", "f.log", "a.log",
                           "l.log", "c.log", "j.log", "e.log", "i.log", "g.log"};
    const std::vector<std::string> others = {"archive.log", "catalog", "notes.txt"};
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    for (const Case &c : cases) {
        std::error_code ec;
        fs::remove_all(LogFolder(), ec);
        fs::remove(dir / "LOG.INI", ec);
        if (c.settings[0]) WriteSettings(c.settings);
        for (int i = 0; i < 12; ++i) {
            // 12 MiB in all: the two oldest are a half and one and a half.
            const uintmax_t size = i == 0 ? kMiB / 2 : i == 1 ? 3 * kMiB / 2 : kMiB;
            OldFile(byAge[i], size, std::chrono::hours(30 - i * 2));
        }
        OldFile("notes.txt", 20 * kMiB, std::chrono::hours(100));
        OldFile("catalog", 20 * kMiB, std::chrono::hours(100));
        dir.WriteFile("Log/archive.log/inside.log", std::string(100, 'x'));

        NewLog()->WriteLine(2, "line");

        std::vector<std::string> expected = others;
        expected.insert(expected.end(), byAge + 12 - c.kept, byAge + 12);
        expected.push_back(FileName(now, now));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(LogFolderNames(), expected) << c.settings;
        EXPECT_TRUE(fs::exists(dir / "Log/archive.log/inside.log"));
    }
}

// Every new file runs the pass again, and the files the log closed count.
TEST_F(Quota, RunsAtEveryOpening) {
    for (const char *name : {"a.log", "b.log", "c.log", "d.log"}) {
        OldFile(name, kMiB, std::chrono::hours(name[0] == 'a' ? 5 : 3));
    }
    const AvSystemTime first = At(2015, 1, 9, 11, 0, 0), second = At(2015, 1, 9, 11, 0, 5);
    const std::string text(10000, 'z');
    SetNow(first);
    auto log = NewLog();
    for (int i = 0; i < 105; ++i) log->WriteLine(2, text.c_str());  // just past 1 MiB
    ASSERT_TRUE(fs::exists(FilePath(first, first)));
    EXPECT_EQ(LogFolderNames().size(), 5u) << "4 MiB were within the quota";
    SetNow(second);
    log->WriteLine(2, "next file");
    std::vector<std::string> expected = {"b.log", "c.log", "d.log", FileName(first, first),
                                         FileName(second, second)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LogFolderNames(), expected);
}

// A listing that takes 1 s or more counts the later files as empty and has
// the oldest log files deleted whatever the total, for up to 3 s.
TEST_F(Quota, SlowListingDeletesWithinItsBudget) {
    static uint32_t ticks = 0;
    plat::SetTickSource([]() { return ticks += 1000; });  // each reading 1 s later
    for (int i = 0; i < 6; ++i) {
        OldFile(std::string(1, static_cast<char>('a' + i)) + ".log", 100,
                std::chrono::hours(10 - i));
    }
    EnforceLogQuota(LogFolder().c_str(), 5);
    EXPECT_EQ(LogFolderNames(), (std::vector<std::string>{"d.log", "e.log", "f.log"}));
}

}  // namespace
