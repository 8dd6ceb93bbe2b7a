// Writes the fuzzers' seed corpora from the recorder simulator:
//
//   fuzz_seeds FOLDER
//
// makes FOLDER/record_file, FOLDER/salvage, FOLDER/names, FOLDER/rmc and
// FOLDER/tree, one sample per file.
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "recsim/recsim.h"
#include "salvage/small_recording.h"

namespace {

bool Put(const std::filesystem::path &folder, const std::string &name, const std::string &text) {
    return WriteBytes((folder / name).string(), reinterpret_cast<const uint8_t *>(text.data()),
                            text.size());
}

std::string TreeOf(const std::vector<std::string> &days, int channels, bool alarm) {
    std::string text;
    int sample = 0;
    for (const std::string &day : days) {
        text += "D " + day + "/video\nD " + day + "/alarm\n";
        for (int c = 0; c < channels; ++c) {
            recsim::RecordName name = recsim::RecordNameAt(1420800569 + c, c, false, 25);
            text += "F " + day + "/video/" + recsim::RecordFileName(name) + " " +
                    std::to_string(sample++) + "\n";
            if (alarm) {
                name = recsim::RecordNameAt(1420800569 + 60, c, true, 25);
                text += "F " + day + "/alarm/" + recsim::RecordFileName(name) + " " +
                        std::to_string(sample++) + "\n";
            }
        }
    }
    return text;
}

// A recording well below the record file fuzzer's input limit.
recsim::RecordingPlan SmallPlan() {
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 4;
    plan.keyFrameInterval = 3;
    return plan;
}

// A small recording whose first stream's words carry the PCM marker, with
// the format words given.
std::vector<uint8_t> PcmMarked(uint32_t sampleRate, uint32_t byteRate) {
    recsim::FileRecipe recipe = recsim::PlannedFile(SmallPlan());
    recsim::DescribePcmAudio(recipe);
    recipe.formatWords = std::array<uint32_t, 3>{1u | (1u << 16), sampleRate, byteRate};
    return recsim::BuildFile(recipe);
}

// Record file seeds beyond the samples: the arithmetic edges of a damaged
// audio description and of what a careless host passes.
std::vector<std::pair<std::string, std::vector<uint8_t>>> EdgeSeeds() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    // The byte rate over the sample rate, per channel, in bits: 2^31 - 1
    // bytes a second at one sample a second, and the most negative byte rate
    // over a sample rate of -1 as signed words.
    out.emplace_back("pcm-marker-largest-byte-rate", PcmMarked(1, 0x7fffffffu));
    out.emplace_back("pcm-marker-rate-all-ones", PcmMarked(0xffffffffu, 0x80000000u));
    // The largest channel to open, and the largest audio channel to ask for.
    const std::vector<uint8_t> plain = recsim::BuildFile(recsim::PlannedFile(SmallPlan()));
    fuzz::HostChoices host;
    host.channel = INT32_MAX;
    out.emplace_back("host-largest-channel", fuzz::WithHostTrailer(plain, host));
    host = fuzz::HostChoices{};
    host.audioChannel = INT32_MAX;
    out.emplace_back("host-largest-audio-channel", fuzz::WithHostTrailer(plain, host));
    // Frames behind access unit delimiters lose them, and their lengths with
    // them, in a frame record the host left holding the smallest lengths.
    host = fuzz::HostChoices{};
    host.staleLength = INT32_MIN;
    recsim::RecordingPlan delimited = SmallPlan();
    delimited.delimiters = true;
    out.emplace_back("host-stale-smallest-lengths",
                     fuzz::WithHostTrailer(recsim::BuildFile(recsim::PlannedFile(delimited)), host));
    return out;
}

// Salvage scanner seeds: the simulator's power-loss shapes of the small
// recordings the salvage tests cut, plain and encrypted: cut inside the
// header list, behind the movie list's header, at a chunk and inside one;
// cut inside a chunk of a pre-allocated file (a tail of zeros, past the
// scanner's read window); cut behind a whole chunk with the stop time still
// at the start; and the finished file with its watermark trailer.
std::vector<std::pair<std::string, std::vector<uint8_t>>> SalvageSeeds() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    for (const bool encrypted : {false, true}) {
        const std::string form = encrypted ? "encrypted-" : "plain-";
        const recsim::FileRecipe base = SmallRecording(encrypted);
        recsim::WrittenFile w;
        recsim::BuildFile(base, &w);
        recsim::FileRecipe finished = base;
        finished.watermark = true;
        out.emplace_back(form + "finished", recsim::BuildFile(finished));
        const size_t middle = w.chunks[w.chunks.size() / 2].offset;
        const std::pair<const char *, size_t> cuts[] = {
            {"cut-in-header-list", 100},
            {"cut-behind-movie-list-header", size_t{w.movieListOffset} + 12},
            {"cut-at-chunk", middle},
            {"cut-in-chunk", middle + 30},
        };
        for (const auto &[name, cut] : cuts) {
            out.emplace_back(form + name, recsim::BuildFile(recsim::PowerLossFile(base, cut)));
        }
        recsim::FileRecipe laidOut = recsim::PowerLossFile(base, middle + 30);
        laidOut.powerLoss.sizes = recsim::OpeningSizes::Preallocated;
        laidOut.powerLoss.preallocatedSize = 160 * 1024;
        out.emplace_back(form + "cut-in-chunk-preallocated", recsim::BuildFile(laidOut));
        const recsim::WrittenChunk &last = w.chunks[w.chunks.size() - 2];
        recsim::FileRecipe whole = recsim::PowerLossFile(base, last.offset + 8 + last.length);
        whole.powerLoss.stopTime = recsim::OpeningStopTime::Start;
        out.emplace_back(form + "cut-behind-chunk-stop-at-start", recsim::BuildFile(whole));
    }
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const char *kinds[] = {"record_file", "salvage", "names", "rmc", "tree"};
    std::error_code ec;
    for (const char *kind : kinds) std::filesystem::create_directories(root / kind, ec);
    bool ok = true;

    for (const auto &sample : SampleRecordings()) {
        ok &= WriteBytes((root / "record_file" / (sample.label + ".avi")).string(),
                               sample.bytes.data(), sample.bytes.size());
    }
    for (const auto &[label, bytes] : EdgeSeeds()) {
        ok &= WriteBytes((root / "record_file" / (label + ".avi")).string(), bytes);
    }
    for (const auto &[label, bytes] : SalvageSeeds()) {
        ok &= WriteBytes((root / "salvage" / (label + ".avi")).string(), bytes);
    }
    int n = 0;
    for (const std::string &path : fuzz::SampleRecordPaths()) {
        ok &= Put(root / "names", "path-" + std::to_string(n++), path);
    }
    for (const std::string &day : fuzz::SampleDayNames()) ok &= Put(root / "names", "day-" + day, day);
    n = 0;
    for (const auto &chunk : fuzz::SampleTextChunks()) {
        ok &= WriteBytes((root / "rmc" / ("text-" + std::to_string(n++))).string(),
                               chunk.data(), chunk.size());
    }
    const std::vector<std::string> days = fuzz::SampleDayNames();
    ok &= Put(root / "tree", "one-day", TreeOf({days[0]}, 1, false));
    ok &= Put(root / "tree", "days-channels-alarm", TreeOf(days, 3, true));
    ok &= Put(root / "tree", "loose-files",
              "F " + recsim::RecordFileName(recsim::RecordNameAt(1420800569)) + " 1\n"
              "T 2015-01-09/video/1_20150109-104931_1030h.avi RIFF\nD 20150110_1/video\n");
    if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write below %s\n", argv[1]);
    return ok ? 0 : 1;
}
