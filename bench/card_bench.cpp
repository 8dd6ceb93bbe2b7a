// card_bench CARD AVFILE [DAYS FILES]: `avfile scan` of a whole card against
// listing its files and reading the first 4 KiB of each, and the scan's
// peak memory on the whole card against one day of it.
//
// The card (DAYS day folders of FILES small one-second recordings each, 8
// channels; 7 and 11,520 unless given) is written once into CARD and kept
// there for the next run. The scan and the yardstick run as child
// processes with the files in the page cache; each is taken at its fastest
// of three passes. Prints, for ReadExternalFigures,
//   scan card SECONDS FILES 0         avfile scan CARD, processor seconds
//   listing card SECONDS FILES 0      find CARD -type f | wc -l, plus reading
//                                     the first 4 KiB of every file
//   scanpeak card 1 0 BYTES           the scan's peak resident memory
//   scanpeak card-day 1 0 BYTES       the same for the card's first day only
//
// card_bench --heads LIST is the child that reads the first 4 KiB of every
// file named in LIST (one path a line).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "child_run.h"
#include "recsim/recsim.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kCardStart = 1420761600;  // 2015-01-09 00:00:00
constexpr int kChannels = 8;

std::string DayName(int day) {
    const recsim::CivilTime t = recsim::CivilFromSeconds(kCardStart + day * 86400);
    char name[16];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d", t.year, t.month, t.day);
    return name;
}

// Every file of the card, written when the stamp of this shape is missing.
bool WriteCard(const fs::path &card, int days, int files) {
    const fs::path stamp = card / ("written-by-card_bench-1-" + std::to_string(days) + "x" + std::to_string(files));
    std::error_code ec;
    if (fs::exists(stamp, ec)) return true;
    fs::remove_all(card, ec);
    recsim::RecordingPlan plan;
    plan.seconds = 1;
    plan.keyFrameSize = 400;
    plan.frameSize = 40;
    plan.audioChannels = {};
    recsim::FileRecipe recording = recsim::PlannedFile(plan, kCardStart);
    for (int day = 0; day < days; ++day) {
        const fs::path video = card / DayName(day) / "video";
        fs::create_directories(video, ec);
        fs::create_directories(card / DayName(day) / "alarm", ec);
        if (ec) return false;
        for (int i = 0; i < files; ++i) {
            const int channel = i % kChannels;
            const int32_t start = kCardStart + day * 86400 + (i / kChannels) * 60 + channel % 3;
            recording.header.startSeconds = start;
            recording.header.stopSeconds = start + 60;
            recording.header.videoChannel = static_cast<int8_t>(channel);
            const std::string name = recsim::RecordFileName(recsim::RecordNameAt(start, channel, false, 25));
            if (!recsim::WriteFile((video / name).string(), recording)) return false;
        }
    }
    std::ofstream(stamp) << "complete\n";
    return true;
}

int ReadHeads(const char *list) {
    std::ifstream in(list);
    std::string path;
    static char head[4096];
    unsigned long files = 0;
    while (std::getline(in, path)) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return 1;
        if (read(fd, head, sizeof head) < 0) return 1;
        close(fd);
        ++files;
    }
    return files > 0 ? 0 : 1;
}

ChildFigures Fastest(int passes, const std::vector<std::string> &args, const char *output) {
    ChildFigures best;
    best.seconds = 1e30;
    for (int pass = 0; pass < passes; ++pass) {
        const ChildFigures f = RunChild(args, output);
        if (!f.ok) return f;
        best.ok = true;
        best.seconds = std::min(best.seconds, f.seconds);
        best.peakBytes = std::max(best.peakBytes, f.peakBytes);
    }
    return best;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--heads") == 0) return ReadHeads(argv[2]);
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: card_bench CARD AVFILE [DAYS FILES]\n");
        return 2;
    }
    const fs::path card = fs::absolute(argv[1]);
    const std::string avfile = fs::absolute(argv[2]).string();
    const int days = argc == 5 ? std::max(1, std::atoi(argv[3])) : 7;
    const int files = argc == 5 ? std::max(kChannels, std::atoi(argv[4])) : 11520;
    if (!WriteCard(card, days, files)) {
        std::fprintf(stderr, "card_bench: cannot write the card in %s\n", card.string().c_str());
        return 1;
    }
    // The list the yardstick's reader takes, made outside its time.
    const fs::path list = card.string() + ".files";
    {
        std::ofstream out(list);
        for (const auto &entry : fs::recursive_directory_iterator(card)) {
            if (entry.is_regular_file() && entry.path().extension() == ".avi") out << entry.path().string() << '\n';
        }
    }
    std::error_code ec;
    const std::string self = fs::canonical("/proc/self/exe", ec).string();
    const int passes = 3;
    // The first pass of each also brings the files into the page cache.
    const ChildFigures count =
        Fastest(passes, {"sh", "-c", "find \"$0\" -type f | wc -l", card.string()}, "/dev/null");
    const ChildFigures heads = Fastest(passes, {self.empty() ? argv[0] : self, "--heads", list.string()}, nullptr);
    const ChildFigures scan = Fastest(passes, {avfile, "scan", card.string()}, "/dev/null");
    const ChildFigures day = Fastest(1, {avfile, "scan", (card / DayName(0)).string()}, "/dev/null");
    fs::remove(list, ec);
    if (!count.ok || !heads.ok || !scan.ok || !day.ok) {
        std::fprintf(stderr, "card_bench: %s failed\n",
                     !count.ok ? "find" : !heads.ok ? "reading the files" : "avfile scan");
        return 1;
    }
    const double tick = 1e-6;
    const double total = static_cast<double>(days) * files;
    std::printf("scan card %.9f %.0f 0\n", std::max(scan.seconds, tick), total);
    std::printf("listing card %.9f %.0f 0\n", std::max(count.seconds + heads.seconds, tick), total);
    std::printf("scanpeak card 1 0 %.0f\n", scan.peakBytes);
    std::printf("scanpeak card-day 1 0 %.0f\n", day.peakBytes);
    return 0;
}
