// Drives the whole exported interface over one record file or one recording
// tree the way a playback client does, and checks what no input may break:
// only the result codes 0 and 1 (2 answers a password check, which is never
// asked for here), frame records that point into memory the handle owns, side-data records of a valid length, and read and step loops
// that end. Shared by the hardening tests and the fuzzers, so it reports
// through a text instead of a test framework.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avfile/avfile.h"

struct PlaybackReport {
    std::string fault;         // empty when every guarantee held
    int32_t openResult = 1;
    uint64_t frames = 0;       // frames delivered over all passes
    uint64_t sideData = 0;     // side-data records fetched on request
    uint64_t checksum = 0;     // over every delivered byte
    // The pass from the first key frame: type, time and length per frame.
    std::vector<int64_t> sequence;
};

// Opens `path` (channel 0, no password check) and, when it opens: getters,
// every frame from where the open left the reader, every frame from the
// first key frame with a plain request and again with an audio-channel request,
// seeks to several seconds, steps both ways until they end, every side-data
// record on request, close. `byteBound` bounds every loop: a loop that runs
// longer than the file could hold chunks is reported as a hang.
PlaybackReport ExercisePlayback(const std::string &path, uint64_t byteBound);

// One delivered frame as a comparable record.
struct FrameRecord {
    int64_t timeUs;
    int32_t type;
    int32_t length;
    uint64_t hash;
    bool operator==(const FrameRecord &) const = default;
};

// Reads the file from its first key frame to the end with a plain request;
// empty when it does not open.
std::vector<FrameRecord> FrameSequence(AvFileHandle handle, uint64_t byteBound);

// Checks one frame record delivered with result 0; empty when sound.
std::string CheckFrame(const AvFrameInfo &frame);

struct TreeReport {
    std::string fault;
    int32_t dayResult = 1;
    int32_t checkResult = 1;
    std::vector<std::string> days;    // "y-m-d path" per day callback
    std::vector<std::string> groups;  // paths, channels, start, length, alarm per group
    std::vector<std::string> groupFiles;  // paths and channels per group
};

// The day search on `root` and the file search on `folder`, reporting into
// `tree`; each returns the export's result.
int32_t SearchDaysInto(const std::string &root, TreeReport &tree);
int32_t SearchFilesInto(const std::string &folder, TreeReport &tree);

// Day search on `root`, file search on the root and on every reported day
// folder, event search, and the folder check with an empty password list.
TreeReport ExerciseTree(const std::string &root);
