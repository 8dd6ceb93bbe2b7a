// The command line of the avfile tool: a command, its paths and the options
// shared by the commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "exit_codes.h"

struct Options {
    std::string command;
    std::vector<std::string> paths;   // positional arguments after the command
    std::string output;               // -o
    std::optional<int> channel;       // --channel, 0-based (given 1-based)
    std::optional<PasswordEntry> password;  // --password
    int64_t utcOffsetUs = 0;          // --utc-offset
    bool utcOffsetGiven = false;
    bool json = false;                // --json
    bool help = false;
    bool version = false;             // --version
    std::string library;              // --library
    std::string format = ".mp4";      // --format (export-day)
    std::string outputDir;            // --output-dir (repair)
    std::string reference;            // --reference (repair)
};

// Parses argv. A usage error comes back as kExitUsage with the reason.
CliError ParseOptions(int argc, char **argv, Options &options);

// "+HH:MM" or "-HH:MM" (also "+H", "+HHMM") as microseconds; false when
// malformed or beyond +-14:00.
bool ParseUtcOffset(const std::string &text, int64_t &offsetUs);
// 16 hexadecimal digits, or exactly 8 characters taken as they are.
bool ParsePassword(const std::string &text, PasswordEntry &entry);
