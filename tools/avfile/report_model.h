// What an incident report holds: the record files it was made from, the
// videos made of them channel by channel, the GPS fixes of the route, and
// the window of time it covers. Times are on the recorder's clock, in
// microseconds since 1970, until the page shows them on the chosen clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "card_files.h"

struct ReportSource {
    std::string path;   // as given or as the day's search named it
    int channel = 0;    // 0-based
    int64_t startUs = 0;
    int64_t durationUs = 0;
    bool encrypted = false;
    FileVerdict verdict;  // sound, incomplete or unreadable
    uint64_t bytes = 0;
    std::string sha256;
};

// A stretch of time a channel's video has pictures for.
struct ReportSpan {
    int64_t startUs = 0, endUs = 0;
};

struct ChannelVideo {
    int channel = 0;           // 0-based
    std::string file;          // its name in the report folder
    int64_t originUs = 0;      // the time that is 0 in the video
    std::vector<ReportSpan> spans;
    uint64_t videoFrames = 0;
    bool audio = false;
};

struct ReportFix {
    int64_t timeUs = 0;
    GpsBlock gps{};
};

// The window asked for with --from and --to; unset: the whole recordings.
struct ReportWindow {
    bool given = false;
    int64_t fromUs = 0, toUs = 0;
};

// A file the report wrote, for the table of outputs and the check sums.
struct ReportOutput {
    std::string file;  // name in the report folder
    uint64_t bytes = 0;
    std::string sha256;
};
