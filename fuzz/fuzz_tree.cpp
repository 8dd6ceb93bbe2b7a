// A recording tree described in text lines, laid out in a scratch folder and
// browsed through the day search, the file searches, the event search and
// the folder check. One line per entry, its path relative to the root:
//
//   D day/video                       a folder
//   F day/video/name.avi 3            a file: simulator sample 3 (modulo their count)
//   T day/name.avi any text           a file holding the rest of the line
//
// Folders along a path are created as needed; lines of other shapes, and
// paths with empty, "." or ".." parts, are ignored.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_support.h"
#include "hardening/exercise.h"

namespace {

constexpr size_t kMaxLines = 48;
constexpr size_t kMaxRelativePath = 160;

bool SafeRelative(const std::string &path) {
    if (path.empty() || path.size() > kMaxRelativePath || path.front() == '/') return false;
    size_t begin = 0;
    for (;;) {
        const size_t end = path.find('/', begin);
        const std::string part = path.substr(begin, end == std::string::npos ? end : end - begin);
        if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos) {
            return false;
        }
        if (end == std::string::npos) return true;
        begin = end + 1;
    }
}

void Lay(const std::string &root, const std::string &line) {
    if (line.size() < 3 || line[1] != ' ') return;
    const char kind = line[0];
    const std::string rest = line.substr(2);
    const size_t space = rest.find(' ');
    const std::string relative = kind == 'D' ? rest : rest.substr(0, space);
    if (!SafeRelative(relative)) return;
    const std::filesystem::path full = std::filesystem::path(root) / relative;
    std::error_code ec;
    if (kind == 'D') {
        std::filesystem::create_directories(full, ec);
        return;
    }
    if (kind != 'F' && kind != 'T') return;
    std::filesystem::create_directories(full.parent_path(), ec);
    const std::string tail = space == std::string::npos ? std::string() : rest.substr(space + 1);
    if (kind == 'F') {
        const auto &samples = SampleRecordings();
        const size_t pick = static_cast<size_t>(std::strtoul(tail.c_str(), nullptr, 10));
        const auto &bytes = samples[pick % samples.size()].bytes;
        WriteBytes(full.string(), bytes.data(), bytes.size());
    } else {
        WriteBytes(full.string(), reinterpret_cast<const uint8_t *>(tail.data()), tail.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 14) return 0;
    const std::string root = fuzz::ScratchFolder() + "tree/";
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::filesystem::create_directories(root, ec);

    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t begin = 0, lines = 0;
    while (begin < text.size() && lines++ < kMaxLines) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        if (line.find('\0') == std::string::npos) Lay(root, line);
        begin = end + 1;
    }

    const TreeReport report = ExerciseTree(root);
    if (!report.fault.empty()) fuzz::Broken(report.fault);
    std::filesystem::remove_all(root, ec);
    return 0;
}
