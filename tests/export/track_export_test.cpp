#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "export/external_tool.h"
#include "output_file.h"
#include "text_output.h"
#include "track_writer.h"

namespace {

constexpr int64_t kBaseUs = int64_t{1420800569} * 1000000;  // 2015-01-09 10:49:29 UTC

// One point of the fixture track and how each format must show it. Points
// with an empty `time` cannot be drawn and must be left out.
struct Point {
    int64_t timeUs;
    double latitude, longitude;
    uint16_t speed, course;  // 0.01 km/h, degrees
    const char *lat, *lon, *time, *kmh, *metresPerSecond, *courseText, *babelTime;
};

struct Segment {
    std::string name;
    std::vector<Point> points;
};

const double kNan = std::numeric_limits<double>::quiet_NaN();

// Two recordings with a fix each way round the globe, an empty recording in
// between, names that need quoting, and two positions a receiver fault
// made (latitude beyond the pole, no longitude).
const std::vector<Segment> &FixtureTrack() {
    static const std::vector<Segment> track = {
        {"1_20150109-104929_1030h.avi",
         {{kBaseUs, 31.0 + 50.78 / 60, 121.0 + 30.5 / 60, 1851, 90, "31.8463333", "121.5083333",
           "2015-01-09T10:49:29Z", "18.51", "5.142", "90", "2015/01/09 10:49:29"},
          {kBaseUs + 1250000, 31.8464, 121.5085, 0, 0, "31.8464000", "121.5085000", "2015-01-09T10:49:30.250Z",
           "0.00", "0.000", "0", "2015/01/09 10:49:30.250"},
          {kBaseUs + 1500000, 95.0, 121.5085, 0, 0},
          {kBaseUs + 2000999, 31.8465, 121.5087, 65535, 400, "31.8465000", "121.5087000", "2015-01-09T10:49:31Z",
           "655.35", "182.042", "", "2015/01/09 10:49:31"},
          {kBaseUs + 2500000, 31.8465, kNan, 0, 0}}},
        {"empty", {}},
        {"2_20150109-105229_1030h & <\xe9>.avi",
         {{kBaseUs + 180000000, -(31.0 + 50.78 / 60), -(121.0 + 30.5 / 60), 100, 359, "-31.8463333",
           "-121.5083333", "2015-01-09T10:52:29Z", "1.00", "0.278", "359", "2015/01/09 10:52:29"}}},
    };
    return track;
}

const char kTrackName[] = "day \"2015-01-09\" \xc3\xa9";
const char kSecondNameShown[] = "2_20150109-105229_1030h & <\xc3\xa9>.avi";

// Writes the segments through the writer the path's extension picks.
void WriteTrack(const std::string &path, const std::vector<Segment> &segments, CTrackWriter **used = nullptr,
                bool utc = true) {
    std::unique_ptr<CTrackWriter> writer = CreateTrackWriter(path);
    ASSERT_TRUE(writer) << path;
    COutputFile out;
    ASSERT_TRUE(out.Open(path)) << out.Error();
    ASSERT_TRUE(writer->Begin(out, kTrackName, utc));
    for (const Segment &segment : segments) {
        ASSERT_TRUE(writer->BeginSegment(segment.name));
        for (const Point &p : segment.points) {
            TrackPoint point{p.timeUs, {}};
            point.gps.valid = point.gps.valid2 = 1;
            point.gps.latitude = p.latitude;
            point.gps.longitude = p.longitude;
            point.gps.speed = p.speed;
            point.gps.course = p.course;
            ASSERT_TRUE(writer->AddPoint(point));
        }
    }
    ASSERT_TRUE(writer->Finish());
    ASSERT_TRUE(out.Commit()) << out.Error();
    if (used) *used = writer.release();
}

// The drawable points as "segment lat lon time speed course" lines, speed in
// km/h or m/s. The empty recording gets no segment, so the second recording
// is segment 1.
std::string ExpectedLines(bool metresPerSecond) {
    std::ostringstream lines;
    int shown = 0;
    const auto &track = FixtureTrack();
    for (size_t s = 0; s < track.size(); ++s) {
        bool any = false;
        for (const Point &p : track[s].points) {
            if (!p.time) continue;
            any = true;
            lines << shown << ' ' << p.lat << ' ' << p.lon << ' ' << p.time
                  << ' ' << (metresPerSecond ? p.metresPerSecond : p.kmh) << ' '
                  << (*p.courseText ? p.courseText : "-") << '\n';
        }
        if (any) ++shown;
    }
    return lines.str();
}

// Python checkers: parse the file with the standard library, check the
// structure of the format and print the points in the lines above.
const char kGpxCheck[] = R"(import sys, xml.etree.ElementTree as ET
ns = {'g': 'http://www.topografix.com/GPX/1/1',
      't': 'http://www.garmin.com/xmlschemas/TrackPointExtension/v2'}
root = ET.parse(sys.argv[1]).getroot()
assert root.get('version') == '1.1'
trk = root.find('g:trk', ns)
out = ['name ' + trk.find('g:name', ns).text]
for i, seg in enumerate(trk.findall('g:trkseg', ns)):
    for p in seg.findall('g:trkpt', ns):
        e = p.find('g:extensions/t:TrackPointExtension', ns)
        c = e.find('t:course', ns)
        out.append('%d %s %s %s %s %s' % (i, p.get('lat'), p.get('lon'), p.find('g:time', ns).text,
                                          e.find('t:speed', ns).text, '-' if c is None else c.text))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

const char kKmlCheck[] = R"(import sys, xml.etree.ElementTree as ET
ns = {'k': 'http://www.opengis.net/kml/2.2', 'gx': 'http://www.google.com/kml/ext/2.2'}
doc = ET.parse(sys.argv[1]).getroot().find('k:Document', ns)
out = ['name ' + doc.find('k:name', ns).text]
for i, pm in enumerate(doc.findall('k:Placemark', ns)):
    out.append('segment %d %s' % (i, pm.find('k:name', ns).text))
    track = pm.find('gx:Track', ns)
    whens = [w.text for w in track.findall('k:when', ns)]
    coords = [c.text.split() for c in track.findall('gx:coord', ns)]
    arrays = {a.get('name'): [v.text or '-' for v in a.findall('gx:value', ns)]
              for a in track.findall('k:ExtendedData/k:SchemaData/gx:SimpleArrayData', ns)}
    assert len(whens) == len(coords) == len(arrays['speed_kmh']) == len(arrays['course_deg'])
    for j, (lon, lat, alt) in enumerate(coords):
        out.append('%d %s %s %s %s %s' % (i, lat, lon, whens[j], arrays['speed_kmh'][j], arrays['course_deg'][j]))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

const char kGeoJsonCheck[] = R"(import sys, json
doc = json.load(open(sys.argv[1], encoding='utf-8'))
assert doc['type'] == 'FeatureCollection'
out = ['name ' + doc['name']]
for f in doc['features']:
    assert f['type'] == 'Feature'
    p, g = f['properties'], f['geometry']
    coords = [g['coordinates']] if g['type'] == 'Point' else g['coordinates']
    assert g['type'] == ('Point' if len(coords) == 1 else 'LineString')
    assert len(coords) == len(p['coordTimes']) == len(p['speed_kmh']) == len(p['course_deg'])
    out.append('segment %d %s' % (p['segment'], p['name']))
    for j, (lon, lat) in enumerate(coords):
        c = p['course_deg'][j]
        out.append('%d %.7f %.7f %s %.2f %s' % (p['segment'], lat, lon, p['coordTimes'][j], p['speed_kmh'][j],
                                               '-' if c is None else c))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

// Keeps the point lines of a checker's output, or the "name"/"segment" lines.
std::string Lines(const std::string &output, bool points) {
    std::istringstream in(output);
    std::string line, kept;
    while (std::getline(in, line)) {
        const bool named = line.rfind("name ", 0) == 0 || line.rfind("segment ", 0) == 0;
        if (named != points) kept += line + '\n';
    }
    return kept;
}

class TrackExportTest : public ::testing::Test {
protected:
    std::string Check(const char *script, const std::string &file) {
        if (!ToolAvailable("python3 --version", dir)) return "";
        const std::string checker = dir.WriteFile("check.py", script);
        std::string output;
        EXPECT_EQ(RunTool("python3 " + Quoted(checker) + " " + Quoted(file), dir, &output), 0)
            << TempDir::ReadFile(dir / "tool-errors.txt");
        return output;
    }

    // The points gpsbabel reads from the file, as "lat lon date time" with
    // the coordinates as numbers.
    struct BabelPoint {
        double lat, lon;
        std::string time;
    };
    std::vector<BabelPoint> ReadWithGpsbabel(const std::string &format, const std::string &file) {
        std::string csv;
        EXPECT_EQ(RunTool("gpsbabel -t -i " + format + " -f " + Quoted(file) + " -o unicsv,utc=0 -F -", dir, &csv),
                  0)
            << TempDir::ReadFile(dir / "tool-errors.txt");
        csv.erase(std::remove(csv.begin(), csv.end(), '\r'), csv.end());
        std::istringstream in(csv);
        std::string line;
        std::getline(in, line);
        std::vector<std::string> header;
        std::istringstream h(line);
        for (std::string column; std::getline(h, column, ',');) header.push_back(column);
        std::vector<BabelPoint> points;
        while (std::getline(in, line)) {
            std::istringstream row(line);
            std::string lat, lon, date, time;
            for (size_t i = 0; i < header.size(); ++i) {
                std::string value;
                std::getline(row, value, ',');
                if (header[i] == "Latitude") lat = value;
                if (header[i] == "Longitude") lon = value;
                if (header[i] == "Date") date = value;
                if (header[i] == "Time") time = value;
            }
            points.push_back({std::stod(lat), std::stod(lon), date + " " + time});
        }
        return points;
    }

    void ExpectGpsbabelPoints(const std::string &format, const std::string &file) {
        const std::vector<BabelPoint> read = ReadWithGpsbabel(format, file);
        std::vector<const Point *> expected;
        for (const Segment &s : FixtureTrack()) {
            for (const Point &p : s.points) {
                if (p.time) expected.push_back(&p);
            }
        }
        ASSERT_EQ(read.size(), expected.size());
        for (size_t i = 0; i < read.size(); ++i) {
            EXPECT_NEAR(read[i].lat, expected[i]->latitude, 1e-6) << i;
            EXPECT_NEAR(read[i].lon, expected[i]->longitude, 1e-6) << i;
            EXPECT_EQ(read[i].time, expected[i]->babelTime) << i;
        }
    }

    bool HaveGpsbabel() { return ToolAvailable("gpsbabel -V", dir); }

    TempDir dir;
};

TEST_F(TrackExportTest, GpxTrackSegmentsAndMotion) {
    const std::string file = dir / "track.gpx";
    CTrackWriter *raw = nullptr;
    WriteTrack(file, FixtureTrack(), &raw);
    std::unique_ptr<CTrackWriter> writer(raw);
    EXPECT_EQ(writer->PointsWritten(), 4u);
    EXPECT_EQ(writer->PointsSkipped(), 2u);
    EXPECT_EQ(writer->SegmentsWritten(), 2u);

    const std::string checked = Check(kGpxCheck, file);
    if (!checked.empty()) {
        EXPECT_EQ(Lines(checked, false), std::string("name ") + kTrackName + "\n");
        EXPECT_EQ(Lines(checked, true), ExpectedLines(true));
    }
    if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel not installed";
    ExpectGpsbabelPoints("gpx", file);
    // gpsbabel keeps the recordings apart: two segments, the gap between them.
    std::string rewritten;
    ASSERT_EQ(RunTool("gpsbabel -t -i gpx -f " + Quoted(file) + " -o gpx -F -", dir, &rewritten), 0);
    size_t segments = 0;
    for (size_t at = 0; (at = rewritten.find("<trkseg>", at)) != std::string::npos; ++at) ++segments;
    EXPECT_EQ(segments, 2u);
}

TEST_F(TrackExportTest, KmlTracksPerRecording) {
    const std::string file = dir / "track.kml";
    WriteTrack(file, FixtureTrack());
    const std::string checked = Check(kKmlCheck, file);
    if (!checked.empty()) {
        EXPECT_EQ(Lines(checked, false), std::string("name ") + kTrackName + "\nsegment 0 " +
                                             FixtureTrack()[0].name + "\nsegment 1 " + kSecondNameShown + "\n");
        EXPECT_EQ(Lines(checked, true), ExpectedLines(false));
    }
    if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel not installed";
    ExpectGpsbabelPoints("kml", file);
}

TEST_F(TrackExportTest, GeoJsonFeaturesPerRecording) {
    const std::string file = dir / "track.geojson";
    WriteTrack(file, FixtureTrack());
    const std::string checked = Check(kGeoJsonCheck, file);
    if (checked.empty()) GTEST_SKIP() << "python3 not installed";
    EXPECT_EQ(Lines(checked, false), std::string("name ") + kTrackName + "\nsegment 0 " +
                                         FixtureTrack()[0].name + "\nsegment 1 " + kSecondNameShown + "\n");
    EXPECT_EQ(Lines(checked, true), ExpectedLines(false));
}

TEST_F(TrackExportTest, CsvLines) {
    const std::string file = dir / "track.csv";
    WriteTrack(file, FixtureTrack());
    EXPECT_EQ(TempDir::ReadFile(file),
              "time_utc,latitude,longitude,speed_kmh,course_deg,segment,recording\n"
              "2015-01-09T10:49:29Z,31.8463333,121.5083333,18.51,90,0,1_20150109-104929_1030h.avi\n"
              "2015-01-09T10:49:30.250Z,31.8464000,121.5085000,0.00,0,0,1_20150109-104929_1030h.avi\n"
              "2015-01-09T10:49:31Z,31.8465000,121.5087000,655.35,,0,1_20150109-104929_1030h.avi\n"
              "2015-01-09T10:52:29Z,-31.8463333,-121.5083333,1.00,359,1,2_20150109-105229_1030h & <\xc3\xa9>.avi\n");
}

// Times of the recorder's clock whose zone is not known carry no zone
// designator, and GPX, whose times are UTC, carries none: each file still
// reads back whole in its tools.
TEST_F(TrackExportTest, TimesOfUnknownZoneAreNotMarkedUtc) {
    const struct {
        const char *name;
        const char *present;  // the first point's time as the format writes it
        const char *absent;
    } cases[] = {{"local.gpx", "<trkpt lat=\"31.8463333\" lon=\"121.5083333\"><extensions>", "<time>"},
                 {"local.kml", "<when>2015-01-09T10:49:29</when>", "Z</when>"},
                 {"local.geojson", "\"coordTimes\":[\"2015-01-09T10:49:29\",\"2015-01-09T10:49:30.250\"", "Z\""},
                 {"local.csv", "time_local,latitude,longitude,speed_kmh,course_deg,segment,recording\n"
                               "2015-01-09T10:49:29,31.8463333", "time_utc"}};
    for (const auto &c : cases) {
        const std::string file = dir / c.name;
        WriteTrack(file, FixtureTrack(), nullptr, false);
        const std::string text = TempDir::ReadFile(file);
        EXPECT_NE(text.find(c.present), std::string::npos) << c.name << "\n" << text;
        EXPECT_EQ(text.find(c.absent), std::string::npos) << c.name << "\n" << text;
    }
    if (!Check(kGeoJsonCheck, dir / "local.geojson").empty()) {
        EXPECT_NE(Check(kKmlCheck, dir / "local.kml").find(" 2015-01-09T10:49:29 "), std::string::npos);
    }
    if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel not installed";
    std::string points;
    ASSERT_EQ(RunTool("gpsbabel -t -i gpx -f " + Quoted(dir / "local.gpx") + " -o unicsv -F -", dir, &points), 0);
    EXPECT_EQ(std::count(points.begin(), points.end(), '\n'), 1 + 4) << points;
}

// A recording longer than the writer's line buffer becomes several lines that
// join where the one before ended, and no point is lost.
TEST_F(TrackExportTest, LongRecordingSplitsIntoJoinedLines) {
    Segment long_segment{"long.avi", {}};
    for (int i = 0; i < 2500; ++i) {
        long_segment.points.push_back({kBaseUs + i * int64_t{1000000}, 30.0 + i * 1e-4, 120.0, 100, 10});
    }
    for (const char *name : {"long.geojson", "long.kml"}) {
        const std::string file = dir / name;
        WriteTrack(file, {long_segment});
        if (!ToolAvailable("python3 --version", dir)) GTEST_SKIP() << "python3 not installed";
        const std::string script = std::string(name).find(".kml") != std::string::npos ? kKmlCheck : kGeoJsonCheck;
        const std::string checked = Check(script.c_str(), file);
        // Points per line, and the distinct points in order.
        std::istringstream in(Lines(checked, true));
        std::vector<std::string> times;
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string seg, lat, lon, time;
            fields >> seg >> lat >> lon >> time;
            if (times.empty() || times.back() != time) times.push_back(time);
        }
        EXPECT_EQ(times.size(), 2500u) << name;
        EXPECT_EQ(std::count(checked.begin(), checked.end(), '\n'), 1 + 3 + 2502) << name;
    }
}

TEST(CreateTrackWriter, ByExtension) {
    const struct {
        const char *name;
        bool known;
    } cases[] = {{"a.gpx", true}, {"A.GPX", true},  {"day.geojson", true}, {"x.kml", true}, {"x.Csv", true},
                 {"x.txt", false}, {"gpx", false}, {"x.gpx.tmp", false}, {"", false}};
    for (const auto &c : cases) EXPECT_EQ(CreateTrackWriter(c.name) != nullptr, c.known) << c.name;
}

TEST(FormatUtcTime, CalendarAndMilliseconds) {
    const struct {
        int64_t timeUs;
        const char *text;  // null: cannot be written
    } cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {kBaseUs, "2015-01-09T10:49:29Z"},
        {kBaseUs + 999, "2015-01-09T10:49:29Z"},
        {kBaseUs + 7000, "2015-01-09T10:49:29.007Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {int64_t{1456704000} * 1000000, "2016-02-29T00:00:00Z"},
        {int64_t{253402300799} * 1000000, "9999-12-31T23:59:59Z"},
        {int64_t{253402300800} * 1000000, nullptr},
        {int64_t{-62135596800} * 1000000, "0001-01-01T00:00:00Z"},
        {int64_t{-62135596801} * 1000000, nullptr},
        {std::numeric_limits<int64_t>::min(), nullptr},
        {std::numeric_limits<int64_t>::max(), nullptr},
    };
    for (const auto &c : cases) {
        char text[32];
        const bool ok = FormatUtcTime(c.timeUs, text, sizeof text);
        EXPECT_EQ(ok, c.text != nullptr) << c.timeUs;
        if (ok && c.text) {
            EXPECT_STREQ(text, c.text) << c.timeUs;
        }
    }
}

}  // namespace
