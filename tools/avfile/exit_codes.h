// The avfile tool's exit codes. `avfile --help` lists them; scripts rely on
// them, so their values never change.
#pragma once

#include <string>

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,             // the work failed (an output could not be written, ...)
    kExitUsage = 2,              // wrong command line
    kExitMissingPath = 3,        // a path given does not exist
    kExitNotRecordFile = 4,      // not a record file, or a folder without recordings
    kExitPassword = 5,           // encrypted recording: password missing or wrong
    kExitUnreadable = 6,         // a file that cannot be read
    kExitUnsupportedOutput = 7,  // an output extension the tool cannot write
    kExitNoLibrary = 8,          // the record file library cannot be loaded
    kExitDamaged = 9,            // a record file is incomplete or unreadable (scan, check)
    kExitOutputExists = 10,      // an output exists already (and neither -y nor -n was given)
};

// A failure on its way to main: the exit code and the message, which names
// the path and the reason.
struct CliError {
    ExitCode code = kExitOk;
    std::string message;

    explicit operator bool() const { return code != kExitOk; }
};

inline CliError Fail(ExitCode code, std::string message) { return {code, std::move(message)}; }
