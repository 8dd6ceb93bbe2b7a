// CSV: a header line, then one line per point with its UTC time, position,
// speed in km/h, course in degrees and the recording it came from.
#pragma once

#include "track_writer.h"

class CCsvWriter : public CTrackWriter {
protected:
    bool WriteHeader() override;
    bool WriteSegmentStart() override { return true; }
    bool WritePoint(const TrackPoint &point, const char *time) override;
    bool WriteSegmentEnd() override { return true; }
    bool WriteFooter() override { return true; }
};
