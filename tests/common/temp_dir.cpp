#include "common/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {
int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

std::string Localize(std::string p) {
    for (char &c : p) {
        if (c == '/' || c == '\\') c = plat::kPathSep;
    }
    return p;
}
}  // namespace

// Test programs run side by side (ctest -j), and two of them may start in
// the same clock tick: the name carries the process id, and a name that is
// already taken is never shared, only skipped.
TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    const std::string process = std::to_string(ProcessId());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const fs::path p = base / ("avfile-test-" + process + "-" + std::to_string(stamp) + "-" +
                                   std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = Localize(p.string()) + plat::kPathSep;
            return;
        }
    }
    throw std::runtime_error("no new temporary folder in " + base.string());
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(fs::path(path_), ec);
}

std::string TempDir::operator/(const std::string &relative) const {
    return path_ + Localize(relative);
}

std::string TempDir::WriteFile(const std::string &relative, const std::string &content) const {
    const std::string full = *this / relative;
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full;
}

std::string TempDir::MakeDir(const std::string &relative) const {
    const std::string full = *this / relative;
    fs::create_directories(fs::path(full));
    return full;
}

std::string TempDir::ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
