#include "csv_writer.h"

#include "text_output.h"

bool CCsvWriter::WriteHeader() {
    // The time column's name says its clock: time_local holds the recorder's
    // clock, of no known zone.
    return m_out->Put(m_utc ? "time_utc" : "time_local") &&
           m_out->Put(",latitude,longitude,speed_kmh,course_deg,segment,recording\n");
}

bool CCsvWriter::WritePoint(const TrackPoint &point, const char *time) {
    COutputFile &out = *m_out;
    bool ok = out.Put(time) && out.Put(',') && PutFixed(out, point.gps.latitude, 7) && out.Put(',') &&
              PutFixed(out, point.gps.longitude, 7) && out.Put(',') && PutFixed(out, SpeedKmh(point.gps), 2) &&
              out.Put(',');
    if (ok && HasCourse(point.gps)) ok = PutInt(out, point.gps.course);
    return ok && out.Put(',') && PutInt(out, static_cast<int64_t>(m_segmentIndex)) && out.Put(',') &&
           PutCsvField(out, m_segmentName) && out.Put('\n');
}
