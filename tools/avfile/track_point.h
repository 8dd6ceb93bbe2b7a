// A GPS position of a recording as the track writers take it: the time of
// its side-data record and the record's GpsBlock; and the receiver's RMC
// sentence as a text chunk carries it, read without the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "avfile/avfile.h"

struct TrackPoint {
    int64_t timeUs;  // microseconds since 1970 on the clock the output shows
    GpsBlock gps;
};

// Copies the GpsBlock out of a side-data record (a frame of type
// FRAME_TYPE_SIDEDATA). False when the record carries none or is too short.
bool GpsFromSideData(const unsigned char *record, int32_t length, GpsBlock *gps);

// True when the position can be drawn: finite coordinates within
// +-90 degrees of latitude and +-180 degrees of longitude. A receiver that
// sent a malformed field yields positions outside these bounds.
bool IsDrawable(const GpsBlock &gps);

inline double SpeedKmh(const GpsBlock &gps) { return gps.speed / 100.0; }
inline double SpeedMetresPerSecond(const GpsBlock &gps) { return gps.speed / 360.0; }
// Course over ground is kept only when it is a bearing (0 to 359 degrees).
inline bool HasCourse(const GpsBlock &gps) { return gps.course < 360; }

// Microseconds since 1970 of a calendar date and time (no time zone).
int64_t CivilToUs(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                  int64_t micros = 0);

// What a text chunk's RMC sentence ("$GPRMC", "$GNRMC" or "$BDRMC") says.
struct RmcFix {
    bool utcKnown = false;  // the sentence's UTC time and date were readable
    int64_t utcUs = 0;      // the receiver's UTC date and time of the fix
    bool valid = false;     // status "A": `gps` holds the position
    GpsBlock gps{};         // as the library builds it from the same sentence
};

// Reads the sentence at the start of a text chunk's `bytes` (up to its NUL,
// never beyond `bytes`). False when it is no RMC sentence or has fewer than
// eleven fields.
bool ParseRmc(const char *text, size_t bytes, RmcFix &fix);
