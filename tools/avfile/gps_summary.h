// The GPS text of a record file read where it lies, without the library:
// each text chunk's RMC sentence with the time the frame listing gives the
// chunk (that of the video frame in front of it). The text is stored plain
// in encrypted recordings too, so it needs no password. From it: the offset
// of the recorder's clock against the receiver's UTC, the times of the
// points a GPS export writes, and the summary `info` shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "clock.h"
#include "track_point.h"

struct GpsText {
    int64_t frameUs = 0;  // recorder's clock
    RmcFix rmc;
};

// The text chunks of the record file at `path` in file order; false when
// the file cannot be read. A file without a movie list gives none.
bool ReadGpsText(const std::string &path, std::vector<GpsText> &texts);

// How far the recorder's clock runs ahead of the receiver's UTC: the
// median over the chunks of frame time minus the sentence's UTC, to the
// whole second, so that a clock drifting during the recording is taken at
// its middle. `fixes`: the chunks it was measured on (0: no UTC known).
void ClockOffsetOf(const std::vector<GpsText> &texts, int64_t &offsetUs, size_t &fixes);
// The same over every chunk of the files; unreadable files add nothing.
void MeasureClockOffset(const std::vector<std::string> &files, int64_t &offsetUs, size_t &fixes);

struct GpsSummary {
    uint64_t texts = 0;      // text chunks
    uint64_t fixes = 0;      // with a valid position
    double distanceM = 0;    // along the fixes, great-circle legs
    double topKmh = 0, meanKmh = 0;
    GpsText first, last;     // the first and last valid fix
    size_t offsetFixes = 0;  // sentences the clock offset was measured on
    int64_t offsetUs = 0;    // recorder clock ahead of UTC
};
GpsSummary SummariseGps(const std::vector<GpsText> &texts);

// A chunk's time on the clock shown: its fix's own UTC when the clock is
// UTC from GPS, otherwise its frame time.
int64_t PointTimeUs(const CClock &clock, const GpsText &text);

// The times of a recording's GPS points in an export: the n-th side-data
// record the library fetches through the index is the n-th text chunk of
// the file. Each point gets its chunk's time as `frames` lists it (the
// index gives the time of the video frame after the chunk instead), or,
// when the clock is UTC from GPS, its fix's own UTC time.
class CPointTimes {
public:
    CPointTimes(const std::string &path, const CClock &clock);
    // The time of the next record, whose library time is `libraryUs`.
    int64_t Next(int64_t libraryUs);

private:
    const CClock &m_clock;
    std::vector<GpsText> m_texts;
    size_t m_next = 0;
};
