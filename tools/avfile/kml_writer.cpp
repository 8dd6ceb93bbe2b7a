#include "kml_writer.h"

#include "text_output.h"

bool CKmlWriter::WriteDocumentStart() {
    COutputFile &out = *m_out;
    return out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
                   "<Document>\n  <name>") &&
           PutXmlText(out, m_trackName) &&
           out.Put("</name>\n"
                   "  <Schema id=\"motion\">\n"
                   "    <gx:SimpleArrayField name=\"speed_kmh\" type=\"float\">"
                   "<displayName>Speed (km/h)</displayName></gx:SimpleArrayField>\n"
                   "    <gx:SimpleArrayField name=\"course_deg\" type=\"int\">"
                   "<displayName>Course (degrees)</displayName></gx:SimpleArrayField>\n"
                   "  </Schema>\n");
}

bool CKmlWriter::WriteLine(const TrackPoint *points, size_t count, bool) {
    COutputFile &out = *m_out;
    bool ok = out.Put("  <Placemark>\n    <name>") && PutXmlText(out, m_segmentName) &&
              out.Put("</name>\n    <gx:Track>\n");
    char time[32];
    for (size_t i = 0; ok && i < count; ++i) {
        FormatTime(points[i].timeUs, time, sizeof time);  // checked when the point was added
        ok = out.Put("      <when>") && out.Put(time) && out.Put("</when>\n");
    }
    for (size_t i = 0; ok && i < count; ++i) {
        ok = out.Put("      <gx:coord>") && PutFixed(out, points[i].gps.longitude, 7) && out.Put(' ') &&
             PutFixed(out, points[i].gps.latitude, 7) && out.Put(" 0</gx:coord>\n");
    }
    ok = ok && out.Put("      <ExtendedData><SchemaData schemaUrl=\"#motion\">\n"
                       "        <gx:SimpleArrayData name=\"speed_kmh\">");
    for (size_t i = 0; ok && i < count; ++i) {
        ok = out.Put("<gx:value>") && PutFixed(out, SpeedKmh(points[i].gps), 2) && out.Put("</gx:value>");
    }
    ok = ok && out.Put("</gx:SimpleArrayData>\n        <gx:SimpleArrayData name=\"course_deg\">");
    for (size_t i = 0; ok && i < count; ++i) {
        ok = out.Put("<gx:value>") && (!HasCourse(points[i].gps) || PutInt(out, points[i].gps.course)) &&
             out.Put("</gx:value>");
    }
    return ok && out.Put("</gx:SimpleArrayData>\n      </SchemaData></ExtendedData>\n    </gx:Track>\n  </Placemark>\n");
}

bool CKmlWriter::WriteFooter() { return m_out->Put("</Document>\n</kml>\n"); }
