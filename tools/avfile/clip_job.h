// Clips: a window of time of one channel cut out of the recordings that
// overlap it, stream-copied (never re-encoded) across file boundaries with
// continuous times. The gaps between recordings inside the window are cut
// (or kept as a jump in the times) and listed; a recording that cannot be
// read is left out and named.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "clock.h"
#include "exit_codes.h"
#include "library.h"

// A record file of the channel, placed by the day's listing.
struct ClipFile {
    std::string path;
    int64_t startUs = 0;  // recorder's clock
    int64_t stopUs = 0;
};

// A part of the window without pictures in the clip.
struct ClipGap {
    int64_t fromUs = 0;  // recorder's clock
    int64_t toUs = 0;
    std::string leftOut;  // the file left out, empty where nothing was recorded
    std::string reason;   // why it was left out
};

struct ClipRequest {
    std::vector<ClipFile> files;  // any order; those outside the window are passed over
    int64_t fromUs = 0;           // recorder's clock; the clip starts on the key frame at or before
    int64_t toUs = 0;             // the clip ends on the last frame before
    int channel = 0;              // 0-based: the audio taken along
    std::string output;
    std::string gpxOutput;        // a GPX of the window beside the clip; empty: none
    std::optional<PasswordEntry> password;
    CClock clock;
    bool keepGaps = false;        // timed outputs keep a gap as a jump in the times
    bool chapters = false;        // a chapter per stretch of continuous recording
    std::string trackName;
    bool progress = true;
};

struct ClipResult {
    uint64_t videoFrames = 0;
    uint64_t audioBytes = 0;
    uint64_t points = 0;    // GPS fixes in the track output or the GPX
    uint64_t cues = 0;      // GPS cues in the subtitle stream
    bool audio = false;
    int64_t firstUs = 0;    // the first and last picture, recorder's clock
    int64_t lastUs = 0;
    int64_t durationUs = 0; // of the clip's time line
    int stretches = 0;          // of continuous recording (the chapters)
    std::vector<ClipGap> gaps;  // in time order, the window's edges included
    CliError leftOut;           // the first file left out: its code and message
};

// A gap shorter than this between two files is taken as continuous recording.
constexpr int64_t kClipGapUs = 1000000;

// The time of the last key frame at or before `atUs` in a record file; the
// first key frame when none is before it. False when the file has none or
// does not open.
bool KeyFrameAtOrBefore(const AvFileLibrary &library, const std::string &path,
                        const std::optional<PasswordEntry> &password, int64_t atUs, int64_t &keyUs);

// The first drawable GPS fix at or after `atUs` in a record file: where a
// clip or export starts. False when it has none or does not open.
bool FirstFix(const AvFileLibrary &library, const std::string &path, const std::optional<PasswordEntry> &password,
              int64_t atUs, GpsBlock &gps);

// Writes the clip in the format the output's extension names (those of
// `export`). Nothing is written when no picture of the window can be read.
CliError RunClip(const AvFileLibrary &library, const ClipRequest &request, ClipResult &result);
