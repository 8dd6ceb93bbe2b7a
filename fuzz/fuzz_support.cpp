#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "recsim/recsim.h"

namespace fuzz {

namespace {

// The tree fuzzer lays out and removes a folder tree for every input; on a
// disk file system creating and deleting that many inodes costs far more
// than the search itself, so the scratch folder is in memory (the shared
// memory file system) wherever the system has one.
std::filesystem::path ScratchBase() {
    std::error_code ec;
    const std::filesystem::path memory = "/dev/shm";
    if (std::filesystem::is_directory(memory, ec) && access(memory.c_str(), W_OK | X_OK) == 0) {
        return memory;
    }
    return std::filesystem::temp_directory_path(ec);
}

std::string MakeScratch() {
    std::error_code ec;
    const std::filesystem::path base = ScratchBase();
    for (unsigned n = 0;; ++n) {
        const std::filesystem::path dir =
            base / ("avfile-fuzz-" + std::to_string(std::rand()) + "-" + std::to_string(n));
        if (std::filesystem::create_directory(dir, ec)) {
            static const std::string kept = dir.string();
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(kept, ignored);
            });
            return dir.string() + "/";
        }
        if (n > 1000) Broken("no scratch folder: " + ec.message());
    }
}

}  // namespace

const std::string &ScratchFolder() {
    static const std::string folder = MakeScratch();
    return folder;
}

std::vector<std::string> SampleRecordPaths() {
    std::vector<std::string> out;
    const recsim::NameLayout layouts[] = {recsim::NameLayout::Compact,
                                          recsim::NameLayout::Separated,
                                          recsim::NameLayout::Prefixed};
    int n = 0;
    for (recsim::NameLayout layout : layouts) {
        recsim::RecordName name;
        name.layout = layout;
        name.channel = n % 8;
        name.alarm = n % 2 == 1;
        name.frameRate = 25 + n;
        const std::string file = recsim::RecordFileName(name);
        out.push_back("D:\\rec\\2015-01-09\\video\\" + file);
        out.push_back("/media/card/20150109_01/alarm/" + file);
        ++n;
    }
    recsim::RecordName upper = recsim::RecordNameAt(1420800569, 2, true, 30);
    upper.extension = ".AVI";
    out.push_back("E:\\" + recsim::RecordFileName(upper));
    return out;
}

std::vector<std::string> SampleDayNames() {
    std::vector<std::string> out;
    const recsim::DayLayout layouts[] = {recsim::DayLayout::Dashed, recsim::DayLayout::Underscored,
                                         recsim::DayLayout::Suffixed, recsim::DayLayout::Digits};
    for (recsim::DayLayout layout : layouts) out.push_back(recsim::DayFolderName(2015, 1, 9, layout));
    out.push_back(recsim::DayFolderName(2015, 1, 9) + "-2");
    return out;
}

std::vector<std::vector<uint8_t>> SampleTextChunks() {
    std::vector<std::vector<uint8_t>> out;
    recsim::Route route;
    std::vector<uint16_t> samples;
    for (uint16_t i = 0; i < 30; ++i) samples.push_back(static_cast<uint16_t>(i * 97));
    const char *talkers[] = {"GP", "GN", "BD"};
    for (int i = 0; i < 3; ++i) {
        recsim::Fix fix = route.At(i * 7.5);
        fix.valid = i != 1;
        if (i == 2) {
            fix.latitude = -fix.latitude;
            fix.longitude = -fix.longitude;
        }
        const std::string sentence = recsim::RmcSentence(fix, talkers[i]);
        out.push_back(recsim::TextPayload(sentence));
        out.push_back(recsim::TextPayload(sentence, &samples));
    }
    return out;
}

namespace {

const char kHostMark[4] = {'H', 'O', 'S', 'T'};

int32_t I32At(const uint8_t *p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

void PutI32(std::vector<uint8_t> &out, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

}  // namespace

bool TakeHostTrailer(const uint8_t *data, size_t &size, HostChoices &host) {
    if (size < kHostTrailerSize) return false;
    const uint8_t *t = data + size - kHostTrailerSize;
    if (std::memcmp(t, kHostMark, sizeof kHostMark) != 0) return false;
    host.channel = I32At(t + 4);
    host.audioChannel = I32At(t + 8);
    host.staleLength = I32At(t + 12);
    size -= kHostTrailerSize;
    return true;
}

std::vector<uint8_t> WithHostTrailer(std::vector<uint8_t> file, const HostChoices &host) {
    file.insert(file.end(), kHostMark, kHostMark + sizeof kHostMark);
    PutI32(file, host.channel);
    PutI32(file, host.audioChannel);
    PutI32(file, host.staleLength);
    return file;
}

void Broken(const std::string &what) {
    std::fprintf(stderr, "broken guarantee: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz
