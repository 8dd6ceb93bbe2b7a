// Exports of the sample card through the real avfile program, read back by
// the tools people open them with.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "cli/cli_run.h"
#include "export/probe_report.h"
#include "recsim/recsim.h"

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

// Matroska stores the pictures with unit lengths in place of start codes,
// and the parameter sets as a decoder configuration record; the program
// makes both itself. They are what FFmpeg's own muxer makes of the same
// pictures: every picture's bytes and the record, compared by ffprobe's
// hashes against ffmpeg's stream copy of the exported H.264.
TEST_F(ContainerExport, MatroskaPicturesAsFfmpegStoresThem) {
    if (!ToolInstalled("ffmpeg -version", dir)) GTEST_SKIP() << "ffmpeg not installed";
    ASSERT_EQ(RunAvfile({"export", card().PlainFile(), "-o", dir / "video.h264"}, dir).exitCode, 0);
    ASSERT_EQ(RunAvfile({"export", card().PlainFile(), "-o", dir / "ours.mkv"}, dir).exitCode, 0);
    const RunResult copy = RunCommand("ffmpeg -v error -i video.h264 -c copy ffmpeg.mkv", dir);
    ASSERT_EQ(copy.exitCode, 0) << copy.err;
    const auto hashes = [this](const char *file, const char *entries) {
        const RunResult r = RunCommand(std::string("ffprobe -v error -select_streams v -show_data_hash MD5 ") +
                                           "-show_entries " + entries + " -of csv=p=0 " + file,
                                       dir);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    const std::string pictures = hashes("ours.mkv", "packet=data_hash");
    EXPECT_EQ(std::count(pictures.begin(), pictures.end(), '\n'), SampleCard::kFramesPerFile);
    EXPECT_EQ(pictures, hashes("ffmpeg.mkv", "packet=data_hash"));
    EXPECT_EQ(hashes("ours.mkv", "stream=extradata_hash"), hashes("ffmpeg.mkv", "stream=extradata_hash"));
}

// Files of several recordings are joined end to end in time order, the
// gap between them cut, a chapter each and the join in the summary; with
// --keep-gaps the second starts at its own time, 95 s after the first,
// as a jump of the timestamps (no frame fills the gap). Of a recording's
// four channels, --channel picks one.
TEST_F(ContainerExport, RecordingsOfOneChannelInTimeOrder) {
    if (!ToolInstalled("ffprobe -version", dir)) GTEST_SKIP() << "ffprobe not installed";
    const std::string first = card().PlainFile(2);
    const std::string second = card().Day1() + "video/2_20150109-105104_1025h.avi";
    struct Case {
        const char *name;
        const char *extension;
        bool keepGaps;
        double duration;
        double secondChapter;
        const char *join;
    } cases[] = {{"gap cut", ".mkv", false, 10.0, 5.0, "(gap cut)"},
                 {"gap cut", ".mp4", false, 10.0, 5.0, "(gap cut)"},
                 {"gap kept", ".mkv", true, 100.0, 95.0, "(gap kept)"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.extension);
        const std::string out = dir / (std::string(c.name) + c.extension);
        std::vector<std::string> args = {"export", second, first, "-o", out};
        if (c.keepGaps) args.push_back("--keep-gaps");
        const RunResult r = RunAvfile(args, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("2_20150109-105104_1025h.avi follows 2_20150109-104929_1025h.avi after 0:01:30 " +
                             std::string(c.join)),
                  std::string::npos)
            << r.out;
        EXPECT_TRUE(FieldsAre(Only(Probe(out, "stream=nb_read_packets -select_streams v", dir)),
                              {{"nb_read_packets", 2 * SampleCard::kFramesPerFile}}));
        EXPECT_TRUE(FieldsAre(Only(Probe(out, "format=duration", dir)), {{"duration", c.duration, 0.4}}));
        const std::vector<ProbeSection> chapters = Probe(out, "chapter=start_time", dir);
        ASSERT_EQ(chapters.size(), 2u);
        EXPECT_TRUE(FieldsAre(chapters[0], {{"start_time", 0.0, 0.01}}));
        EXPECT_TRUE(FieldsAre(chapters[1], {{"start_time", c.secondChapter, 0.01}}));
        // The second file's sound starts with its pictures: its last
        // packet begins before the end of the pictures, not pushed later by
        // the first file's sound running 40 ms past its pictures and the
        // filled-up last AAC frame.
        const RunResult last = RunCommand("ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 " +
                                              Quote(out) + " | tail -n 1",
                                          dir);
        EXPECT_LT(std::stod("0" + last.out), c.duration) << last.out;
        // No frame is written twice to fill a gap, and every frame decodes.
        const RunResult decode = RunCommand("ffmpeg -v error -i " + Quote(out) + " -map 0:v -f null -", dir);
        EXPECT_EQ(decode.exitCode, 0);
        EXPECT_EQ(decode.err, "");
    }

    std::vector<std::string> group = {"export"};
    for (int channel = 1; channel <= 4; ++channel) group.push_back(card().PlainFile(channel));
    group.insert(group.end(), {"-o", dir / "one.mkv", "--channel", "3"});
    const RunResult picked = RunAvfile(group, dir);
    ASSERT_EQ(picked.exitCode, 0) << picked.err;
    EXPECT_TRUE(FieldsAre(Only(Probe(dir / "one.mkv", "stream=nb_read_packets -select_streams v", dir)),
                          {{"nb_read_packets", SampleCard::kFramesPerFile}}));
}

// --channel means one thing everywhere: the channel's files, and the sound
// of that channel. A file without it says so; a recording's GPS is read
// from its first channel that has any, with no --channel needed.
TEST_F(ContainerExport, ChannelWithoutSoundIsSaidAndWrittenWithout) {
    for (const char *extension : {".mp4", ".mkv"}) {
        SCOPED_TRACE(extension);
        const std::string out = dir / (std::string("silent") + extension);
        const RunResult r = RunAvfile({"export", card().PlainFile(1), "--channel", "2", "-o", out}, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("without sound (no audio on channel 2)"), std::string::npos) << r.out;
        if (!ToolInstalled("ffprobe -version", dir)) continue;
        EXPECT_TRUE(FieldsAre(Only(Probe(out, "stream=codec_type -select_streams v", dir)), {{"codec_type", "video"}}));
        EXPECT_TRUE(Probe(out, "stream=codec_type -select_streams a", dir).empty());
    }
}

TEST_F(TrackExport, GpsOfARecordingsChannelsWithoutChoosingOne) {
    std::vector<std::string> args = {"export"};
    for (int channel = 1; channel <= 4; ++channel) args.push_back(card().PlainFile(channel));
    args.push_back(card().Day1() + "video/3_20150109-105104_1025h.avi");
    args.insert(args.end(), {"-o", dir / "route.gpx"});
    const RunResult r = RunAvfile(args, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(std::to_string(2 * SampleCard::kFixesPerFile) + " GPS positions in 2 segments"),
              std::string::npos)
        << r.out;
}

TEST_F(DayExport, ChannelPicksTheFilesOfThatChannel) {
    const RunResult r = RunAvfile({"export-day", card().Day1(), dir / "out", "--format", "h264", "--channel", "2"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir / "out")) names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"2_20150109-104929_1025h.h264", "2_20150109-105104_1025h.h264",
                                            "2_20150109-105239_1125h.h264", "2015-01-09.gpx"}));
}

// A card whose channel 1 carries no GPS: the route of each recording is
// read from channel 2, in export and in export-day's route of the day.
TEST_F(TrackExport, RouteOfTheFirstChannelThatHasGps) {
    const int32_t starts[] = {1420800569, 1420800569 + 60};  // 2015-01-09 10:49:29, a minute on
    const std::string video = dir.MakeDir("card/2015-01-09/video");
    std::vector<std::string> files;
    for (int32_t start : starts) {
        for (int channel : {0, 1}) {
            recsim::RecordingPlan plan;
            plan.seconds = 4;
            plan.gps = channel != 0;
            files.push_back(video + "/" + recsim::RecordFileName(recsim::RecordNameAt(start, channel)));
            ASSERT_TRUE(recsim::WriteFile(files.back(), recsim::PlannedFile(plan, start)));
        }
    }
    std::vector<std::string> args = {"export"};
    args.insert(args.end(), files.begin(), files.end());
    args.insert(args.end(), {"-o", dir / "route.csv"});
    const RunResult r = RunAvfile(args, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(" GPS positions in 2 segments"), std::string::npos) << r.out;

    const RunResult day = RunAvfile({"export-day", dir / "card/2015-01-09", dir / "out", "--format", "h264"}, dir);
    ASSERT_EQ(day.exitCode, 0) << day.err;
    EXPECT_NE(day.out.find("2015-01-09.gpx: " + r.out.substr(r.out.find(": ") + 2, r.out.find(" GPS") - r.out.find(": ") - 2) +
                           " GPS positions in 2 segments"),
              std::string::npos)
        << day.out << day.err;
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
// times to UTC (without it GPX carries no times).
TEST_F(TrackExport, UtcOffsetShiftsTheTimes) {
    struct Case {
        const char *offset;
        const char *firstTime;
    } cases[] = {{nullptr, "121.5083333\"><extensions>"},
                 {"+08:00", "<time>2015-01-09T02:49:29Z</time>"},
                 {"-03:30", "<time>2015-01-09T14:19:29Z</time>"}};
    for (const Case &c : cases) {
        std::vector<std::string> args = {"export", card().PlainFile(), "-o", dir / "route.gpx", "-y"};
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
