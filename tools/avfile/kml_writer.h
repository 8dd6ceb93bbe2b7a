// KML 2.2: a Document with one Placemark per recording holding a gx:Track
// (UTC times and positions) with the speed in km/h and the course in
// degrees of every point as extended data.
#pragma once

#include "buffered_track_writer.h"

class CKmlWriter : public CBufferedTrackWriter {
protected:
    bool WriteDocumentStart() override;
    bool WriteLine(const TrackPoint *points, size_t count, bool first) override;
    bool WriteFooter() override;
};
