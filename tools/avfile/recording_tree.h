// The recording tree through the library's searches: the day folders of a
// card, and the recordings of a day with the files of their channels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "exit_codes.h"
#include "library.h"

struct DayFolder {
    int year = 0, month = 0, day = 0;
    std::string path;  // ends in a separator
};

struct RecordingFile {
    std::string path;
    int channel = 0;  // 0-based
};

struct Recording {
    std::vector<RecordingFile> files;  // ascending channel order
    AvSystemTime start{};
    int64_t startUs = 0;  // the start on the recorder's clock
    uint32_t durationMs = 0;
    bool alarm = false;
    bool encrypted = false;  // filled by ListRecordings when asked

    int64_t EndUs() const { return startUs + static_cast<int64_t>(durationMs) * 1000; }
};

// The path with a separator at its end, as the searches take folders.
std::string AsFolder(std::string path);
// Checks that `path` is an existing folder.
CliError RequireFolder(const std::string &path);

// The day folders of a card, in date order.
CliError ListDays(const AvFileLibrary &library, const std::string &root, std::vector<DayFolder> &days);
// The recordings of a day folder (its own files and those of its video\ and
// alarm\ folders), in time order. With `probeEncryption` each recording's
// first file is opened once more to tell whether it is encrypted.
CliError ListRecordings(const AvFileLibrary &library, const std::string &dayFolder,
                        std::vector<Recording> &recordings, bool probeEncryption = false);
