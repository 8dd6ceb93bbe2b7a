#include "gpx_writer.h"

#include "text_output.h"

bool CGpxWriter::WriteHeader() {
    COutputFile &out = *m_out;
    return out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<gpx version=\"1.1\" creator=\"avfile\"\n"
                   "     xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
                   "     xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\"\n"
                   "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
                   "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                   "http://www.topografix.com/GPX/1/1/gpx.xsd "
                   "http://www.garmin.com/xmlschemas/TrackPointExtension/v2 "
                   "http://www.garmin.com/xmlschemas/TrackPointExtensionv2.xsd\">\n"
                   "  <trk>\n    <name>") &&
           PutXmlText(out, m_trackName) && out.Put("</name>\n");
}

bool CGpxWriter::WriteSegmentStart() { return m_out->Put("    <trkseg>\n"); }

bool CGpxWriter::WritePoint(const TrackPoint &point, const char *time) {
    COutputFile &out = *m_out;
    bool ok = out.Put("      <trkpt lat=\"") && PutFixed(out, point.gps.latitude, 7) &&
              out.Put("\" lon=\"") && PutFixed(out, point.gps.longitude, 7) && out.Put("\">") &&
              (!m_utc || (out.Put("<time>") && out.Put(time) && out.Put("</time>"))) &&
              out.Put("<extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>") &&
              PutFixed(out, SpeedMetresPerSecond(point.gps), 3) && out.Put("</gpxtpx:speed>");
    if (ok && HasCourse(point.gps)) {
        ok = out.Put("<gpxtpx:course>") && PutInt(out, point.gps.course) && out.Put("</gpxtpx:course>");
    }
    return ok && out.Put("</gpxtpx:TrackPointExtension></extensions></trkpt>\n");
}

bool CGpxWriter::WriteSegmentEnd() { return m_out->Put("    </trkseg>\n"); }

bool CGpxWriter::WriteFooter() { return m_out->Put("  </trk>\n</gpx>\n"); }
