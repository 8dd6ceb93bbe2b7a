// GPX 1.1: one track, one <trkseg> per recording, each point with its UTC
// time (none when UTC is not known: GPX times are UTC) and, in the TrackPointExtension v2 that map tools read, its speed
// (metres per second) and course (degrees).
#pragma once

#include "track_writer.h"

class CGpxWriter : public CTrackWriter {
protected:
    bool WriteHeader() override;
    bool WriteSegmentStart() override;
    bool WritePoint(const TrackPoint &point, const char *time) override;
    bool WriteSegmentEnd() override;
    bool WriteFooter() override;
};
