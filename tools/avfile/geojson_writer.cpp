#include "geojson_writer.h"

#include "text_output.h"

namespace {

bool PutPosition(COutputFile &out, const GpsBlock &gps) {
    return out.Put('[') && PutFixed(out, gps.longitude, 7) && out.Put(',') &&
           PutFixed(out, gps.latitude, 7) && out.Put(']');
}

}  // namespace

bool CGeoJsonWriter::WriteDocumentStart() {
    return m_out->Put("{\"type\":\"FeatureCollection\",\"name\":") && PutJsonString(*m_out, m_trackName) &&
           m_out->Put(",\"features\":[");
}

bool CGeoJsonWriter::WriteLine(const TrackPoint *points, size_t count, bool first) {
    COutputFile &out = *m_out;
    bool ok = out.Put(first ? "\n" : ",\n") && out.Put("{\"type\":\"Feature\",\"properties\":{\"name\":") &&
              PutJsonString(out, m_segmentName) && out.Put(",\"segment\":") &&
              PutInt(out, static_cast<int64_t>(m_segmentIndex)) && out.Put(",\"coordTimes\":[");
    char time[32];
    for (size_t i = 0; ok && i < count; ++i) {
        FormatTime(points[i].timeUs, time, sizeof time);  // checked when the point was added
        ok = out.Put(i ? ",\"" : "\"") && out.Put(time) && out.Put('"');
    }
    ok = ok && out.Put("],\"speed_kmh\":[");
    for (size_t i = 0; ok && i < count; ++i) {
        ok = (i == 0 || out.Put(',')) && PutFixed(out, SpeedKmh(points[i].gps), 2);
    }
    ok = ok && out.Put("],\"course_deg\":[");
    for (size_t i = 0; ok && i < count; ++i) {
        ok = (i == 0 || out.Put(',')) &&
             (HasCourse(points[i].gps) ? PutInt(out, points[i].gps.course) : out.Put("null"));
    }
    if (count == 1) {
        ok = ok && out.Put("]},\"geometry\":{\"type\":\"Point\",\"coordinates\":") && PutPosition(out, points[0].gps);
    } else {
        ok = ok && out.Put("]},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[");
        for (size_t i = 0; ok && i < count; ++i) {
            ok = (i == 0 || out.Put(',')) && PutPosition(out, points[i].gps);
        }
        ok = ok && out.Put(']');
    }
    return ok && out.Put("}}");
}

bool CGeoJsonWriter::WriteFooter() { return m_out->Put("\n]}\n"); }
