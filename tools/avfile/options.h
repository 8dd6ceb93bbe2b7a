// The command line of the avfile tool: a command, its paths and the options
// shared by the commands.
//
// Adding an option: give Options a field for it, then add one line to the
// option table in options.cpp (kOptions): its long name, its short name or
// null, whether it takes a value, the commands that take it (a list of
// command names, or "*" for every command) and the function that stores
// the value. --opt=value, "--opt value", the check that the command takes
// the option and the "needs a value" error then come with it. A new
// command adds its name to the lines of the options it takes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "avfile/avfile.h"
#include "exit_codes.h"

// What happens to an output that exists already.
enum class Overwrite {
    Refuse,   // the default: an error (exit code kExitOutputExists)
    Keep,     // -n, --no-clobber: the file stays, the output is passed over
    Replace,  // -y, --overwrite
};

struct Options {
    std::string command;
    std::vector<std::string> paths;   // positional arguments after the command
    std::vector<std::string> given;   // the options given, by long name
    std::string output;               // -o; "-" is standard output
    std::optional<int> channel;       // --channel, 0-based (given 1-based)
    std::optional<PasswordEntry> password;  // --password, --password-file, AVFILE_PASSWORD
    int64_t utcOffsetUs = 0;          // --utc-offset
    bool utcOffsetGiven = false;
    bool json = false;                // --json
    bool help = false;
    bool version = false;             // --version
    std::string library;              // --library
    std::string format;               // --format, with its dot; empty: by the output's name
    std::string outputDir;            // --output-dir (repair)
    std::string reference;            // --reference (repair)
    int verbosity = 0;                // -q: -1, -v: 1
    Overwrite overwrite = Overwrite::Refuse;  // -n, -y
    bool progress = true;             // --no-progress
    bool keepGaps = false;            // --keep-gaps (export)
    std::optional<std::pair<int, int>> hours;         // --hours FROM-TO (timeline)
    std::optional<std::pair<double, double>> speedRange;  // --speed-range LOW-HIGH km/h (track)

    bool Given(const char *longName) const;
    // The recorder clock's relation to UTC besides --utc-offset +HH:MM.
    bool utcOffsetFromGps = false;    // --utc-offset gps
    std::string timeZone;             // --tz ZONE
    // clip, export-day --join
    std::string from, to;             // --from, --to: the window (clip, report)
    bool mosaic = false;              // --mosaic: the channels side by side
    bool gpx = false;                 // --gpx: a GPX of the window beside the clip
    bool join = false;                // --join: export-day writes one file per channel
};

// Parses argv. A usage error comes back as kExitUsage with the reason.
// A password from the environment (AVFILE_PASSWORD) is read here too, when
// the command line gives none.
CliError ParseOptions(int argc, char **argv, Options &options);
// An error for the first option given that options.command does not take.
CliError CheckOptionsOfCommand(const Options &options);

// "+HH:MM" or "-HH:MM" (also "+H", "+HHMM") as microseconds; false when
// malformed or beyond +-14:00.
bool ParseUtcOffset(const std::string &text, int64_t &offsetUs);
// 16 hexadecimal digits, or exactly 8 characters taken as they are.
bool ParsePassword(const std::string &text, PasswordEntry &entry);
