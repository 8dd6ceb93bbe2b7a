// Clips of a simulated card of one-minute recordings on four channels,
// through the real avfile program, read back by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "recsim/recsim.h"

namespace {

constexpr int kChannels = 4;
constexpr int64_t kT0 = 1420797600;  // 2015-01-09 10:00:00 on the recorder's clock
const char kPassword[] = "Road2015";

struct Planned {
    int64_t start;  // seconds
    bool encrypted;
};
// 10:00, 10:01, 10:02 back to back; nothing 10:03 to 10:05; 10:05, and at
// 10:06 an encrypted recording.
const Planned kRecordings[] = {{kT0, false}, {kT0 + 60, false}, {kT0 + 120, false}, {kT0 + 300, false},
                               {kT0 + 360, true}};

const recsim::Route &CardRoute() {
    static const recsim::Route route = [] {
        recsim::Route r;
        r.start.speedKnots = 20.0;
        r.start.course = 45.0;
        r.start.utcSeconds = kT0;
        return r;
    }();
    return route;
}

// The card, written once: the sample clip's pictures cycled through every
// minute (a key frame each second), the audio of each file's own channel
// and a GPS fix each second on one straight route.
class MinuteCard {
public:
    static const MinuteCard &Get() {
        static const MinuteCard card;
        return card;
    }
    std::string Day() const { return m_root + "2015-01-09/"; }
    std::string File(int channel, int64_t start) const {
        recsim::RecordName name = recsim::RecordNameAt(start, channel - 1, false, 25);
        return Day() + "video/" + recsim::RecordFileName(name);
    }

private:
    MinuteCard() : m_root(m_dir / "card/") {
        const std::string clip = SampleClip();
        const std::vector<recsim::AccessUnit> units =
            recsim::SplitAccessUnits(std::vector<uint8_t>(clip.begin(), clip.end()));
        recsim::TreeWriter tree(m_root);
        for (const Planned &p : kRecordings) {
            recsim::RecordingPlan plan;
            plan.seconds = 60;
            plan.framesPerSecond = 25;
            plan.video = &units;
            plan.route = CardRoute();
            // The route runs on through the whole day.
            plan.route.start = CardRoute().At(static_cast<double>(p.start - kT0));
            for (int c = 0; c < kChannels; ++c) {
                plan.audioChannels = {c};
                recsim::FileRecipe recipe = recsim::PlannedFile(plan, static_cast<int32_t>(p.start));
                recsim::DescribePcmAudio(recipe);
                recipe.header.videoChannel = static_cast<int8_t>(c);
                recipe.header.audioPresence = static_cast<uint8_t>(1u << c);
                recipe.width = 320;
                recipe.height = 240;
                if (p.encrypted) {
                    recipe.header.encryption = 0x10;
                    for (int i = 0; i < 8; ++i) recipe.info.fileKey[static_cast<size_t>(i)] = static_cast<uint8_t>(kPassword[i]);
                }
                recsim::RecordName name = recsim::RecordNameAt(p.start, c, false, 25);
                if (tree.AddFile("2015-01-09", "video", recsim::RecordFileName(name), recipe).empty()) {
                    throw std::runtime_error("cannot write the minute card");
                }
            }
        }
    }
    TempDir m_dir;
    std::string m_root;
};

class Clip : public CliTest {
protected:
    static const MinuteCard &minutes() { return MinuteCard::Get(); }
};

struct Packet {
    double time;  // seconds on the clip's time line
    bool key;
};

// The video packets of a clip as ffprobe reads them.
std::vector<Packet> VideoPackets(const std::string &file, const TempDir &dir) {
    const RunResult r = RunCommand("ffprobe -v error -select_streams v -show_entries packet=pts_time,flags -of csv=p=0 " +
                                       Quote(file),
                                   dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<Packet> packets;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        packets.push_back({std::atof(line.substr(0, comma).c_str()), line.find('K', comma) != std::string::npos});
    }
    return packets;
}

struct Frame {
    int64_t timeUs;
    bool key;
};

// The pictures the library delivers for a file, as `avfile frames` lists them.
std::vector<Frame> LibraryFrames(const std::string &file, const TempDir &dir) {
    static std::map<std::string, std::vector<Frame>> cache;
    auto at = cache.find(file);
    if (at != cache.end()) return at->second;
    const RunResult r = RunAvfile({"frames", file, "--json", "--password", kPassword}, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<Frame> frames;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const bool key = line.find("\"type\": \"I\"") != std::string::npos;
        if (!key && line.find("\"type\": \"P\"") == std::string::npos) continue;
        const size_t t = line.find("\"timeUs\": ");
        frames.push_back({std::atoll(line.c_str() + t + 10), key});
    }
    cache[file] = frames;
    return frames;
}

int64_t Us(int64_t seconds) { return seconds * 1000000; }

// The window's edges on and off key frames and file boundaries, and over a
// gap: the clip starts on the key frame at or before --from and holds every
// frame the library delivers up to --to, at continuous times (a cut gap
// leaves none, a kept one its jump).
TEST_F(Clip, HoldsEveryFrameOfTheWindowFromTheKeyFrameBefore) {
    struct Case {
        const char *name;
        const char *from, *to;
        int64_t fromUs, toUs;  // the same, recorder's clock
        std::vector<std::string> extra;
        double jump;  // seconds the times jump at the gap
    } cases[] = {
        {"on key frames in one file", "10:00:10", "10:00:20", Us(kT0 + 10), Us(kT0 + 20), {}, 0},
        {"off key frames", "10:00:10.500", "10:00:20.02", Us(kT0 + 10) + 500000, Us(kT0 + 20) + 20000, {}, 0},
        {"across a file boundary", "10:00:50.3", "10:01:10", Us(kT0 + 50) + 300000, Us(kT0 + 70), {}, 0},
        {"ending on a file boundary", "10:00:30", "10:01:00", Us(kT0 + 30), Us(kT0 + 60), {}, 0},
        {"starting in a gap", "10:04:00", "2015-01-09 10:05:03", Us(kT0 + 240), Us(kT0 + 303), {}, 0},
        {"over a gap, cut", "10:02:50", "10:05:10", Us(kT0 + 170), Us(kT0 + 310), {}, 0},
        {"over a gap, kept", "10:02:50", "10:05:10", Us(kT0 + 170), Us(kT0 + 310), {"--keep-gaps"}, 120},
        {"times of the clock shown", "02:00:50.3", "02:01:10", Us(kT0 + 50) + 300000, Us(kT0 + 70), {"--utc-offset", "+08:00"}, 0},
    };
    const int channel = 2;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        std::vector<std::string> args = {"clip", minutes().Day(), "--from", c.from, "--to", c.to,
                                         "--channel", std::to_string(channel), "-o", out / "clip.mkv"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = RunAvfile(args, out);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // What the library delivers in the window: from the last key frame at
        // or before its start to the last frame before its end.
        std::vector<Frame> expected;
        for (const Planned &p : kRecordings) {
            if (p.encrypted || Us(p.start) >= c.toUs || Us(p.start + 60) <= c.fromUs) continue;
            for (const Frame &f : LibraryFrames(minutes().File(channel, p.start), out)) {
                if (f.timeUs >= c.toUs) break;
                if (f.key && f.timeUs <= c.fromUs) expected.clear();
                expected.push_back(f);
            }
        }
        while (!expected.empty() && !(expected.front().key && expected.front().timeUs <= c.fromUs) &&
               expected.front().timeUs < c.fromUs) {
            expected.erase(expected.begin());
        }
        const std::vector<Packet> packets = VideoPackets(out / "clip.mkv", out);
        ASSERT_EQ(packets.size(), expected.size());
        ASSERT_FALSE(packets.empty());
        EXPECT_TRUE(packets.front().key);
        EXPECT_LE(expected.front().timeUs, c.fromUs > expected.front().timeUs ? c.fromUs : expected.front().timeUs);
        int jumps = 0;
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].key, expected[i].key) << "frame " << i;
            if (i == 0) continue;
            const double step = packets[i].time - packets[i - 1].time;
            const double recorded = static_cast<double>(expected[i].timeUs - expected[i - 1].timeUs) / 1e6;
            if (recorded > 1.0) {
                // The gap: cut to a frame's step, or kept.
                ++jumps;
                EXPECT_NEAR(step, c.jump > 0 ? recorded : 0.04, 0.002) << "frame " << i;
            } else {
                EXPECT_NEAR(step, recorded, 0.002) << "frame " << i;
            }
        }
        const bool overGap = c.fromUs < Us(kT0 + 180) && c.toUs > Us(kT0 + 300);
        EXPECT_EQ(jumps, overGap ? 1 : 0);
        if (overGap) {
            EXPECT_NE(r.out.find("no recording 2015-01-09 10:03:00 to 2015-01-09 10:05:00 (0:02:00)"), std::string::npos)
                << r.out;
        }
    }
}

// The other outputs of a window: the picture stream, the sound, a track.
TEST_F(Clip, WritesEveryFormatOfTheWindow) {
    TempDir out;
    const std::string day = minutes().Day();
    const std::vector<std::string> window = {"clip", day, "--from", "10:00:50", "--to", "10:01:10", "--channel", "3"};
    auto run = [&](const std::string &name) {
        std::vector<std::string> args = window;
        args.insert(args.end(), {"-o", out / name});
        return RunAvfile(args, out);
    };
    ASSERT_EQ(run("clip.h264").exitCode, 0);
    EXPECT_EQ(VideoPackets(out / "clip.h264", out).size(), 500u);
    ASSERT_EQ(run("clip.wav").exitCode, 0);
    // 20 seconds of 8000 16-bit samples, the 44-byte header in front.
    EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(out / "clip.wav")), 44 + 20 * 16000, 2 * 1280);
    ASSERT_EQ(run("clip.csv").exitCode, 0);
    const std::string csv = TempDir::ReadFile(out / "clip.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 20);
    const RunResult mp4 = run("clip.mp4");
    ASSERT_EQ(mp4.exitCode, 0) << mp4.err;
    const RunResult streams = RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
                                             Quote(out / "clip.mp4"), out);
    EXPECT_EQ(streams.out, "h264\naac\nmov_text\n");
}

// The subtitle stream holds one cue per GPS fix of the window, at the fix's
// time, naming its time, position, speed and course; the MP4's location is
// where the clip starts.
TEST_F(Clip, SubtitleCuesAreTheGpsFixes) {
    for (const char *name : {"clip.mkv", "clip.mp4"}) {
        SCOPED_TRACE(name);
        TempDir out;
        const RunResult r = RunAvfile({"clip", minutes().Day(), "--from", "10:00:55", "--to", "10:01:05", "--channel",
                                       "1", "-o", out / name, "--gpx"},
                                      out);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const RunResult cues = RunCommand("ffprobe -v error -select_streams s -show_entries packet=pts_time,duration_time"
                                          " -of csv=p=0 " + Quote(out / name), out);
        const RunResult text = RunCommand("ffmpeg -v error -i " + Quote(out / name) + " -map 0:s -f webvtt -", out);
        std::vector<double> times;
        std::istringstream lines(cues.out);
        std::string line;
        while (std::getline(lines, line)) {
            // MP4's timed text fills the time between cues with empty samples.
            if (line.find("N/A") == std::string::npos) times.push_back(std::atof(line.c_str()));
        }
        ASSERT_EQ(times.size(), 10u) << cues.out;
        for (int s = 0; s < 10; ++s) {
            EXPECT_NEAR(times[static_cast<size_t>(s)], s, 0.001);
            const recsim::Fix fix = CardRoute().At(55 + s);
            char when[32];
            std::snprintf(when, sizeof when, "2015-01-09 10:0%d:%02d", (55 + s) / 60, (55 + s) % 60);
            const size_t at = text.out.find(when);
            ASSERT_NE(at, std::string::npos) << when << "\n" << text.out;
            const std::string cue = text.out.substr(at, text.out.find('\n', at) - at);
            double lat = 0, lon = 0;
            ASSERT_EQ(std::sscanf(cue.c_str() + std::strlen(when), " %lf N %lf E", &lat, &lon), 2) << cue;
            // The receiver's sentence keeps minutes to four decimals.
            EXPECT_NEAR(lat, fix.latitude, 2e-6) << cue;
            EXPECT_NEAR(lon, fix.longitude, 2e-6) << cue;
            EXPECT_NE(cue.find("37.0 km/h"), std::string::npos) << cue;  // 20 knots
            EXPECT_NE(cue.find("45\xc2\xb0"), std::string::npos) << cue;
        }
        const std::string gpx = TempDir::ReadFile(out / "clip.gpx");
        size_t points = 0;
        for (size_t at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1)) ++points;
        EXPECT_EQ(points, 10u);
        const RunResult location = RunCommand("ffprobe -v error -show_entries format_tags=location -of csv=p=0 " +
                                                  Quote(out / name), out);
        char expected[32];
        std::snprintf(expected, sizeof expected, "%+08.4f%+09.4f/", CardRoute().At(55).latitude,
                      CardRoute().At(55).longitude);
        EXPECT_EQ(location.out, std::string(expected) + "\n");
    }
}

// A window touching the encrypted recording: without the password the clip
// holds what it can read, names what it left out and exits 5; with it the
// clip holds the whole window.
TEST_F(Clip, EncryptedRecordingInTheWindow) {
    const std::vector<std::string> window = {"clip", minutes().Day(), "--from", "10:05:50", "--to", "10:06:10",
                                             "--channel", "4"};
    TempDir out;
    std::vector<std::string> args = window;
    args.insert(args.end(), {"-o", out / "without.mkv"});
    const RunResult without = RunAvfile(args, out);
    EXPECT_EQ(without.exitCode, 5) << without.err;
    EXPECT_NE(without.err.find("left out 2015-01-09 10:06:00 to 2015-01-09 10:06:10 (10.0 s): 4_20150109-100600"),
              std::string::npos)
        << without.err;
    EXPECT_NE(without.err.find("encrypted"), std::string::npos);
    EXPECT_EQ(VideoPackets(out / "without.mkv", out).size(), 250u);
    args = window;
    args.insert(args.end(), {"-o", out / "with.mkv", "--password", kPassword});
    const RunResult with = RunAvfile(args, out);
    EXPECT_EQ(with.exitCode, 0) << with.err;
    EXPECT_EQ(VideoPackets(out / "with.mkv", out).size(), 500u);
}

// A clip that fails leaves nothing behind, and no clip changes the card.
TEST_F(Clip, LeavesNoPartialOutputAndTheCardUnchanged) {
    std::map<std::string, std::string> before;
    for (const auto &e : std::filesystem::recursive_directory_iterator(minutes().Day())) {
        if (e.is_regular_file()) before[e.path().string()] = TempDir::ReadFile(e.path().string());
    }
    TempDir out;
    const std::vector<std::string> window = {"clip", minutes().Day(), "--from", "10:00:00", "--to", "10:02:00",
                                             "--channel", "1", "--gpx", "-o"};
    for (const char *name : {"full.mkv", "full.mp4", "full.h264"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> args = window;
        args.push_back(out / name);
        RunLimits limits;
        limits.fileSize = 200000;
        EXPECT_EQ(RunAvfile(args, out, limits).exitCode, 1);
        EXPECT_TRUE(Entries(out).empty());
    }
    struct Refused {
        const char *name;
        std::vector<std::string> args;
        int code;
    } refused[] = {
        {"no window", {"clip", minutes().Day(), "--channel", "1", "-o", out / "a.mkv"}, 2},
        {"to before from", {"clip", minutes().Day(), "--from", "10:01", "--to", "10:00", "--channel", "1", "-o", out / "a.mkv"}, 2},
        {"malformed time", {"clip", minutes().Day(), "--from", "10h", "--to", "10:01", "--channel", "1", "-o", out / "a.mkv"}, 2},
        {"nothing recorded", {"clip", minutes().Day(), "--from", "11:00", "--to", "11:01", "--channel", "1", "-o", out / "a.mkv"}, 4},
        {"no channel chosen", {"clip", minutes().Day(), "--from", "10:00", "--to", "10:01", "-o", out / "a.mkv"}, 2},
    };
    for (const Refused &r : refused) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(RunAvfile(r.args, out).exitCode, r.code);
        EXPECT_TRUE(Entries(out).empty());
    }
    std::map<std::string, std::string> after;
    for (const auto &e : std::filesystem::recursive_directory_iterator(minutes().Day())) {
        if (e.is_regular_file()) after[e.path().string()] = TempDir::ReadFile(e.path().string());
    }
    EXPECT_TRUE(before == after);
}

}  // namespace

namespace {

class DayJoin : public CliTest {
protected:
    static const MinuteCard &minutes() { return MinuteCard::Get(); }
};

struct Chapter {
    double start;
    std::string title;
};

std::vector<Chapter> Chapters(const std::string &file, const TempDir &dir) {
    const RunResult r = RunCommand("ffprobe -v error -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 " +
                                       Quote(file),
                                   dir);
    std::vector<Chapter> chapters;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        chapters.push_back({std::atof(line.c_str()), comma == std::string::npos ? "" : line.substr(comma + 1)});
    }
    return chapters;
}

// The day one file per channel: every recording's pictures at continuous
// times, the gap cut and each stretch of recording a chapter; without the
// password the encrypted recording is left out, named, and the exit is 5.
TEST_F(DayJoin, OneFilePerChannelWithAChapterPerStretch) {
    struct Case {
        const char *name;
        std::vector<std::string> extra;
        int exitCode;
        size_t frames;
    } cases[] = {
        {"with the password", {"--password", kPassword}, 0, 5 * 1500},
        {"without it", {}, 5, 4 * 1500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        std::vector<std::string> args = {"export-day", minutes().Day(), out / "day", "--join", "--format", ".mkv"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = RunAvfile(args, out);
        ASSERT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode) {
            EXPECT_NE(r.err.find("left out 2015-01-09 10:06:00 to 2015-01-09 10:07:00: 2_20150109-100600"),
                      std::string::npos)
                << r.err;
        }
        EXPECT_TRUE(std::filesystem::exists(out / "day/2015-01-09.gpx"));
        for (int channel = 1; channel <= kChannels; ++channel) {
            SCOPED_TRACE("channel " + std::to_string(channel));
            const std::string file = out / ("day/2015-01-09_ch" + std::to_string(channel) + ".mkv");
            const std::vector<Packet> packets = VideoPackets(file, out);
            ASSERT_EQ(packets.size(), c.frames);
            for (size_t i = 1; i < packets.size(); ++i) {
                ASSERT_NEAR(packets[i].time - packets[i - 1].time, 0.04, 0.002) << "frame " << i;
            }
            const std::vector<Chapter> chapters = Chapters(file, out);
            ASSERT_EQ(chapters.size(), 2u);
            EXPECT_NEAR(chapters[0].start, 0, 0.001);
            EXPECT_EQ(chapters[0].title, "2015-01-09 10:00:00");
            EXPECT_NEAR(chapters[1].start, 180, 0.001);
            EXPECT_EQ(chapters[1].title, "2015-01-09 10:05:00");
        }
    }
}

}  // namespace

namespace {

class ExportGps : public CliTest {};

// A whole recording exported to Matroska or MP4 carries its fixes as the
// subtitle stream too, and its start position as the file's location.
TEST_F(ExportGps, ContainerExportCarriesTheFixesAsCues) {
    for (const char *name : {"export.mkv", "export.mp4"}) {
        SCOPED_TRACE(name);
        const RunResult r = RunAvfile({"export", card().PlainFile(2), "-o", dir / name}, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const RunResult cues = RunCommand("ffprobe -v error -select_streams s -show_entries packet=pts_time,duration_time"
                                          " -of csv=p=0 " + Quote(dir / name), dir);
        size_t count = 0;
        std::istringstream lines(cues.out);
        std::string line;
        while (std::getline(lines, line)) count += line.find("N/A") == std::string::npos ? 1 : 0;
        EXPECT_EQ(count, static_cast<size_t>(SampleCard::kFixesPerFile)) << cues.out;
        const RunResult location = RunCommand("ffprobe -v error -show_entries format_tags=location -of csv=p=0 " +
                                                  Quote(dir / name), dir);
        EXPECT_EQ(location.out, "+31.8463+121.5083/\n");
    }
}

}  // namespace

// The avfile program is built for Linux only.
#if !defined(_WIN32)
namespace {

class ClipInterrupt : public CliTest {
protected:
    static const MinuteCard &minutes() { return MinuteCard::Get(); }
};

// Stopped while its outputs are being written (the clip and the GPX beside
// it, or the mosaic), the command gets SIGTERM and goes on: it ends by the
// signal and leaves nothing behind.
TEST_F(ClipInterrupt, RemovesEveryOutputBeingWritten) {
    const std::vector<std::vector<std::string>> commands = {
        {"clip", minutes().Day(), "--from", "10:00:00", "--to", "10:03:00", "--channel", "1", "--gpx", "-o", "clip.mkv"},
        {"clip", minutes().Day(), "--from", "10:00:00", "--to", "10:00:30", "--mosaic", "-o", "mosaic.mp4"},
    };
    for (const std::vector<std::string> &args : commands) {
        SCOPED_TRACE(args.back());
        bool tested = false;
        for (int attempt = 0; attempt < 20 && !tested; ++attempt) {
            TempDir folder;
            RunningProgram program(AvfileCommand(args), folder);
            bool caught = false;
            while (!caught && program.Running()) {
                if (Entries(folder).empty()) {
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                    continue;
                }
                if (!program.Stop()) continue;
                caught = !Entries(folder).empty();
                if (caught) program.Signal(SIGTERM);
                program.Continue();
            }
            const RunResult r = program.Wait();
            if (!caught) continue;  // it ended before a write was seen
            tested = true;
            EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
            EXPECT_EQ(Entries(folder), std::set<std::string>{});
        }
        EXPECT_TRUE(tested) << "the command always ended before it was seen writing";
    }
}

}  // namespace
#endif
