// The GPS track of one or more recordings written as a map file. Points
// arrive in time order; each recording file starts a segment of its own so
// that the gaps between recordings show as gaps in the drawn route.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "output_file.h"
#include "track_point.h"

class CTrackWriter {
public:
    virtual ~CTrackWriter() = default;

    // Starts the document; `trackName` names the whole track. `utc`: the
    // points' times are UTC; otherwise they are the recorder's clock, of no
    // known zone, and each format says so its own way (no designator; GPX,
    // whose times are UTC by definition, leaves them out). The writer writes
    // into `out` until Finish and never opens or commits it.
    bool Begin(COutputFile &out, std::string_view trackName, bool utc);
    // Ends the current segment; the points that follow form a new one,
    // named `segmentName` (normally the recording file's name). Segments
    // without points are left out.
    bool BeginSegment(std::string_view segmentName);
    // Writes one point. A point that cannot be drawn (see IsDrawable) or
    // whose time cannot be written is skipped and counted. False only when
    // the output failed.
    bool AddPoint(const TrackPoint &point);
    // Ends the last segment and the document.
    bool Finish();

    uint64_t PointsWritten() const { return m_pointsWritten; }
    uint64_t PointsSkipped() const { return m_pointsSkipped; }
    uint64_t SegmentsWritten() const { return m_segmentsWritten; }

protected:
    // The format's parts. Each returns false when the output failed.
    virtual bool WriteHeader() = 0;
    virtual bool WriteSegmentStart() = 0;
    // `time` is the point's time, already formatted (see FormatTime).
    virtual bool WritePoint(const TrackPoint &point, const char *time) = 0;
    virtual bool WriteSegmentEnd() = 0;
    virtual bool WriteFooter() = 0;

    // "2015-01-09T10:49:29Z" in UTC, "2015-01-09T10:49:29" otherwise, with
    // milliseconds when the time has them; false outside the years 1 to 9999.
    bool FormatTime(int64_t timeUs, char *out, size_t size) const;

    COutputFile *m_out = nullptr;
    bool m_utc = true;
    std::string m_trackName;
    std::string m_segmentName;
    uint64_t m_segmentIndex = 0;  // 0-based, of the segment being written

private:
    bool EndSegment();

    bool m_segmentOpen = false;
    uint64_t m_pointsWritten = 0;
    uint64_t m_pointsSkipped = 0;
    uint64_t m_segmentsWritten = 0;
};

// The writer for a file name's extension (".gpx", ".geojson", ".kml",
// ".csv", compared without regard to case); null for any other.
std::unique_ptr<CTrackWriter> CreateTrackWriter(std::string_view fileName);
