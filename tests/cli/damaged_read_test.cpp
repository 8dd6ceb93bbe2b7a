// A recording cut short by power loss given to info, frames, export and
// export-day: one line on standard error says it is incomplete, and the
// command then gives what it gives on the copy `avfile repair` writes. The
// repaired copy lies in the temporary folder while the command runs and is
// gone afterwards; nothing is written beside the input.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "recsim/recsim.h"

namespace {

constexpr int32_t kStart = 1420800569;  // 2015-01-09 10:49:29

class DamagedRead : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (IsSkipped()) return;
        const std::string clip = SampleClip();
        units = recsim::SplitAccessUnits(std::vector<uint8_t>(clip.begin(), clip.end()));
        recsim::RecordingPlan plan;
        plan.seconds = 4;
        plan.video = &units;
        plan.audioChannels = {0};
        recsim::FileRecipe whole = recsim::PlannedFile(plan, kStart);
        recsim::DescribePcmAudio(whole);
        whole.width = 320;
        whole.height = 240;
        recsim::WrittenFile w;
        const std::vector<uint8_t> bytes = recsim::BuildFile(whole, &w);
        const size_t cut = bytes.size() * 6 / 10;
        for (const recsim::WrittenChunk &c : w.chunks) {
            if (c.offset + 8 + c.length > cut) break;
            if (c.kind != recsim::ChunkKind::Video) continue;
            ++frames;
            keys += c.key;
        }
        name = recsim::RecordFileName(recsim::RecordNameAt(kStart, 0));
        dir.MakeDir("card/2015-01-09/video");
        input = "card/2015-01-09/video/" + name;
        ASSERT_TRUE(recsim::WriteFile(dir / input, recsim::PowerLossFile(whole, cut)));
        // Cut alone, its headers as written at close: the library opens it
        // and types its video by rule.
        recsim::FileRecipe cutOnly = whole;
        cutOnly.truncateAt = cut;
        dir.MakeDir("cut");
        ASSERT_TRUE(recsim::WriteFile(dir / ("cut/" + name), cutOnly));
        dir.MakeDir("tmp");
        dir.MakeDir("repaired");
        dir.MakeDir("repaired-cut");
        repaired = "repaired/" + name;
        cases = {{"cut/" + name, "repaired-cut/" + name, true}, {input, repaired, false}};
        for (const Case &c : cases) {
            const RunResult r = RunAvfile({"repair", c.input, "-o", c.repaired}, dir);
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
    }

    struct Case {
        std::string input, repaired;
        bool stopTime;  // the header's stop time was written
    };

    // avfile in the test's folder with its temporary folder in "tmp".
    RunResult Run(const std::vector<std::string> &args) {
        std::string line = "TMPDIR=" + Quote(dir / "tmp");
        for (const std::string &a : AvfileCommand(args)) line += " " + Quote(a);
        return RunCommand(line, dir);
    }

    // The line that says the file is damaged, once, and nothing else of it.
    static void ExpectTold(const RunResult &r, bool stopTime = false) {
        const std::string line = "incomplete recording: ";
        const size_t at = r.err.find(line);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(line, at + 1), std::string::npos) << r.err;
        const std::string told = r.err.substr(at, r.err.find('\n', at) - at);
        EXPECT_NE(told.find(" bytes usable, no index"), std::string::npos) << told;
        EXPECT_NE(told.find("torn last chunk"), std::string::npos) << told;
        EXPECT_EQ(told.find("no stop time") == std::string::npos, stopTime) << told;
    }

    // Every packet of a file as ffprobe reads it: stream, times, flags and
    // a hash of its bytes.
    std::string Packets(const std::string &file) const {
        const RunResult r = RunCommand("ffprobe -v error -show_data_hash md5 -show_entries "
                                       "packet=stream_index,pts,dts,duration,flags,data_hash -of csv " +
                                           Quote(file),
                                       dir);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_FALSE(r.out.empty());
        return r.out;
    }

    // What the temporary folder holds.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> files;
        for (const std::string &e : Entries(dir)) {
            if (e.rfind("tmp/", 0) == 0 && e != "tmp/") files.push_back(e);
        }
        return files;
    }

    static std::string Replaced(std::string text, const std::string &what, const std::string &with) {
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
            text.replace(at, what.size(), with);
        }
        return text;
    }

    static std::string WithoutFileLines(const std::string &info) {
        std::string kept;
        for (size_t at = 0, end; at < info.size(); at = end + 1) {
            end = info.find('\n', at);
            if (end == std::string::npos) end = info.size();
            const std::string line = info.substr(at, end - at);
            if (line.rfind("Size ", 0) != 0 && line.rfind("State ", 0) != 0 && line.rfind("Bit rate ", 0) != 0) {
                kept += line + "\n";
            }
        }
        return kept;
    }

    std::vector<recsim::AccessUnit> units;
    std::string name, input, repaired;
    std::vector<Case> cases;
    int frames = 0, keys = 0;
};

TEST_F(DamagedRead, InfoAndFramesReadTheRepairedCopy) {
    const std::set<std::string> before = Entries(dir);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        const std::string &input = c.input;
        const std::string &repaired = c.repaired;
        const RunResult info = Run({"info", input});
        ASSERT_EQ(info.exitCode, 0) << info.err;
        ExpectTold(info, c.stopTime);
        EXPECT_GT(keys, 1);
        EXPECT_NE(info.out.find("Video frames    " + std::to_string(frames) + " (" + std::to_string(keys) + " key frames"),
                  std::string::npos)
            << info.out;
        const RunResult infoOfCopy = RunAvfile({"info", repaired}, dir);
        ASSERT_EQ(infoOfCopy.exitCode, 0) << infoOfCopy.err;
        // The same but what tells the file on the card from its copy: its
        // size and damage.
        EXPECT_EQ(WithoutFileLines(info.out), WithoutFileLines(Replaced(infoOfCopy.out, repaired, input)));

        const RunResult list = Run({"frames", input});
        ASSERT_EQ(list.exitCode, 0) << list.err;
        ExpectTold(list, c.stopTime);
        const RunResult listOfCopy = RunAvfile({"frames", repaired}, dir);
        EXPECT_EQ(list.out, Replaced(listOfCopy.out, repaired, input));
        // The first video frame is the key frame, and every video frame's time
        // is after the one in front of it.
        const RunResult json = Run({"frames", input, "--json"});
        long long last = -1;
        int video = 0;
        for (size_t at = json.out.find("{\"index\""); at != std::string::npos; at = json.out.find("{\"index\"", at + 1)) {
            const std::string line = json.out.substr(at, json.out.find('\n', at) - at);
            const bool i = line.find("\"type\": \"I\"") != std::string::npos;
            if (!i && line.find("\"type\": \"P\"") == std::string::npos) continue;
            if (video++ == 0) {
                EXPECT_TRUE(i) << line;
            }
            const long long t = std::stoll(line.substr(line.find("\"timeUs\": ") + 10));
            EXPECT_GT(t, last) << line;
            last = t;
        }
        EXPECT_EQ(video, frames);
        EXPECT_EQ(Entries(dir), before);
    }
}

TEST_F(DamagedRead, ExportsEqualThoseOfTheRepairedCopy) {
    const bool ffprobe = ToolInstalled("ffprobe -version", dir);
    for (const Case &c : cases) {
        for (const char *format : {".h264", ".wav", ".gpx", ".geojson", ".kml", ".csv", ".mp4", ".mkv"}) {
            const bool matroska = std::string(format) == ".mkv";
            if (matroska && !ffprobe) continue;
            SCOPED_TRACE(c.input + format);
            const std::string folder = std::string(c.stopTime ? "cut-" : "") + "of-copy" + format;
            dir.MakeDir(folder);
            const std::string fromCopy = folder + "/out" + format;
            const RunResult copy = RunAvfile({"export", c.repaired, "-o", fromCopy}, dir);
            ASSERT_EQ(copy.exitCode, 0) << copy.err;

            std::set<std::string> expected = Entries(dir);
            const std::string out = std::string(c.stopTime ? "cut-" : "") + "out" + format;
            expected.insert(out);
            const RunResult r = Run({"export", c.input, "-o", out});
            ASSERT_EQ(r.exitCode, 0) << r.err;
            ExpectTold(r, c.stopTime);
            if (matroska) {
                // Matroska carries a random identifier: the packets compare.
                EXPECT_EQ(Packets(out), Packets(fromCopy));
            } else {
                EXPECT_TRUE(TempDir::ReadFile(dir / out) == TempDir::ReadFile(dir / fromCopy));
            }
            EXPECT_EQ(Entries(dir), expected);
        }
    }
}

TEST_F(DamagedRead, ExportDayExportsTheDamagedFile) {
    const RunResult copy = RunAvfile({"export", repaired, "-o", "copy.h264"}, dir);
    ASSERT_EQ(copy.exitCode, 0) << copy.err;
    const RunResult r = Run({"export-day", "card/2015-01-09", "day", "--format", ".h264"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectTold(r);
    const std::string stem = name.substr(0, name.size() - 4);
    EXPECT_TRUE(TempDir::ReadFile(dir / ("day/" + stem + ".h264")) == TempDir::ReadFile(dir / "copy.h264"));
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
}

// The copy is removed when the command is interrupted while it reads it,
// and when the reader of its output has gone (a closed pipe).
TEST_F(DamagedRead, AnInterruptedCommandLeavesNoCopy) {
    std::vector<std::string> args = {"env", "TMPDIR=" + (dir / "tmp")};
    for (const std::string &a : AvfileCommand({"export", input, "-o", "out.mp4"})) args.push_back(a);
    bool caught = false;
    for (int attempt = 0; attempt < 20 && !caught; ++attempt) {
        RunningProgram program(args, dir);
        while (!caught && program.Running()) {
            if (TempFiles().empty()) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            if (!program.Stop()) continue;
            caught = !TempFiles().empty();  // the copy may have gone before the stop
            if (caught) program.Signal(SIGINT);
            program.Continue();
        }
        const RunResult r = program.Wait();
        EXPECT_EQ(TempFiles(), std::vector<std::string>{});
        if (!caught) continue;  // it ended before the copy was seen
        EXPECT_EQ(r.exitCode, 128 + SIGINT) << r.err;
        EXPECT_EQ(Entries(dir).count("out.mp4"), 0u);
    }
    EXPECT_TRUE(caught) << "the export always ended before its copy was seen";

    std::string line = "TMPDIR=" + Quote(dir / "tmp");
    for (const std::string &a : AvfileCommand({"frames", input})) line += " " + Quote(a);
    // The reader has closed the pipe before the command starts: the gate
    // opens only after that.
    const RunResult r = RunCommand("mkfifo gate && { read _ < gate; " + line +
                                       "; echo \"status $?\" >&2; } | { exec 0<&-; echo > gate; }",
                                   dir);
    EXPECT_NE(r.err.find("incomplete recording: "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("status 0\n"), std::string::npos) << "the command never met the closed pipe: " << r.err;
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
}

}  // namespace
