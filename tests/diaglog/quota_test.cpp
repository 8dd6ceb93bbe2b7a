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

    // The name of an earlier log file of a program, from its `day`th of
    // January 2015 (the day decides the name's order, not the file's age).
    static std::string EarlierLog(const std::string &program, int day) {
        return program + "----libavfile_vsk----" + NameTime(At(2015, 1, day, 8, 0, 0)) + "----" +
               NameTime(At(2015, 1, day, 9, 30, 0)) + ".log";
    }
};

// Files a host keeps in the same folder, and names that come close to the
// log's own: none of them is counted or deleted.
const std::vector<std::string> &HostFiles() {
    static const std::vector<std::string> names = {
        "app.log",
        "host.log",
        "host-application.log",
        "notes.txt",
        "catalog",
        "player----other_module----2015-01-02 08-00-00----2015-01-02 09-30-00.log",
        "player----libavfile_vsk----2015-01-02 08-00-00----2015-01-02 09-30-00.LOG",
        "player----libavfile_vsk----2015-01-02 08-00-00----2015-01-02 09-30-00.log.old",
        "player----libavfile_vsk----2015-01-02 08-00-00.log",
        "player----libavfile_vsk----2015-1-02 08-00-00----2015-01-02 09-30-00.log",
        "player----libavfile_vsk----2015-01-02 08-00-00----2015-01-02 09-30-000.log",
        "player----libavfile_vsk----2015-01-02  08-00-00----2015-01-02 09-30-00.log",
        "player----libavfile_vsk----2015-01-02_08-00-00----2015-01-02 09-30-00.log",
        "player---libavfile_vsk----2015-01-02 08-00-00----2015-01-02 09-30-00.log",
        "player----libavfile_vsk_x----2015-01-02 08-00-00----2015-01-02 09-30-00.log",
    };
    return names;
}

// The first line of a log pares the folder's log files down to below the
// quota, oldest first; the log files of another program using the library in
// the same folder count as well. The host's files (older and bigger than all
// the logs), names close to a log's and a folder named like a log file are
// neither counted nor touched.
TEST_F(Quota, OldestLogFilesGoFirst) {
    struct Case {
        const char *settings;
        size_t kept;  // the newest log files that remain
    };
    const Case cases[] = {{"", 4}, {"[LOG]\nSIZE=6\n", 5}, {"[LOG]\nSIZE=12\n", 11},
                          {"[LOG]\nSIZE=13\n", 12}};
    // Oldest first; names, sizes and ages are not in the same order.
    const int days[] = {11, 2, 8, 4, 6, 1, 12, 3, 10, 5, 9, 7};
    std::vector<std::string> byAge;
    for (int i = 0; i < 12; ++i) {
        byAge.push_back(EarlierLog(i % 3 ? "test_diaglog" : "player", days[i]));
    }
    const std::string logFolderName = EarlierLog("archive", 1);
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
        for (const std::string &name : HostFiles()) {
            OldFile(name, 20 * kMiB, std::chrono::hours(100));
        }
        dir.WriteFile("Log/" + logFolderName + "/inside.log", std::string(100, 'x'));

        NewLog()->WriteLine(2, "line");

        std::vector<std::string> expected = HostFiles();
        expected.push_back(logFolderName);
        expected.insert(expected.end(), byAge.end() - static_cast<std::ptrdiff_t>(c.kept),
                        byAge.end());
        expected.push_back(FileName(now, now));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(LogFolderNames(), expected) << c.settings;
        EXPECT_TRUE(fs::exists(dir / ("Log/" + logFolderName + "/inside.log")));
    }
}

// Every new file runs the pass again, and the files the log closed count.
TEST_F(Quota, RunsAtEveryOpening) {
    const std::string earlier[] = {EarlierLog("test_diaglog", 1), EarlierLog("test_diaglog", 2),
                                   EarlierLog("test_diaglog", 3), EarlierLog("test_diaglog", 4)};
    for (const std::string &name : earlier) {
        OldFile(name, kMiB, std::chrono::hours(&name == &earlier[0] ? 5 : 3));
    }
    OldFile("host.log", 10 * kMiB, std::chrono::hours(10));
    const AvSystemTime first = At(2015, 1, 9, 11, 0, 0), second = At(2015, 1, 9, 11, 0, 5);
    const std::string text(10000, 'z');
    SetNow(first);
    auto log = NewLog();
    for (int i = 0; i < 105; ++i) log->WriteLine(2, text.c_str());  // just past 1 MiB
    ASSERT_TRUE(fs::exists(FilePath(first, first)));
    EXPECT_EQ(LogFolderNames().size(), 6u) << "4 MiB of logs were within the quota";
    SetNow(second);
    log->WriteLine(2, "next file");
    std::vector<std::string> expected = {earlier[1], earlier[2], earlier[3], "host.log",
                                         FileName(first, first), FileName(second, second)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LogFolderNames(), expected);
}

// A listing that takes 1 s or more counts the later files as empty and has
// the oldest log files deleted whatever the total, for up to 3 s; the host's
// files, older still, stay.
TEST_F(Quota, SlowListingDeletesWithinItsBudget) {
    static uint32_t ticks = 0;
    plat::SetTickSource([]() { return ticks += 1000; });  // each reading 1 s later
    std::vector<std::string> logs;
    for (int i = 0; i < 6; ++i) {
        logs.push_back(EarlierLog("test_diaglog", 1 + i));
        OldFile(logs.back(), 100, std::chrono::hours(10 - i));
    }
    for (const std::string &name : HostFiles()) OldFile(name, 100, std::chrono::hours(20));
    EnforceLogQuota(LogFolder().c_str(), "libavfile_vsk", 5);
    std::vector<std::string> expected = HostFiles();
    expected.insert(expected.end(), logs.begin() + 3, logs.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LogFolderNames(), expected);
}

}  // namespace
