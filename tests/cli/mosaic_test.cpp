// The mosaic of a simulated card whose pictures carry a frame counter: each
// tile of every output frame, decoded by ffmpeg, shows the picture its
// channel recorded at that frame's time, or black where it recorded none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "recsim/recsim.h"

namespace {

constexpr int64_t kT0 = 1420797600;  // 2015-01-09 10:00:00 on the recorder's clock
constexpr int kWidth = 160, kHeight = 120;
constexpr int kClipFrames = 100;  // four seconds at 25 frames per second
constexpr int kBits = 8;          // bars across the lower half, lowest bit left

// Every picture a key frame, so that a channel may start anywhere in the
// clip: channel c starts 10 c pictures in, and its tiles tell apart.
std::string CounterClip(const std::string &size, const std::string &name) {
    return "ffmpeg -v error -y -f lavfi -i \"color=c=gray:s=" + size + ":r=25:d=4,format=yuv420p,"
           "geq=lum='if(gt(Y,H/2),if(mod(floor(N/pow(2,floor(X*8/W))),2),235,16),128)':cb=128:cr=128\""
           " -c:v libx264 -profile:v baseline -preset veryfast -crf 18 -g 1 -bf 0 -pix_fmt yuv420p"
           " -x264-params aud=1 -bsf:v filter_units=remove_types=6 -f h264 " + name;
}

struct File {
    int channel;    // 0-based
    int64_t start;  // seconds
    bool large = false;  // recorded at 320x240: its tile is scaled down
};
// One-minute files. The window 10:00:56 to 10:01:04: channels 1 and 4 record
// all of it in two files (channel 4's second one at a larger picture size),
// channel 2 starts a second after the others' second file, channel 3 stops
// at the end of its first.
const File kFiles[] = {{0, kT0}, {0, kT0 + 60}, {1, kT0 + 61}, {2, kT0}, {3, kT0}, {3, kT0 + 60, true}};

class Mosaic : public CliTest {};

// The counter a tile shows, or -1 for a black tile.
int ReadTile(const std::string &picture, int width, int x0, int y0) {
    auto at = [&](int x, int y) { return static_cast<unsigned char>(picture[static_cast<size_t>((y0 + y) * width + x0 + x)]); };
    // The upper half is mid-grey in every recorded picture.
    if (at(kWidth - 20, kHeight / 3) < 80) return -1;
    int value = 0;
    for (int b = 0; b < kBits; ++b) {
        if (at(b * kWidth / kBits + kWidth / kBits / 2, kHeight * 3 / 4) > 128) value |= 1 << b;
    }
    return value;
}

TEST_F(Mosaic, TilesShowTheirChannelsPictureOfEachFrameTime) {
    std::vector<recsim::AccessUnit> clips[2];
    for (int large = 0; large < 2; ++large) {
        const std::string name = large ? "large.h264" : "counter.h264";
        const RunResult made = RunCommand(CounterClip(large ? "320x240" : "160x120", name), dir);
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const std::string clip = TempDir::ReadFile(dir / name);
        clips[large] = recsim::SplitAccessUnits(std::vector<uint8_t>(clip.begin(), clip.end()));
        ASSERT_EQ(clips[large].size(), static_cast<size_t>(kClipFrames));
    }

    recsim::TreeWriter tree(dir / "card/");
    for (const File &f : kFiles) {
        const std::vector<recsim::AccessUnit> &units = clips[f.large ? 1 : 0];
        std::vector<recsim::AccessUnit> rotated(units.begin() + 10 * f.channel, units.end());
        rotated.insert(rotated.end(), units.begin(), units.begin() + 10 * f.channel);
        recsim::RecordingPlan plan;
        plan.seconds = 60;
        plan.video = &rotated;
        plan.audioChannels = {f.channel};
        recsim::FileRecipe recipe = recsim::PlannedFile(plan, static_cast<int32_t>(f.start));
        recsim::DescribePcmAudio(recipe);
        recipe.header.videoChannel = static_cast<int8_t>(f.channel);
        recipe.width = f.large ? 2 * kWidth : kWidth;
        recipe.height = f.large ? 2 * kHeight : kHeight;
        const recsim::RecordName name = recsim::RecordNameAt(f.start, f.channel, false, 25);
        ASSERT_FALSE(tree.AddFile("2015-01-09", "video", recsim::RecordFileName(name), recipe).empty());
    }

    const RunResult r = RunAvfile({"clip", dir / "card/2015-01-09", "--from", "10:00:56", "--to", "10:01:04",
                                   "--mosaic", "-o", dir / "mosaic.mp4"},
                                  dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("mosaic of 4 channels, 320x264, 200 frames at 25 frames/s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("libx264"), std::string::npos);

    const RunResult decoded =
        RunCommand("ffmpeg -v error -i " + Quote(dir / "mosaic.mp4") + " -f rawvideo -pix_fmt gray gray.raw", dir);
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
    const std::string frames = TempDir::ReadFile(dir / "gray.raw");
    const int width = 2 * kWidth, height = 2 * kHeight + 24;
    ASSERT_EQ(frames.size(), static_cast<size_t>(200 * width * height));
    int black = 0;
    for (int k = 0; k < 200; ++k) {
        const std::string picture = frames.substr(static_cast<size_t>(k) * width * height,
                                                  static_cast<size_t>(width) * height);
        const int64_t tUs = (kT0 + 56) * 1000000 + k * 40000;
        for (int channel = 0; channel < 4; ++channel) {
            SCOPED_TRACE("frame " + std::to_string(k) + ", channel " + std::to_string(channel + 1));
            int expected = -1;
            for (const File &f : kFiles) {
                const int64_t into = tUs - f.start * 1000000;
                if (f.channel == channel && into >= 0 && into < 60000000) {
                    expected = static_cast<int>((into / 40000 + 10 * channel) % kClipFrames);
                }
            }
            const int shown = ReadTile(picture, width, (channel % 2) * kWidth, (channel / 2) * kHeight);
            if (expected < 0) {
                EXPECT_EQ(shown, -1);
                ++black;
                continue;
            }
            ASSERT_GE(shown, 0);
            // Within one frame, the counter wrapping at the clip's end.
            const int off = std::abs(shown - expected);
            EXPECT_LE(std::min(off, kClipFrames - off), 1) << "shows " << shown << ", recorded " << expected;
        }
    }
    // Channel 2 before its start, channel 3 after its file.
    EXPECT_EQ(black, 125 + 100);
}

}  // namespace
