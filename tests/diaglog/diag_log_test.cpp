#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "log_fixture.h"
#include "support/diag_log.h"

namespace fs = std::filesystem;

namespace {

using Settings = LogTest;

TEST_F(Settings, LoadCreatesNothing) {
    for (const char *settings : {"", "[LOG]\nLEVEL=0\n"}) {
        if (settings[0]) WriteSettings(settings);
        NewLog().reset();
        EXPECT_FALSE(fs::exists(LogFolder())) << settings;
    }
}

TEST_F(Settings, QuotaAndLevelFromLogIni) {
    struct Case {
        const char *body;
        int32_t level;
        int32_t quota;
    };
    const Case cases[] = {
        {nullptr, 2, 5},
        {"[LOG]\n", 2, 5},
        {"[LOG]\nSIZE=3\n", 2, 5},
        {"[LOG]\nSIZE=5\n", 2, 5},
        {"[LOG]\nSIZE=6\n", 2, 6},
        {"[LOG]\nSIZE=1024\n", 2, 1024},
        {"[LOG]\nSIZE=1025\n", 2, 5},
        {"[LOG]\nSIZE=0\n", 2, 5},
        {"[LOG]\nSIZE=-1\n", 2, 5},
        {"[LOG]\nLEVEL=-3\nSIZE=20\n", -3, 20},
        {"[OTHER]\nLEVEL=7\nSIZE=20\n", 2, 5},
    };
    for (const Case &c : cases) {
        std::error_code ec;
        fs::remove(dir / "LOG.INI", ec);
        if (c.body) WriteSettings(c.body);
        const auto log = NewLog();
        EXPECT_EQ(log->MinimumLevel(), c.level) << (c.body ? c.body : "no LOG.INI");
        EXPECT_EQ(log->SizeQuotaMiB(), c.quota) << (c.body ? c.body : "no LOG.INI");
    }
}

TEST_F(Settings, LevelFiltersLines) {
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    auto log = NewLog();
    log->WriteLine(1, "below");
    EXPECT_FALSE(fs::exists(LogFolder())) << "a filtered line opens no file";
    log->WriteLine(2, "at");
    log->WriteFormat(-5, "%s", "far below");
    log->WriteDump(1, nullptr, 0, "dump below");
    log->WriteLine(9, "above");
    log.reset();
    EXPECT_EQ(Lines(FilePath(now, now)),
              (std::vector<std::string>{LineStamp(now) + "at", LineStamp(now) + "above"}));
}

// A change of LOG.INI is seen by the first line 60 s or more after the last
// reading, also across the wrap of the tick counter.
TEST_F(Settings, ReadAgainAfterAMinute) {
    for (const uint32_t start : {1000u, 0xFFFFF000u}) {
        std::error_code ec;
        fs::remove_all(LogFolder(), ec);
        fs::remove(dir / "LOG.INI", ec);
        SetTick(start);
        auto log = NewLog();
        WriteSettings("[LOG]\nLEVEL=3\n");
        SetTick(start + 59999);
        log->WriteLine(2, "still level 2");
        SetTick(start + 60000);
        log->WriteLine(2, "after the reading");
        log->WriteLine(3, "level 3");
        EXPECT_EQ(log->MinimumLevel(), 3);
        // The next reading is a minute after this one.
        WriteSettings("[LOG]\nLEVEL=1\n");
        SetTick(start + 119999);
        log->WriteLine(2, "not yet");
        log.reset();
        const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
        const std::string stamp = LineStamp(now);
        EXPECT_EQ(Lines(FilePath(now, now)),
                  (std::vector<std::string>{stamp + "still level 2", stamp + "level 3"}))
            << start;
    }
}

using LogFiles = LogTest;

TEST_F(LogFiles, FirstLineCreatesFolderAndFile) {
    const AvSystemTime opened = At(2015, 1, 9, 10, 49, 29);
    auto log = NewLog();
    log->WriteLine(2, "first");
    EXPECT_EQ(LogFolderNames(), std::vector<std::string>{FileName(opened, opened)});
    EXPECT_EQ(TempDir::ReadFile(FilePath(opened, opened)), "2015-01-09   10:49:29   first\r\n");
}

// A closed file is renamed after the time of its last line, unless that is
// the second in which it was opened.
TEST_F(LogFiles, ClosingNamesFileAfterLastLine) {
    const AvSystemTime opened = At(2015, 1, 9, 10, 49, 29);
    for (const AvSystemTime last : {At(2015, 1, 9, 10, 49, 29), At(2015, 1, 10, 0, 0, 1)}) {
        std::error_code ec;
        fs::remove_all(LogFolder(), ec);
        SetNow(opened);
        auto log = NewLog();
        log->WriteLine(2, "one");
        SetNow(last);
        log->WriteLine(2, "two");
        log.reset();
        EXPECT_EQ(LogFolderNames(), std::vector<std::string>{FileName(opened, last)});
        EXPECT_EQ(Lines(FilePath(opened, last)),
                  (std::vector<std::string>{LineStamp(opened) + "one", LineStamp(last) + "two"}));
    }
}

// When the folder cannot be made the line is lost; the next line tries again.
TEST_F(LogFiles, LineLostWhileFolderCannotBeMade) {
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    const std::string blocker = dir.WriteFile("Log", "a file where the folder belongs");
    auto log = NewLog();
    log->WriteLine(2, "lost");
    EXPECT_EQ(TempDir::ReadFile(blocker), "a file where the folder belongs");
    fs::remove(blocker);
    log->WriteLine(2, "kept");
    log.reset();
    EXPECT_EQ(Lines(FilePath(now, now)), std::vector<std::string>{LineStamp(now) + "kept"});
}

// A file that already carries the closing name is never replaced: the
// closed file keeps its opening name.
TEST_F(LogFiles, ClosingNeverReplacesAnotherFile) {
    const AvSystemTime opened = At(2015, 1, 9, 10, 49, 29), last = At(2015, 1, 9, 11, 0, 0);
    dir.WriteFile("Log/" + FileName(opened, last), "kept\r\n");
    auto log = NewLog();
    log->WriteLine(2, "one");
    SetNow(last);
    log->WriteLine(2, "two");
    log.reset();
    EXPECT_EQ(TempDir::ReadFile(FilePath(opened, last)), "kept\r\n");
    EXPECT_EQ(Lines(FilePath(opened, opened)),
              (std::vector<std::string>{LineStamp(opened) + "one", LineStamp(last) + "two"}));
}

// A file of the same name opened in the same second is appended to.
TEST_F(LogFiles, SameSecondAppendsToExistingFile) {
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    dir.WriteFile("Log/" + FileName(now, now), "earlier\r\n");
    NewLog()->WriteLine(2, "later");
    EXPECT_EQ(Lines(FilePath(now, now)),
              (std::vector<std::string>{"earlier", LineStamp(now) + "later"}));
}

TEST_F(LogFiles, RotatesPastOneMebibyte) {
    const AvSystemTime opened = At(2015, 1, 9, 10, 49, 29);
    const AvSystemTime crossing = At(2015, 1, 9, 10, 55, 0);
    const AvSystemTime next = At(2015, 1, 9, 11, 0, 0);
    const std::string text(10000, 'x');
    const size_t lineSize = 24 + text.size() + 2;
    auto log = NewLog();
    size_t written = 0;
    while (written + lineSize <= CDiagLog::kRotateSize) {
        log->WriteLine(2, text.c_str());
        written += lineSize;
    }
    ASSERT_EQ(LogFolderNames(), std::vector<std::string>{FileName(opened, opened)});
    SetNow(crossing);
    log->WriteLine(2, text.c_str());
    written += lineSize;
    EXPECT_EQ(LogFolderNames(), std::vector<std::string>{FileName(opened, crossing)})
        << "closed and renamed at once";
    const std::vector<std::string> lines = Lines(FilePath(opened, crossing));
    EXPECT_EQ(fs::file_size(FilePath(opened, crossing)), written);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), LineStamp(crossing) + text) << "the crossing line is whole";

    SetNow(next);
    log->WriteLine(2, "next");
    EXPECT_EQ(Lines(FilePath(next, next)), std::vector<std::string>{LineStamp(next) + "next"});
}

// The size of a file opened again counts towards the limit.
TEST_F(LogFiles, AppendedFileRotatesWithItsOldSize) {
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29), later = At(2015, 1, 9, 10, 49, 40);
    dir.WriteFile("Log/" + FileName(now, now), std::string(CDiagLog::kRotateSize - 10, 'o'));
    auto log = NewLog();
    log->WriteLine(2, "over the limit");
    SetNow(later);
    log->WriteLine(2, "new file");
    EXPECT_EQ(LogFolderNames(),
              (std::vector<std::string>{FileName(now, now), FileName(later, later)}));
}

TEST_F(LogFiles, FormattedAndDumpedText) {
    const unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    const unsigned char high[] = {0xAB, 0xFF, 0x00};
    auto log = NewLog();
    log->WriteFormat(2, "%d-%s-%04X", 7, "x", 0xBEEFu);
    log->WriteFormat(2, nullptr);
    log->WriteDump(2, bytes, 5, nullptr);
    log->WriteDump(2, bytes, 5, "%c", 'A');
    log->WriteDump(2, high, 3, "id %d:", 12);
    log->WriteDump(2, bytes, 0, "empty");
    log.reset();
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    const std::string s = LineStamp(now);
    EXPECT_EQ(Lines(FilePath(now, now)), (std::vector<std::string>{
                                             s + "7-x-BEEF",
                                             s,
                                             s + "01 02 03 04 05 ",
                                             s + "A  01 02 03 04 05 ",
                                             s + "id 12:  AB FF 00 ",
                                             s + "empty  ",
                                         }));
}

// Text longer than the buffers is cut; the line still ends with CR LF and
// nothing beyond the buffers is written.
TEST_F(LogFiles, LongTextIsCut) {
    const std::string huge(30000, 'y');
    std::vector<unsigned char> data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
    auto log = NewLog();
    log->WriteLine(2, huge.c_str());
    log->WriteFormat(2, "%s", huge.c_str());
    log->WriteDump(2, data.data(), static_cast<int32_t>(data.size()), nullptr);
    log->WriteDump(2, data.data(), static_cast<int32_t>(data.size()), "%s", huge.c_str());
    log.reset();
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    const std::string s = LineStamp(now);
    const std::string longest = s + std::string(CDiagLog::kLineBufferSize - 3 - s.size(), 'y');
    std::string hex;  // as many bytes as fit three characters each before the dump's end
    for (size_t i = 0; i < (10176 - 3) / 3; ++i) {
        static const char kHex[] = "0123456789ABCDEF";
        hex += kHex[data[i] >> 4];
        hex += kHex[data[i] & 15];
        hex += ' ';
    }
    const std::vector<std::string> lines = Lines(FilePath(now, now));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], longest);
    EXPECT_EQ(lines[1], longest);
    EXPECT_EQ(lines[2], s + hex);
    EXPECT_EQ(lines[3], longest);
}

// A module name longer than the field is cut; such a name makes a file name
// too long for a path, so no file is written until the name is usable again.
TEST_F(LogFiles, OverlongModuleName) {
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    auto log = NewLog();
    const std::string name(400, 'm');
    log->SetModuleName(name.c_str());
    log->WriteLine(2, "lost");
    log->SetModuleName("libavfile_vsk");
    log->WriteLine(2, "kept");
    log.reset();
    EXPECT_EQ(Lines(FilePath(now, now)), std::vector<std::string>{LineStamp(now) + "kept"});
}

// Lines written by several threads at once are whole, each once, also across
// a rotation. The threads are GoogleTest's own, as the Windows thread model of
// the runtime has no std::thread.
constexpr int kLinesPerThread = 1000;

struct WriterTask {
    CDiagLog *log;
    int thread;
    const std::string *padding;
};

void WriteLines(WriterTask *task) {
    char line[400];
    for (int i = 0; i < kLinesPerThread; ++i) {
        if (i % 2) {
            task->log->WriteFormat(2, "t%d-%04d %s", task->thread, i, task->padding->c_str());
        } else {
            std::snprintf(line, sizeof line, "t%d-%04d %s", task->thread, i,
                          task->padding->c_str());
            task->log->WriteLine(2, line);
        }
    }
}

TEST_F(LogFiles, ThreadsWriteWholeLines) {
    using testing::internal::ThreadWithParam;
    const std::string padding(300, '.');
    auto log = NewLog();
    WriterTask tasks[4];
    std::vector<std::unique_ptr<ThreadWithParam<WriterTask *>>> threads;
    testing::internal::Notification go;
    for (int t = 0; t < 4; ++t) {
        tasks[t] = WriterTask{log.get(), t, &padding};
        threads.push_back(std::make_unique<ThreadWithParam<WriterTask *>>(&WriteLines, &tasks[t], &go));
    }
    go.Notify();
    for (auto &thread : threads) thread->Join();
    log.reset();
    const AvSystemTime now = At(2015, 1, 9, 10, 49, 29);
    const std::string s = LineStamp(now);
    const std::vector<std::string> lines = Lines(FilePath(now, now));
    std::set<std::string> seen;
    for (const std::string &line : lines) {
        ASSERT_EQ(line.size(), s.size() + 8 + padding.size()) << line.substr(0, 40);
        ASSERT_EQ(line.substr(0, s.size()), s);
        ASSERT_EQ(line.substr(s.size() + 8), padding);
        EXPECT_TRUE(seen.insert(line.substr(s.size(), 7)).second) << line.substr(0, 40);
    }
    EXPECT_EQ(seen.size(), 4u * static_cast<size_t>(kLinesPerThread));
    EXPECT_GT(fs::file_size(FilePath(now, now)), CDiagLog::kRotateSize) << "rotated on the way";
}

}  // namespace
