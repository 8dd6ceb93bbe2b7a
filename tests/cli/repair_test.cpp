// avfile repair: a copy of a recording cut short by power loss that the
// library opens and plays, written under a temporary name, the input left
// as it was; sound files reported and not copied; files with nothing to
// salvage refused with their exit code and no output.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "cli/cli_run.h"
#include "recsim/recsim.h"
#include "salvage/small_recording.h"

namespace {

namespace fs = std::filesystem;

class Repair : public CliTest {
protected:
    std::string Write(const std::string &name, const std::vector<uint8_t> &bytes) {
        return dir.WriteFile(name, std::string(bytes.begin(), bytes.end()));
    }
};

std::vector<uint8_t> Bytes(const std::string &path) {
    const std::string s = TempDir::ReadFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Video frames and key frames the library plays of a file; -1 when it does
// not open.
std::pair<int, int> PlayedVideo(const std::string &path) {
    AvFileHandle h = nullptr;
    if (AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &h) != 0) return {-1, -1};
    int video = 0, keys = 0;
    AvFrameInfo f{};
    while (AVFILE_FEReadFrame(h, &f, nullptr) == 0) {
        video += f.type == FRAME_TYPE_I || f.type == FRAME_TYPE_P;
        keys += f.type == FRAME_TYPE_I;
    }
    AVFILE_FECloseFile(h);
    return {video, keys};
}

// What a cut leaves of a recording: the complete video frames and key
// frames in front of it, and the bytes behind the last complete chunk.
struct Left {
    int video = 0, keys = 0;
    uint64_t afterDamage = 0;
};

Left LeftBy(const recsim::WrittenFile &w, size_t cut) {
    Left left;
    uint64_t end = w.movieListOffset + 12;
    for (const recsim::WrittenChunk &c : w.chunks) {
        if (c.offset + 8 + c.length > cut) break;
        end = c.offset + 8 + c.length + (c.length & 1);
        if (c.kind == recsim::ChunkKind::Video) {
            ++left.video;
            left.keys += c.key;
        }
    }
    left.afterDamage = cut - (end < cut ? end : cut);
    return left;
}

int Count(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(Repair, PowerLossRecordingPlaysAndTheInputStaysAsItWas) {
    const bool ffprobe = ToolInstalled("ffprobe -version", dir);
    for (bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted ? "encrypted" : "plain");
        const recsim::FileRecipe base = SmallRecording(encrypted);
        recsim::WrittenFile w;
        recsim::BuildFile(base, &w);
        const recsim::WrittenChunk &last = w.chunks.back();
        const size_t cut = last.offset + 8 + last.length - 5;
        const std::vector<uint8_t> damaged = recsim::BuildFile(recsim::PowerLossFile(base, cut));
        const Left left = LeftBy(w, cut);
        const std::string name = encrypted ? "encrypted.avi" : "plain.avi";
        const std::string input = Write("in/" + name, damaged);
        const auto mtime = fs::last_write_time(input);
        dir.MakeDir("out" + std::string(encrypted ? "e" : "p"));
        const std::string outDir = encrypted ? "oute" : "outp";
        const std::set<std::string> before = Entries(dir);

        const RunResult r = RunAvfile({"repair", "in/" + name, "--output-dir", outDir}, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("repaired, " + std::to_string(left.video) + " video frames"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("1 chunk dropped, " + std::to_string(left.afterDamage) + " bytes after the damage"),
                  std::string::npos)
            << r.out;
        std::set<std::string> after = before;
        after.insert(outDir + "/" + name);
        EXPECT_EQ(Entries(dir), after);
        EXPECT_TRUE(Bytes(input) == damaged);
        EXPECT_EQ(fs::last_write_time(input), mtime);

        const std::string repaired = dir / (outDir + "/" + name);
        const auto played = PlayedVideo(repaired);
        EXPECT_EQ(played.first, left.video);
        EXPECT_EQ(played.second, left.keys);

        if (ffprobe) {
            const RunResult p = RunCommand("ffprobe -v quiet -select_streams v:0 -show_entries packet=flags -of csv=p=0 " +
                                               Quote(repaired),
                                           dir);
            ASSERT_EQ(p.exitCode, 0) << p.err;
            EXPECT_EQ(Count(p.out, "\n"), left.video) << p.out;
            // FFmpeg types a key frame by parsing its payload: an enciphered
            // one is not typed, in the finished recording neither.
            if (!encrypted) {
                EXPECT_EQ(Count(p.out, "K"), left.keys) << p.out;
            }
        }

        // The copy is sound: a second repair writes nothing.
        const std::set<std::string> repairedSet = Entries(dir);
        const RunResult again = RunAvfile({"repair", outDir + "/" + name, "-o", "again.avi"}, dir);
        EXPECT_EQ(again.exitCode, 0) << again.err;
        EXPECT_NE(again.out.find("sound, nothing to repair"), std::string::npos) << again.out;
        EXPECT_EQ(Entries(dir), repairedSet);

        // The input as output, however it is spelled, is refused.
        for (const std::string &same : {"in/" + name, "./in/" + name, "in/../in/" + name, dir / ("in/" + name)}) {
            SCOPED_TRACE(same);
            const RunResult refused = RunAvfile({"repair", "in/" + name, "-o", same}, dir);
            EXPECT_EQ(refused.exitCode, 2);
            EXPECT_NE(refused.err.find("is the file to repair"), std::string::npos) << refused.err;
            EXPECT_EQ(Entries(dir), repairedSet);
            EXPECT_TRUE(Bytes(input) == damaged);
            EXPECT_EQ(fs::last_write_time(input), mtime);
        }
        if (!ffprobe) std::printf("ffprobe not installed: the packet check was skipped\n");
    }
}

// A file whose header blocks are lost: refused without a reference, repaired
// with one.
TEST_F(Repair, LostHeaderTakenFromAReference) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(base, &w);
    const std::vector<uint8_t> damaged = HeaderlessPowerLoss(base, w);
    Write("headerless.avi", damaged);
    Write("sound.avi", whole);
    const std::set<std::string> before = Entries(dir);

    const RunResult refused = RunAvfile({"repair", "headerless.avi", "-o", "out.avi"}, dir);
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_NE(refused.err.find("--reference"), std::string::npos) << refused.err;
    EXPECT_EQ(Entries(dir), before);

    const RunResult r = RunAvfile({"repair", "headerless.avi", "-o", "out.avi", "--reference", "sound.avi"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("header blocks from the reference"), std::string::npos) << r.out;
    const recsim::WrittenChunk &last = w.chunks.back();
    EXPECT_EQ(PlayedVideo(dir / "out.avi").first, LeftBy(w, last.offset + 8 + last.length - 5).video);
}

// Nothing to salvage, and wrong command lines: the documented exit code, one
// line saying why, nothing written.
TEST_F(Repair, RefusedWithItsExitCodeAndNoOutput) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(base, &w);
    Write("zero.avi", {});
    Write("random.avi", RandomBytes(20000, 11));
    Write("headerless.avi", HeaderlessPowerLoss(base, w));
    Write("sound.avi", whole);
    Write("noframe.avi",
          recsim::BuildFile(recsim::PowerLossFile(base, w.Of(recsim::ChunkKind::Video)[0]->offset + 20)));
    dir.MakeDir("outdir");

    struct Case {
        const char *name;
        std::vector<std::string> args;
        int exitCode;
        const char *message;
    } cases[] = {
        {"zero bytes", {"zero.avi", "-o", "out.avi"}, 4, "not a record file"},
        {"random bytes", {"random.avi", "-o", "out.avi"}, 4, "not a record file"},
        {"headerless", {"headerless.avi", "--output-dir", "outdir"}, 4, "header is lost"},
        {"headerless, reference headerless too",
         {"headerless.avi", "-o", "out.avi", "--reference", "headerless.avi"}, 4, "has none either"},
        {"no complete video frame", {"noframe.avi", "-o", "out.avi"}, 1, "no complete video frame"},
        {"missing file", {"missing.avi", "-o", "out.avi"}, 3, "no such file"},
        {"missing reference", {"headerless.avi", "-o", "out.avi", "--reference", "missing.avi"}, 6, "cannot be read"},
        {"no output named", {"headerless.avi"}, 2, "-o OUT or --output-dir"},
        {"both outputs", {"headerless.avi", "-o", "out.avi", "--output-dir", "outdir"}, 2, "-o OUT or --output-dir"},
        {"-o for several files", {"headerless.avi", "noframe.avi", "-o", "out.avi"}, 2, "--output-dir"},
        {"output is the reference", {"headerless.avi", "-o", "sound.avi", "--reference", "./sound.avi"}, 2,
         "is the reference"},
    };
    const std::set<std::string> before = Entries(dir);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"repair"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunAvfile(args, dir);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(Entries(dir), before);
    }
    EXPECT_TRUE(Bytes(dir / "sound.avi") == whole);
}

}  // namespace
