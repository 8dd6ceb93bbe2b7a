// Exporting recordings: the frames of one or more record files, read
// through the library in time order, written in the format the output's
// extension names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "clock.h"
#include "exit_codes.h"
#include "library.h"

enum class ExportFormat { H264, Wav, Track, Container, Unsupported };

// The format an output file's extension asks for.
ExportFormat FormatOf(const std::string &output);
// The extensions `export` writes, for messages.
const char *ExportExtensions();

struct ExportRequest {
    std::vector<std::string> files;  // record files of one channel, any order
    std::string output;
    std::optional<int> audioChannel;  // 0-based; unset: each file's own
    std::optional<PasswordEntry> password;
    CClock clock;
    std::string trackName;  // the name a track file gives its route
    bool progress = true;
};

struct ExportResult {
    uint64_t videoFrames = 0;
    uint64_t audioBytes = 0;
    uint64_t points = 0;
    uint64_t segments = 0;
    bool audio = false;  // the output carries sound
};

// Writes the output, or nothing at all: every file is opened and checked
// before the output is created, and the output is moved into place only
// when complete.
CliError RunExport(const AvFileLibrary &library, const ExportRequest &request, ExportResult &result);
