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
// True for the formats written as they go, which standard output takes.
bool Streams(const std::string &extension);
// The extensions `export` writes, for messages.
const char *ExportExtensions();

struct ExportRequest {
    std::vector<std::string> files;  // record files of one channel, any order
    std::string output;               // "-": standard output
    std::string format;               // an extension (".mkv") that picks the format; empty: the output's
    std::optional<int> audioChannel;  // 0-based; unset: each file's own
    std::optional<PasswordEntry> password;
    CClock clock;
    std::string trackName;  // the name a track file gives its route
    bool progress = true;
    std::string progressCount;  // "3/12": this output's place among several
    // Several files are joined end to end in time order, the gaps between
    // them cut; with keepGaps (.mp4, .mkv) the output keeps real time, the
    // gap a jump of its timestamps.
    bool keepGaps = false;
    // A file given twice, or two that overlap in time, is an error.
    bool refuseOverlaps = false;
};

// Where one file follows another in an export.
struct ExportJoin {
    std::string before, after;  // file names
    int64_t gapUs = 0;          // recorder time between them
    int64_t atUs = 0;           // where `after` begins in the output
};

struct ExportResult {
    uint64_t videoFrames = 0;
    uint64_t audioBytes = 0;
    uint64_t points = 0;
    uint64_t segments = 0;
    bool audio = false;  // the output carries sound
    bool kept = false;   // the output existed and -n kept it: nothing was written
    std::string noAudio;  // why an output that could carry sound has none
    std::vector<ExportJoin> joins;
};

// The format of a request: its format, else its output's extension.
ExportFormat FormatOf(const ExportRequest &request);

// Writes the output, or nothing at all: every file is opened and checked
// before the output is created, and the output is moved into place only
// when complete.
CliError RunExport(const AvFileLibrary &library, const ExportRequest &request, ExportResult &result);
