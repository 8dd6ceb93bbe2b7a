// Exports of the sample card through the real avfile program, read back by
// the tools people open them with.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_run.h"
#include "export/probe_report.h"

namespace {

class AudioExport : public CliTest {};
class ContainerExport : public CliTest {};
class DayExport : public CliTest {};
class TrackExport : public CliTest {};
class VideoStreamExport : public CliTest {};

// ffprobe's sections of the file: one per stream asked for, or the format.
std::vector<ProbeSection> Probe(const std::string &file, const std::string &entries, const TempDir &dir) {
    const RunResult r =
        RunCommand("ffprobe -v error -count_packets -show_entries " + entries + " -of default " + Quote(file), dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ParseProbeReport(r.out);
}

// The one section ffprobe gave, or an empty one (and a failure).
ProbeSection Only(const std::vector<ProbeSection> &sections) {
    EXPECT_EQ(sections.size(), 1u);
    return sections.size() == 1 ? sections[0] : ProbeSection{};
}

// The exported stream is the recorded one: the clip's pictures byte for
// byte, without the delimiters the library drops, also where the recorder
// enciphered the key frames.
TEST_F(VideoStreamExport, EqualsTheRecordedClip) {
    const std::string expected = ClipWithoutDelimiters();
    struct Case {
        const char *name;
        std::string file;
        std::vector<std::string> extra;
    } cases[] = {
        {"plain", card().PlainFile(), {}},
        {"encrypted", card().EncryptedFile(), {"--password", SampleCard::kPassword}},
        {"encrypted, password in hex", card().EncryptedFile(3), {"--password", "526f616432303135"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> args = {"export", c.file, "-o", dir / "video.h264"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = RunAvfile(args, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // Standard error is no terminal here: no progress bar on it.
        EXPECT_EQ(r.err, "");
        const std::string exported = TempDir::ReadFile(dir / "video.h264");
        ASSERT_EQ(exported.size(), expected.size());
        EXPECT_TRUE(exported == expected);
    }
}

TEST_F(ContainerExport, PlayersSeeEveryFrameAtItsTimeWithSound) {
    struct Case {
        const char *extension;
        const char *audioCodec;
    } cases[] = {{".mp4", "aac"}, {".mkv", "pcm_s16le"}};
    // In Matroska each audio chunk of the recording is one packet: 5 s of
    // 8000 samples a second in chunks of 640 samples.
    if (!ToolInstalled("ffprobe -version", TempDir())) GTEST_SKIP() << "ffprobe not installed";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extension);
        TempDir dir;
        const std::string out = dir / (std::string("clip") + c.extension);
        const RunResult r = RunAvfile({"export", card().PlainFile(2), "-o", out}, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<ProbeSection> streams = Probe(out, "stream=codec_type,codec_name,width,height", dir);
        ASSERT_EQ(streams.size(), 3u);
        EXPECT_TRUE(FieldsAre(streams[0], {{"codec_type", "video"}, {"codec_name", "h264"}, {"width", 320},
                                           {"height", 240}}));
        EXPECT_TRUE(FieldsAre(streams[1], {{"codec_type", "audio"}, {"codec_name", c.audioCodec}}));
        EXPECT_TRUE(FieldsAre(streams[2], {{"codec_type", "subtitle"}}));  // the GPS cues
        EXPECT_TRUE(FieldsAre(Only(Probe(out, "stream=nb_read_packets -select_streams v", dir)),
                              {{"nb_read_packets", SampleCard::kFramesPerFile}}));
        if (std::string(c.extension) == ".mkv") {
            EXPECT_TRUE(FieldsAre(Only(Probe(out, "stream=nb_read_packets -select_streams a", dir)),
                                  {{"nb_read_packets", 63}}));
        }
        // 125 frames at 25 per second; the sound runs as long.
        EXPECT_TRUE(FieldsAre(Only(Probe(out, "format=duration", dir)), {{"duration", 5.0, 0.1}}));
        // Every frame decodes.
        const RunResult decode = RunCommand("ffmpeg -v error -i " + Quote(out) + " -map 0:v -f null -", dir);
        EXPECT_EQ(decode.exitCode, 0);
        EXPECT_EQ(decode.err, "");
    }
}

// Files of several recordings go into one file at their own times, gap
// included; of a recording's four channels, --channel picks one.
TEST_F(ContainerExport, RecordingsOfOneChannelInTimeOrder) {
    if (!ToolInstalled("ffprobe -version", dir)) GTEST_SKIP() << "ffprobe not installed";
    const std::string first = card().PlainFile(2);
    const std::string second = card().Day1() + "video/2_20150109-105104_1025h.avi";
    const RunResult r = RunAvfile({"export", second, first, "-o", dir / "two.mkv"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(FieldsAre(Only(Probe(dir / "two.mkv", "stream=nb_read_packets -select_streams v", dir)),
                          {{"nb_read_packets", 2 * SampleCard::kFramesPerFile}}));
    // The second recording starts 95 s after the first and lasts 5 s.
    EXPECT_TRUE(FieldsAre(Only(Probe(dir / "two.mkv", "format=duration", dir)), {{"duration", 100.0, 0.1}}));

    std::vector<std::string> group = {"export"};
    for (int channel = 1; channel <= 4; ++channel) group.push_back(card().PlainFile(channel));
    group.insert(group.end(), {"-o", dir / "one.mkv", "--channel", "3"});
    const RunResult picked = RunAvfile(group, dir);
    ASSERT_EQ(picked.exitCode, 0) << picked.err;
    EXPECT_TRUE(FieldsAre(Only(Probe(dir / "one.mkv", "stream=nb_read_packets -select_streams v", dir)),
                          {{"nb_read_packets", SampleCard::kFramesPerFile}}));
}

TEST_F(AudioExport, WaveFileHoldsTheChannelsSound) {
    const RunResult r = RunAvfile({"export", card().PlainFile(1), "-o", dir / "sound.wav"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    if (!ToolInstalled("ffprobe -version", dir)) GTEST_SKIP() << "ffprobe not installed";
    EXPECT_TRUE(FieldsAre(Only(Probe(dir / "sound.wav", "stream=codec_name,sample_rate,channels", dir)),
                          {{"codec_name", "pcm_s16le"}, {"sample_rate", 8000}, {"channels", 1}}));
}

// The GPS route as map files, read back by a GPS converter and parsers.
TEST_F(TrackExport, MapToolsReadEveryPosition) {
    for (const char *ext : {".gpx", ".geojson", ".kml", ".csv"}) {
        const RunResult r = RunAvfile({"export", card().PlainFile(), "-o", dir / (std::string("route") + ext)}, dir);
        ASSERT_EQ(r.exitCode, 0) << ext << ": " << r.err;
    }
    const bool gpsbabel = ToolInstalled("gpsbabel -V", dir), python = ToolInstalled("python3 -c pass", dir);
    if (gpsbabel) {
        const RunResult points =
            RunCommand("gpsbabel -t -i gpx -f " + Quote(dir / "route.gpx") + " -o unicsv -F - | tail -n +2 | wc -l", dir);
        EXPECT_EQ(points.out, std::to_string(SampleCard::kFixesPerFile) + "\n");
    }
    if (python) {
        const RunResult json = RunCommand(
            "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
            "print(sum(len(f['geometry']['coordinates']) for f in d['features']))\" " + Quote(dir / "route.geojson"),
            dir);
        EXPECT_EQ(json.out, std::to_string(SampleCard::kFixesPerFile) + "\n") << json.err;
        const RunResult kml = RunCommand(
            "python3 -c \"import sys,xml.etree.ElementTree as E; t=E.parse(sys.argv[1]); "
            "print(sum(1 for e in t.iter() if e.tag.endswith('}coord')))\" " + Quote(dir / "route.kml"),
            dir);
        EXPECT_EQ(kml.out, std::to_string(SampleCard::kFixesPerFile) + "\n") << kml.err;
    }
    if (!gpsbabel || !python) GTEST_SKIP() << "gpsbabel or python3 not installed: not every file was read back";
}

// The recorder's clock runs in local time; --utc-offset moves the exported
// times to UTC.
TEST_F(TrackExport, UtcOffsetShiftsTheTimes) {
    struct Case {
        const char *offset;
        const char *firstTime;
    } cases[] = {{nullptr, "<time>2015-01-09T10:49:29.040Z</time>"},
                 {"+08:00", "<time>2015-01-09T02:49:29.040Z</time>"},
                 {"-03:30", "<time>2015-01-09T14:19:29.040Z</time>"}};
    for (const Case &c : cases) {
        std::vector<std::string> args = {"export", card().PlainFile(), "-o", dir / "route.gpx"};
        if (c.offset) args.insert(args.end(), {"--utc-offset", c.offset});
        const RunResult r = RunAvfile(args, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string gpx = TempDir::ReadFile(dir / "route.gpx");
        EXPECT_NE(gpx.find(c.firstTime), std::string::npos) << (c.offset ? c.offset : "no offset") << "\n" << gpx;
    }
}

// A day out of the card: every file of every recording, and one route for
// the day with a segment per recording.
TEST_F(DayExport, EveryChannelOfEveryRecordingAndTheDaysRoute) {
    const RunResult r = RunAvfile({"export-day", card().Day1(), dir / "out", "--format", "h264"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    size_t streams = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir / "out")) {
        if (entry.path().extension() == ".h264") ++streams;
    }
    EXPECT_EQ(streams, 3u * 4u);
    const std::string gpx = TempDir::ReadFile(dir / "out/2015-01-09.gpx");
    size_t segments = 0;
    for (size_t at = gpx.find("<trkseg>"); at != std::string::npos; at = gpx.find("<trkseg>", at + 1)) ++segments;
    EXPECT_EQ(segments, 3u);
    if (ToolInstalled("gpsbabel -V", dir)) {
        const RunResult points = RunCommand(
            "gpsbabel -t -i gpx -f " + Quote(dir / "out/2015-01-09.gpx") + " -o unicsv -F - | tail -n +2 | wc -l", dir);
        EXPECT_EQ(points.out, std::to_string(3 * SampleCard::kFixesPerFile) + "\n");
    }
}

// The encrypted recording of day two cannot be exported without its
// password: those files are reported and left out, the rest is written.
TEST_F(DayExport, EncryptedRecordingWithoutPasswordIsLeftOutAndReported) {
    const RunResult r = RunAvfile({"export-day", card().Day2(), dir / "out", "--format", ".h264"}, dir);
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find("password"), std::string::npos) << r.err;
    size_t streams = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir / "out")) {
        if (entry.path().extension() == ".h264") ++streams;
    }
    EXPECT_EQ(streams, 2u * 4u);
}

}  // namespace
