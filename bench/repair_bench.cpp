// repair_bench DIR PASSES: repairs DIR/repair_10min.avi (a recording cut
// short by power loss, written by bench_data) and copies the same file with
// cp, each in a child process, PASSES times, into DIR/repair-out/.
//
// Prints, for ReadExternalFigures, the fastest pass of each as
//   copy FILE SECONDS 0 BYTES      cp's processor seconds, bytes of the file
//   repair FILE SECONDS 0 BYTES    the repair's processor seconds
//   peak FILE SECONDS 0 BYTES      the repair's peak resident memory in BYTES
// Processor time is user + system of the child (wait4's rusage); the peak is
// its ru_maxrss.
//
// repair_bench --repair IN OUT is the child that repairs (salvage::RepairFile
// into a file written through a 1 MiB buffer).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "child_run.h"
#include "salvage/salvage_repair.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kRecording = "repair_10min.avi";

class FileOutput final : public salvage::ByteOutput {
public:
    explicit FileOutput(std::FILE *file) : m_file(file) {}
    bool Write(const uint8_t *data, size_t bytes) override {
        return std::fwrite(data, 1, bytes, m_file) == bytes;
    }

private:
    std::FILE *m_file;
};

int RepairChild(const char *input, const char *output) {
    std::FILE *file = std::fopen(output, "wb");
    if (file == nullptr) return 1;
    // The copy goes out in writes of 1 MiB, as cp's do.
    static char buffer[1 << 20];
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
    FileOutput out(file);
    const salvage::RepairResult r = salvage::RepairFile(input, nullptr, out);
    const bool closed = std::fclose(file) == 0;
    if (r.status != salvage::RepairStatus::Repaired || !closed) {
        std::fprintf(stderr, "repair_bench: %s was not repaired\n", input);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--repair") == 0) return RepairChild(argv[2], argv[3]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: repair_bench DIR PASSES\n");
        return 2;
    }
    const fs::path input = fs::path(argv[1]) / kRecording;
    const int passes = std::max(1, std::atoi(argv[2]));
    std::error_code ec;
    const auto bytes = fs::file_size(input, ec);
    if (ec) {
        std::fprintf(stderr, "repair_bench: no %s\n", input.string().c_str());
        return 1;
    }
    const fs::path outDir = fs::path(argv[1]) / "repair-out";
    fs::create_directories(outDir, ec);
    const fs::path copy = outDir / "copy.avi";
    const fs::path repaired = outDir / "repaired.avi";
    const std::string self = fs::canonical("/proc/self/exe", ec).string();

    ChildFigures bestCopy, bestRepair;
    bestCopy.seconds = bestRepair.seconds = 1e30;
    for (int pass = 0; pass < passes; ++pass) {
        // Both write a new file: neither pays for truncating the last one.
        fs::remove(copy, ec);
        const ChildFigures c = RunChild({"cp", input.string(), copy.string()});
        fs::remove(repaired, ec);
        const ChildFigures r = RunChild({self.empty() ? argv[0] : self, "--repair", input.string(), repaired.string()});
        if (!c.ok || !r.ok) {
            std::fprintf(stderr, "repair_bench: %s failed\n", c.ok ? "the repair" : "cp");
            return 1;
        }
        bestCopy.seconds = std::min(bestCopy.seconds, c.seconds);
        bestRepair.seconds = std::min(bestRepair.seconds, r.seconds);
        bestRepair.peakBytes = std::max(bestRepair.peakBytes, r.peakBytes);
    }
    fs::remove_all(outDir, ec);
    // A pass shorter than the clock's tick still counts as one tick.
    const double tick = 1e-6;
    std::printf("copy %s %.9f 0 %.0f\n", kRecording, std::max(bestCopy.seconds, tick), static_cast<double>(bytes));
    std::printf("repair %s %.9f 0 %.0f\n", kRecording, std::max(bestRepair.seconds, tick), static_cast<double>(bytes));
    std::printf("peak %s %.9f 0 %.0f\n", kRecording, std::max(bestRepair.seconds, tick), bestRepair.peakBytes);
    return 0;
}
