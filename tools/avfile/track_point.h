// A GPS position of a recording as the track writers take it: the time of
// its side-data record and the record's GpsBlock.
#pragma once

#include <cstdint>

#include "avfile/avfile.h"

struct TrackPoint {
    int64_t timeUs;  // microseconds since 1970, as the frame carried it
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
