// GeoJSON (RFC 7946): a FeatureCollection with one LineString feature per
// recording (a Point for a recording with a single fix). Each feature's
// properties carry the recording's name, the segment number and, point by
// point, the UTC times ("coordTimes"), speeds in km/h and courses in
// degrees (null where the receiver gave no bearing).
#pragma once

#include "buffered_track_writer.h"

class CGeoJsonWriter : public CBufferedTrackWriter {
protected:
    bool WriteDocumentStart() override;
    bool WriteLine(const TrackPoint *points, size_t count, bool first) override;
    bool WriteFooter() override;
};
