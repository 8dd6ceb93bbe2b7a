// The timeline and track pictures: well-formed SVG with a bar per recording
// file and a segment per recording, and something a browser actually draws.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"

namespace {

class Pictures : public CliTest {};

// Counts the elements of an SVG file that carry `cssClass` among their
// classes, through an XML parser: a file that does not parse fails.
int CountByClass(const std::string &svg, const std::string &element, const std::string &cssClass, const TempDir &dir) {
    const RunResult r = RunCommand(
        "python3 -c \"import sys,xml.etree.ElementTree as E; t=E.parse(sys.argv[1]); "
        "print(sum(1 for e in t.iter('{http://www.w3.org/2000/svg}' + sys.argv[2]) "
        "if sys.argv[3] in e.get('class', '').split()))\" " +
            Quote(svg) + " " + element + " " + cssClass,
        dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0 ? std::stoi(r.out) : -1;
}

TEST_F(Pictures, TimelineHasABarPerRecordingFile) {
    if (!ToolInstalled("python3 -c pass", dir)) GTEST_SKIP() << "python3 not installed";
    const RunResult r = RunAvfile({"timeline", card().Day1(), "-o", dir / "day.svg", "--hours", "0-24"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Three recordings of four channels, the last an alarm recording.
    EXPECT_EQ(CountByClass(dir / "day.svg", "rect", "recording", dir), 12);
    EXPECT_EQ(CountByClass(dir / "day.svg", "rect", "alarm", dir), 4);
    EXPECT_EQ(CountByClass(dir / "day.svg", "rect", "row", dir), 4);
    EXPECT_EQ(CountByClass(dir / "day.svg", "line", "hour", dir), 25);
}

TEST_F(Pictures, TrackHasASegmentPerRecording) {
    if (!ToolInstalled("python3 -c pass", dir)) GTEST_SKIP() << "python3 not installed";
    struct Case {
        std::string source;
        int segments;
    } cases[] = {{card().Day1(), 3}, {card().PlainFile(), 1}};
    for (const Case &c : cases) {
        const RunResult r = RunAvfile({"track", c.source, "-o", dir / "track.svg", "-y"}, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(CountByClass(dir / "track.svg", "g", "track-segment", dir), c.segments) << c.source;
        EXPECT_EQ(CountByClass(dir / "track.svg", "circle", "start", dir), 1);
        EXPECT_EQ(CountByClass(dir / "track.svg", "circle", "end", dir), 1);
    }
}

// The x of every bar of the class in the SVG, in file order.
std::vector<double> BarsAt(const std::string &svg, const std::string &cssClass, const TempDir &dir) {
    const RunResult r = RunCommand(
        "python3 -c \"import sys,xml.etree.ElementTree as E; t=E.parse(sys.argv[1]); "
        "print(' '.join(e.get('x') for e in t.iter('{http://www.w3.org/2000/svg}rect') "
        "if sys.argv[2] in e.get('class', '').split()))\" " +
            Quote(svg) + " " + cssClass,
        dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<double> xs;
    std::istringstream in(r.out);
    for (double x; in >> x;) xs.push_back(x);
    return xs;
}

// The chart spans the hours that hold recordings: the sample day's three
// recordings, 95 s apart, are bars well apart, in time order; also where
// they run over midnight on the clock shown (UTC here), where the chart
// runs into the next day. --hours 0-24 draws the whole day.
TEST_F(Pictures, TimelineZoomsToTheHoursOfTheRecordings) {
    if (!ToolInstalled("python3 -c pass", dir)) GTEST_SKIP() << "python3 not installed";
    struct Case {
        std::vector<std::string> extra;
        int hourLines;
        const char *hours;
    } cases[] = {{{}, 2, "10:00 to 11:00"},
                 {{"--utc-offset", "-13:10"}, 3, "23:00 to 01:00"},
                 {{"--hours", "0-24"}, 25, "00:00 to 24:00"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hours);
        std::vector<std::string> args = {"timeline", card().Day1(), "-o", dir / "day.svg", "-y", "--channel", "1"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = RunAvfile(args, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.hours), std::string::npos) << r.out;
        EXPECT_EQ(CountByClass(dir / "day.svg", "line", "hour", dir), c.hourLines);
        const std::vector<double> xs = BarsAt(dir / "day.svg", "recording", dir);
        ASSERT_EQ(xs.size(), 3u);
        if (c.hourLines == 25) continue;  // the whole day: a minute is a pixel
        EXPECT_GT(xs[1] - xs[0], 10.0);
        EXPECT_GT(xs[2] - xs[1], 10.0);
    }
}

// Day two's encrypted recording is drawn and marked; the track cannot read
// its GPS without the password, names it and fails as export-day does,
// and draws the rest.
TEST_F(Pictures, EncryptedRecordingIsMarkedOrNamedAsLeftOut) {
    if (!ToolInstalled("python3 -c pass", dir)) GTEST_SKIP() << "python3 not installed";
    const RunResult timeline = RunAvfile({"timeline", card().Day2(), "-o", dir / "day.svg"}, dir);
    ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
    EXPECT_EQ(CountByClass(dir / "day.svg", "rect", "encrypted", dir), 4);

    const RunResult track = RunAvfile({"track", card().Day2(), "-o", dir / "track.svg"}, dir);
    EXPECT_EQ(track.exitCode, 5) << track.err;
    EXPECT_NE(track.err.find("left out: the recording of 2015-01-10 08:16:30"), std::string::npos) << track.err;
    EXPECT_EQ(CountByClass(dir / "track.svg", "g", "track-segment", dir), 2);
    const RunResult opened = RunAvfile(
        {"track", card().Day2(), "-o", dir / "track.svg", "-y", "--password", SampleCard::kPassword}, dir);
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_EQ(CountByClass(dir / "track.svg", "g", "track-segment", dir), 3);
}

// The first line's colour in a track picture.
std::string FirstLineColour(const std::string &svg) {
    const std::string text = TempDir::ReadFile(svg);
    const size_t line = text.find("<line x1=");
    const size_t stroke = text.find("stroke=\"", line);
    if (line == std::string::npos || stroke == std::string::npos) return {};
    return text.substr(stroke + 8, text.find('"', stroke + 8) - stroke - 8);
}

// Speeds are coloured on one scale, 0 to 130 km/h or --speed-range, so a
// recording has the same colours alone and in its day; the route has its
// times at the start, the end and on the way.
TEST_F(Pictures, TrackSpeedScaleIsFixedAndTimesAreShown) {
    const std::string second = card().Day1() + "video/1_20150109-105104_1025h.avi";
    ASSERT_EQ(RunAvfile({"track", second, "-o", dir / "alone.svg"}, dir).exitCode, 0);
    ASSERT_EQ(RunAvfile({"track", card().Day1(), "-o", dir / "day.svg"}, dir).exitCode, 0);
    const std::string day = TempDir::ReadFile(dir / "day.svg");
    const std::string colour = FirstLineColour(dir / "alone.svg");
    ASSERT_FALSE(colour.empty());
    // The second segment of the day is that recording.
    const size_t segment = day.find("<g class=\"track-segment\"><title>1_20150109-105104_1025h.avi");
    ASSERT_NE(segment, std::string::npos);
    EXPECT_EQ(FirstLineColour(dir / "day.svg") == colour, false);
    EXPECT_NE(day.find("stroke=\"" + colour + "\"", segment), std::string::npos) << colour;
    EXPECT_NE(day.find(">130 km/h<"), std::string::npos);
    ASSERT_EQ(RunAvfile({"track", second, "-o", dir / "range.svg", "--speed-range", "40-60"}, dir).exitCode, 0);
    EXPECT_NE(TempDir::ReadFile(dir / "range.svg").find(">60 km/h<"), std::string::npos);
    EXPECT_NE(FirstLineColour(dir / "range.svg"), colour);
    for (const char *label : {"start\"", "along\"", "end\""}) {
        EXPECT_NE(day.find(std::string("class=\"time-label ") + label), std::string::npos) << label;
    }
    for (const char *time : {">10:49:29<", ">10:51:04<", ">10:52:39<", ">10:52:43<"}) {
        EXPECT_NE(day.find(time), std::string::npos) << time;
    }
}

// Renders an SVG in headless Chromium and returns how many pixels of the
// screenshot are not white. When the browser does not start, dies or
// hangs, *browserFailure says so (a fault of the machine, not of the
// picture).
long InkedPixels(const std::string &svg, const std::string &name, const TempDir &dir, std::string *browserFailure) {
    const std::string shot = dir / (name + ".png"), raw = dir / (name + ".gray");
    const RunResult r = RunCommand(
        "timeout -k 10 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync --user-data-dir=" +
            Quote(dir.MakeDir("profile-" + name)) + " --window-size=1100,700 --screenshot=" + Quote(shot) + " " +
            Quote("file://" + svg),
        dir);
    if (r.exitCode != 0 || TempDir::ReadFile(shot).empty()) {
        *browserFailure = "chromium ended with " + std::to_string(r.exitCode) + " without a screenshot: " +
                          r.err.substr(r.err.size() > 400 ? r.err.size() - 400 : 0);
        return -1;
    }
    const RunResult gray =
        RunCommand("ffmpeg -v error -y -i " + Quote(shot) + " -f rawvideo -pix_fmt gray " + Quote(raw), dir);
    EXPECT_EQ(gray.exitCode, 0) << gray.err;
    const std::string pixels = TempDir::ReadFile(raw);
    long inked = 0;
    for (char p : pixels) inked += static_cast<unsigned char>(p) < 200 ? 1 : 0;
    return inked;
}

TEST_F(Pictures, BrowserDrawsBothPictures) {
    if (!ToolInstalled("chromium --version", dir) || !ToolInstalled("ffmpeg -version", dir)) {
        GTEST_SKIP() << "chromium or ffmpeg is not installed (Debian packages chromium, ffmpeg); the pictures were "
                        "not rendered";
    }
    ASSERT_EQ(RunAvfile({"timeline", card().Day1(), "-o", dir / "day.svg"}, dir).exitCode, 0);
    ASSERT_EQ(RunAvfile({"track", card().Day1(), "-o", dir / "track.svg"}, dir).exitCode, 0);
    for (const char *svg : {"day.svg", "track.svg"}) {
        std::string browserFailure;
        const long inked = InkedPixels(dir / svg, svg, dir, &browserFailure);
        if (!browserFailure.empty()) GTEST_SKIP() << svg << " was not rendered: " << browserFailure;
        // Bars, lines and text cover thousands of pixels; a picture that
        // failed to draw leaves the page white.
        EXPECT_GT(inked, 2000) << svg;
    }
}

}  // namespace
