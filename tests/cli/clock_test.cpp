// The clock of every time avfile lists or exports: the recorder's own, of no
// known zone, unless an offset, a zone or the GPS sentences tie it to UTC.
// The recordings here come from the recorder simulator, whose receiver
// reports UTC while the recorder's clock runs on local time, off by a few
// seconds and drifting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "recsim/recsim.h"

namespace {

constexpr int32_t kWinter = 1420800569;  // 2015-01-09 10:49:29 on the recorder's clock
constexpr int32_t kSummer = 1436438969;  // 2015-07-09 10:49:29

size_t Count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The times of the GPX points, in order.
std::vector<std::string> GpxTimes(const std::string &gpx) {
    std::vector<std::string> times;
    for (size_t at = gpx.find("<time>"); at != std::string::npos; at = gpx.find("<time>", at + 1)) {
        times.push_back(gpx.substr(at + 6, gpx.find("</time>", at) - at - 6));
    }
    return times;
}

class Clock : public CliTest {
protected:
    // A recording of `seconds` whose clock runs `ahead` seconds ahead of the
    // receiver's UTC at its start and gains `gainPerHour`.
    std::string Recording(const std::string &name, int32_t start, int seconds, double ahead, double gainPerHour,
                          bool gps = true) {
        recsim::RecordingPlan plan;
        plan.seconds = seconds;
        plan.gps = gps;
        plan.route.clockAheadSeconds = ahead;
        plan.route.clockGainPerHour = gainPerHour;
        const std::string path = dir / name;
        EXPECT_TRUE(recsim::WriteFile(path, recsim::PlannedFile(plan, start)));
        return path;
    }
};

// The listings name their clock; an offset reads as the zone it is.
TEST_F(Clock, ListingLabelNamesTheZoneTheRightWayRound) {
    const struct {
        std::vector<std::string> option;
        const char *label;
    } cases[] = {{{}, "(times: recorder clock (zone unknown))"},
                 {{"--utc-offset", "+08:00"}, "(times: UTC (recorder clock UTC+08:00))"},
                 {{"--utc-offset", "-03:30"}, "(times: UTC (recorder clock UTC-03:30))"},
                 {{"--utc-offset", "+00:00"}, "(times: UTC (recorder clock UTC+00:00))"},
                 {{"--tz", "Asia/Shanghai"}, "(times: UTC (recorder clock Asia/Shanghai))"}};
    for (const auto &c : cases) {
        std::vector<std::string> args = {"recordings", card().Day1()};
        args.insert(args.end(), c.option.begin(), c.option.end());
        const RunResult r = RunAvfile(args, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.label), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("-00:00"), std::string::npos) << r.out;
    }
}

// --utc-offset gps: the median over the recording of the sentences' UTC
// against the frame time of their text chunk, to the second. The clock here
// is 3 s off at the start and gains a second every 15 s, so over the minute
// the sentences' offsets run from 3 s to 7 s off the zone and their middle
// is 5 s off.
TEST_F(Clock, GpsOffsetIsTheMedianOverADriftingRecording) {
    const struct {
        double ahead;
        const char *infoLine;
        const char *start;  // the recording's start in UTC
    } cases[] = {
        {8 * 3600 + 3, "recorder clock 8:00:05 ahead of GPS time: zone UTC+08:00 (from 60 sentences)",
         "2015-01-09T02:49:24Z"},
        {-(3 * 3600 + 30 * 60) - 25, "recorder clock 3:30:23 behind GPS time: zone UTC-03:30 (from 60 sentences)",
         "2015-01-09T14:19:52Z"},
    };
    for (const auto &c : cases) {
        const std::string file = Recording("1_20150109-104929_1025h.avi", kWinter, 60, c.ahead, 240);
        const RunResult info = RunAvfile({"info", file}, dir);
        ASSERT_EQ(info.exitCode, 0) << info.err;
        EXPECT_NE(info.out.find(c.infoLine), std::string::npos) << info.out;
        const RunResult utc = RunAvfile({"info", file, "--utc-offset", "gps"}, dir);
        ASSERT_EQ(utc.exitCode, 0) << utc.err;
        EXPECT_NE(utc.out.find(std::string("Start           ") + c.start), std::string::npos) << utc.out;
        EXPECT_NE(utc.out.find("measured from GPS"), std::string::npos) << utc.out;
    }
    // Without a sentence there is nothing to measure.
    const std::string silent = Recording("2_20150109-104929_1025h.avi", kWinter, 4, 0, 0, false);
    const RunResult none = RunAvfile({"info", silent, "--utc-offset", "gps"}, dir);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no GPS sentence"), std::string::npos) << none.err;
}

// A GPS point is at the time `frames` lists for its text chunk, shifted to
// UTC by a given offset; with the clock from GPS it is its fix's own UTC
// time (the drifting clock's sentences are not one fixed offset away).
TEST_F(Clock, GpsPointsAtTheirTextChunksTimeOrTheirFixesOwn) {
    const RunResult frames = RunAvfile({"frames", card().PlainFile(), "--utc-offset", "+08:00"}, dir);
    ASSERT_EQ(frames.exitCode, 0) << frames.err;
    std::vector<std::string> listed;
    for (size_t at = frames.out.find("  side   "); at != std::string::npos; at = frames.out.find("  side   ", at + 1)) {
        listed.push_back(frames.out.substr(at + 9, frames.out.find(' ', at + 9) - at - 9));
    }
    ASSERT_EQ(listed.size(), static_cast<size_t>(SampleCard::kFixesPerFile)) << frames.out;
    ASSERT_EQ(RunAvfile({"export", card().PlainFile(), "-o", dir / "fixed.gpx", "--utc-offset", "+08:00"}, dir).exitCode, 0);
    EXPECT_EQ(GpxTimes(TempDir::ReadFile(dir / "fixed.gpx")), listed);
    EXPECT_EQ(listed.front(), "2015-01-09T02:49:29Z");

    const std::string file = Recording("1_20150109-104929_1025h.avi", kWinter, 60, 8 * 3600 + 3, 240);
    ASSERT_EQ(RunAvfile({"export", file, "-o", dir / "gps.gpx", "--utc-offset", "gps"}, dir).exitCode, 0);
    const std::vector<std::string> own = GpxTimes(TempDir::ReadFile(dir / "gps.gpx"));
    ASSERT_EQ(own.size(), 60u);
    // The sentences' own times: 10:49:29 less 8:00:03 at the start, less
    // 8:00:07 at the end (59 s later, the clock then 3.9 s further ahead).
    EXPECT_EQ(own.front(), "2015-01-09T02:49:26Z");
    EXPECT_EQ(own.back(), "2015-01-09T02:50:21Z");
}

// Without an offset or zone no time claims to be UTC: the GPX leaves its
// points' times out, the others write local times without designator, and
// MP4 and Matroska get no creation_time (the recorder's time is their date
// tag); with UTC known, creation_time is the start in UTC.
TEST_F(Clock, WithoutAZoneNoTimeIsMarkedUtc) {
    const std::string file = card().PlainFile();
    for (const char *name : {"route.gpx", "route.csv", "route.kml", "route.geojson"}) {
        ASSERT_EQ(RunAvfile({"export", file, "-o", dir / name}, dir).exitCode, 0) << name;
    }
    const std::string gpx = TempDir::ReadFile(dir / "route.gpx");
    EXPECT_EQ(gpx.find("<time>"), std::string::npos) << gpx;
    EXPECT_EQ(TempDir::ReadFile(dir / "route.csv").rfind("time_local,latitude,", 0), 0u);
    EXPECT_NE(TempDir::ReadFile(dir / "route.csv").find("\n2015-01-09T10:49:29,"), std::string::npos);
    EXPECT_NE(TempDir::ReadFile(dir / "route.kml").find("<when>2015-01-09T10:49:29</when>"), std::string::npos);
    for (const char *name : {"route.csv", "route.kml", "route.geojson"}) {
        EXPECT_EQ(TempDir::ReadFile(dir / name).find("Z"), std::string::npos) << name;
    }
    if (ToolInstalled("gpsbabel -V", dir)) {
        const RunResult points = RunCommand("gpsbabel -t -i gpx -f " + Quote(dir / "route.gpx") + " -o unicsv -F - | tail -n +2 | wc -l", dir);
        EXPECT_EQ(points.out, std::to_string(SampleCard::kFixesPerFile) + "\n") << points.err;
    }
    if (ToolInstalled("python3 --version", dir)) {
        const RunResult json = RunCommand("python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                                          "print(d['features'][0]['properties']['coordTimes'][0])\" " +
                                              Quote(dir / "route.geojson"),
                                          dir);
        EXPECT_EQ(json.out, "2015-01-09T10:49:29\n") << json.err;
    }
    if (!ToolInstalled("ffprobe -version", dir)) GTEST_SKIP() << "ffprobe not installed";
    const struct {
        const char *name;
        std::vector<std::string> option;
        const char *creation;  // as ffprobe shows it; empty: none
    } cases[] = {{"local.mp4", {}, ""},
                 {"local.mkv", {}, ""},
                 {"utc.mp4", {"--utc-offset", "+08:00"}, "2015-01-09T02:49:29.000000Z"},
                 {"utc.mkv", {"--tz", "Asia/Shanghai"}, "2015-01-09T02:49:29.000000Z"}};
    for (const auto &c : cases) {
        std::vector<std::string> args = {"export", file, "-o", dir / c.name};
        args.insert(args.end(), c.option.begin(), c.option.end());
        ASSERT_EQ(RunAvfile(args, dir).exitCode, 0) << c.name;
        const RunResult probe = RunCommand("ffprobe -v error -show_entries format_tags=creation_time -of "
                                           "default=noprint_wrappers=1:nokey=1 " + Quote(dir / c.name),
                                           dir);
        EXPECT_EQ(probe.out, *c.creation ? std::string(c.creation) + "\n" : std::string()) << c.name << probe.err;
    }
}

// --tz: the zone's rules, daylight saving included, for the date of each
// time; a name the zone database does not hold, or two clocks at once, is a
// usage error.
TEST_F(Clock, ZoneWithDaylightSaving) {
    const std::string winter = Recording("1_20150109-104929_1025h.avi", kWinter, 4, 0, 0);
    const std::string summer = Recording("1_20150709-104929_1025h.avi", kSummer, 4, 0, 0);
    const struct {
        const std::string *file;
        const char *zone, *start;
    } cases[] = {{&winter, "Europe/Berlin", "2015-01-09T09:49:29Z"},
                 {&summer, "Europe/Berlin", "2015-07-09T08:49:29Z"},
                 {&summer, "America/New_York", "2015-07-09T14:49:29Z"},
                 {&winter, "Asia/Shanghai", "2015-01-09T02:49:29Z"}};
    for (const auto &c : cases) {
        const RunResult r = RunAvfile({"info", *c.file, "--tz", c.zone}, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("Start           ") + c.start), std::string::npos) << c.zone << "\n" << r.out;
    }
    EXPECT_EQ(RunAvfile({"info", winter, "--tz", "Nowhere/Atlantis"}, dir).exitCode, 2);
    EXPECT_EQ(RunAvfile({"info", winter, "--tz", "../../etc/passwd"}, dir).exitCode, 2);
    const RunResult both = RunAvfile({"info", winter, "--tz", "Europe/Berlin", "--utc-offset", "+01:00"}, dir);
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_NE(both.err.find("give one of them"), std::string::npos) << both.err;
    EXPECT_EQ(Count(RunAvfile({"info", winter, "--utc-offset", "gps", "--tz", "UTC"}, dir).err, "--tz"), 1u);
}

}  // namespace
