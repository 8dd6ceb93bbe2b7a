#include "buffered_track_writer.h"

bool CBufferedTrackWriter::WriteHeader() {
    m_count = 0;
    m_anyLine = false;
    return WriteDocumentStart();
}

bool CBufferedTrackWriter::WriteSegmentStart() {
    m_count = 0;
    return true;
}

bool CBufferedTrackWriter::WritePoint(const TrackPoint &point, const char *) {
    if (m_count == kLinePoints) {
        const TrackPoint last = m_points[m_count - 1];
        if (!WriteSegmentEnd()) return false;
        m_points[0] = last;
        m_count = 1;
    }
    m_points[m_count++] = point;
    return true;
}

bool CBufferedTrackWriter::WriteSegmentEnd() {
    if (m_count == 0) return true;
    const bool first = !m_anyLine;
    m_anyLine = true;
    const size_t count = m_count;
    m_count = 0;
    return WriteLine(m_points, count, first);
}
