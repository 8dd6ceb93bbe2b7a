// clip_bench DIR PASSES AVFILE CLIP [--small]: clips ten minutes of channel 1
// out of ten one-minute recordings with `AVFILE clip` (stream copy into
// Matroska) and copies the same ten files with cp, each in a child process,
// PASSES times. The recordings are written once into DIR/clip-card/ with the
// recorder simulator: CLIP's pictures (sample_clip.h264) padded with filler
// units to 4 Mbit/s (--small: a few kbit/s, for the smoke run), 8 kHz sound
// and a GPS fix a second.
//
// Prints, for ReadExternalFigures, the fastest pass of each as
//   copy clip_10min SECONDS 0 BYTES    cp's processor seconds, bytes of the ten files
//   clip clip_10min SECONDS 0 BYTES    the clip's processor seconds
// Processor time is user + system of the child (wait4's rusage).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "child_run.h"
#include "recsim/recsim.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10;
constexpr int32_t kStart = 1420797600;  // 2015-01-09 10:00:00
constexpr const char *kName = "clip_10min";

// A filler unit (type 12) of `size` bytes behind the picture: what a
// recorder's constant bit rate pads its pictures with.
void Pad(std::vector<uint8_t> &unit, size_t size) {
    if (size < 6) return;
    unit.insert(unit.end(), {0, 0, 0, 1, 0x0c});
    unit.insert(unit.end(), size - 6, 0xff);
    unit.push_back(0x80);
}

bool WriteCard(const fs::path &root, const std::string &clipPath, bool small, std::vector<std::string> &files) {
    std::ifstream in(clipPath, std::ios::binary);
    const std::vector<uint8_t> clip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<recsim::AccessUnit> units = recsim::SplitAccessUnits(clip);
    if (units.empty()) return false;
    // 4 Mbit/s at 25 pictures a second: 20 000 bytes a picture.
    const size_t picture = small ? 400 : 20000;
    for (recsim::AccessUnit &u : units) {
        if (u.bytes.size() < picture) Pad(u.bytes, picture - u.bytes.size());
    }
    recsim::TreeWriter tree(root.string() + "/");
    for (int i = 0; i < kFiles; ++i) {
        const int32_t start = kStart + 60 * i;
        const recsim::RecordName name = recsim::RecordNameAt(start, 0, false, 25);
        const fs::path path = root / "2015-01-09" / "video" / recsim::RecordFileName(name);
        files.push_back(path.string());
        if (fs::exists(path)) continue;
        recsim::RecordingPlan plan;
        plan.seconds = 60;
        plan.video = &units;
        recsim::FileRecipe recipe = recsim::PlannedFile(plan, start);
        recsim::DescribePcmAudio(recipe);
        recipe.width = 320;
        recipe.height = 240;
        if (tree.AddFile("2015-01-09", "video", recsim::RecordFileName(name), recipe).empty()) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 5 || argc > 6 || (argc == 6 && std::strcmp(argv[5], "--small") != 0)) {
        std::fprintf(stderr, "usage: clip_bench DIR PASSES AVFILE CLIP [--small]\n");
        return 2;
    }
    const bool small = argc == 6;
    const fs::path card = fs::path(argv[1]) / (small ? "clip-card-small" : "clip-card");
    const int passes = std::max(1, std::atoi(argv[2]));
    std::vector<std::string> files;
    if (!WriteCard(card, argv[4], small, files)) {
        std::fprintf(stderr, "clip_bench: cannot write the recordings below %s\n", card.string().c_str());
        return 1;
    }
    std::error_code ec;
    double bytes = 0;
    for (const std::string &f : files) bytes += static_cast<double>(fs::file_size(f, ec));
    const fs::path outDir = fs::path(argv[1]) / "clip-out";
    fs::remove_all(outDir, ec);
    fs::create_directories(outDir / "copy", ec);
    // Warm the page cache: both read the recordings from memory.
    for (const std::string &f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        }
    }
    const std::string day = (card / "2015-01-09").string();
    const std::string clip = (outDir / "clip.mkv").string();

    ChildFigures bestCopy, bestClip;
    bestCopy.seconds = bestClip.seconds = 1e30;
    for (int pass = 0; pass < passes; ++pass) {
        // Both write new files: neither pays for truncating the last ones.
        fs::remove_all(outDir / "copy", ec);
        fs::create_directories(outDir / "copy", ec);
        std::vector<std::string> cp = {"cp"};
        cp.insert(cp.end(), files.begin(), files.end());
        cp.push_back((outDir / "copy").string());
        const ChildFigures c = RunChild(cp);
        fs::remove(clip, ec);
        // The clip's report goes nowhere; its errors stay visible.
        const ChildFigures r = RunChild({argv[3], "clip", day, "--from", "10:00:00", "--to", "10:10:00", "--channel", "1",
                                         "-o", clip},
                                        "/dev/null");
        if (!c.ok || !r.ok) {
            std::fprintf(stderr, "clip_bench: %s failed\n", c.ok ? "the clip" : "cp");
            return 1;
        }
        bestCopy.seconds = std::min(bestCopy.seconds, c.seconds);
        bestClip.seconds = std::min(bestClip.seconds, r.seconds);
    }
    fs::remove_all(outDir, ec);
    const double tick = 1e-6;
    std::printf("copy %s %.9f 0 %.0f\n", kName, std::max(bestCopy.seconds, tick), bytes);
    std::printf("clip %s %.9f 0 %.0f\n", kName, std::max(bestClip.seconds, tick), bytes);
    return 0;
}
