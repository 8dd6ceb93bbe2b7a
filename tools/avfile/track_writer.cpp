#include "track_writer.h"

#include <cstring>
#include <new>

#include "csv_writer.h"
#include "geojson_writer.h"
#include "gpx_writer.h"
#include "kml_writer.h"
#include "text_output.h"

bool CTrackWriter::Begin(COutputFile &out, std::string_view trackName, bool utc) {
    m_out = &out;
    m_utc = utc;
    m_trackName.assign(trackName);
    m_segmentName.clear();
    m_segmentIndex = 0;
    m_segmentOpen = false;
    m_pointsWritten = m_pointsSkipped = m_segmentsWritten = 0;
    return WriteHeader();
}

bool CTrackWriter::EndSegment() {
    if (!m_segmentOpen) return true;
    m_segmentOpen = false;
    const bool ok = WriteSegmentEnd();
    ++m_segmentIndex;
    return ok;
}

bool CTrackWriter::BeginSegment(std::string_view segmentName) {
    if (!EndSegment()) return false;
    m_segmentName.assign(segmentName);
    return true;
}

bool CTrackWriter::AddPoint(const TrackPoint &point) {
    char time[32];
    if (!IsDrawable(point.gps) || !FormatTime(point.timeUs, time, sizeof time)) {
        ++m_pointsSkipped;
        return m_out->Ok();
    }
    if (!m_segmentOpen) {
        if (!WriteSegmentStart()) return false;
        m_segmentOpen = true;
        ++m_segmentsWritten;
    }
    if (!WritePoint(point, time)) return false;
    ++m_pointsWritten;
    return true;
}

bool CTrackWriter::FormatTime(int64_t timeUs, char *out, size_t size) const {
    if (!FormatUtcTime(timeUs, out, size)) return false;
    if (!m_utc) out[std::strlen(out) - 1] = '\0';  // the 'Z': not a UTC time
    return true;
}

bool CTrackWriter::Finish() {
    return EndSegment() && WriteFooter() && m_out->Ok();
}

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    name.remove_prefix(name.size() - extension.size());
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != extension[i]) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<CTrackWriter> CreateTrackWriter(std::string_view fileName) {
    if (EndsWithNoCase(fileName, ".gpx")) return std::unique_ptr<CTrackWriter>(new (std::nothrow) CGpxWriter);
    if (EndsWithNoCase(fileName, ".geojson")) return std::unique_ptr<CTrackWriter>(new (std::nothrow) CGeoJsonWriter);
    if (EndsWithNoCase(fileName, ".kml")) return std::unique_ptr<CTrackWriter>(new (std::nothrow) CKmlWriter);
    if (EndsWithNoCase(fileName, ".csv")) return std::unique_ptr<CTrackWriter>(new (std::nothrow) CCsvWriter);
    return nullptr;
}
