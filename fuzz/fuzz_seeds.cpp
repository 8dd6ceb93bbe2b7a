// Writes the fuzzers' seed corpora from the recorder simulator:
//
//   fuzz_seeds FOLDER
//
// makes FOLDER/record_file, FOLDER/names, FOLDER/rmc and FOLDER/tree, one
// sample per file.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_support.h"
#include "recsim/recsim.h"

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

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const char *kinds[] = {"record_file", "names", "rmc", "tree"};
    std::error_code ec;
    for (const char *kind : kinds) std::filesystem::create_directories(root / kind, ec);
    bool ok = true;

    for (const auto &sample : SampleRecordings()) {
        ok &= WriteBytes((root / "record_file" / (sample.label + ".avi")).string(),
                               sample.bytes.data(), sample.bytes.size());
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
