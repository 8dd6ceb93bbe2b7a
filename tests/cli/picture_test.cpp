// The timeline and track pictures: well-formed SVG with a bar per recording
// file and a segment per recording, and something a browser actually draws.
#include <gtest/gtest.h>

#include <string>

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
    const RunResult r = RunAvfile({"timeline", card().Day1(), "-o", dir / "day.svg"}, dir);
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
