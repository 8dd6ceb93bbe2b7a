// A log in a temporary application folder with a clock and tick count that
// the test sets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "common/temp_dir.h"
#include "support/diag_log.h"

AvSystemTime At(int year, int month, int day, int hour, int minute, int second);

// "2015-01-09 10-49-29" as it appears in log file names.
std::string NameTime(const AvSystemTime &t);
// "2015-01-09   10:49:29   " as it opens a log line.
std::string LineStamp(const AvSystemTime &t);

class LogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void SetNow(const AvSystemTime &t);
    static void SetTick(uint32_t tick);

    // A log as the module sets it up: settings read, then the module name.
    std::unique_ptr<CDiagLog> NewLog() const;
    void WriteSettings(const std::string &body) const;

    std::string LogFolder() const { return dir / "Log/"; }
    // Name of a log file of this test program with the two times.
    static std::string FileName(const AvSystemTime &start, const AvSystemTime &last);
    std::string FilePath(const AvSystemTime &start, const AvSystemTime &last) const {
        return LogFolder() + FileName(start, last);
    }
    // Names in the log folder, sorted; empty when it does not exist.
    std::vector<std::string> LogFolderNames() const;
    // The lines of a file, each without its CR LF; a last piece without a
    // line end is kept as it is, so a broken line shows.
    static std::vector<std::string> Lines(const std::string &path);

    TempDir dir;
};
