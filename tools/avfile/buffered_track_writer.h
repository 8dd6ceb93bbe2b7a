// Base of the formats that list a line's times apart from its coordinates
// (GeoJSON, KML): the points of a segment are gathered in a fixed buffer and
// written as one line when the segment ends. A segment longer than the
// buffer is written as several lines, each starting at the point where the
// one before ended, so memory stays bounded however long a recording is.
#pragma once

#include <cstddef>

#include "track_writer.h"

class CBufferedTrackWriter : public CTrackWriter {
public:
    static constexpr size_t kLinePoints = 1024;

protected:
    bool WriteHeader() final;
    bool WriteSegmentStart() final;
    bool WritePoint(const TrackPoint &point, const char *time) final;
    bool WriteSegmentEnd() final;

    virtual bool WriteDocumentStart() = 0;
    // Writes one line of `count` points (1 to kLinePoints); `first` is true
    // for the first line of the document.
    virtual bool WriteLine(const TrackPoint *points, size_t count, bool first) = 0;

private:
    TrackPoint m_points[kLinePoints];
    size_t m_count = 0;
    bool m_anyLine = false;
};
