#include "common/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {
std::string Localize(std::string p) {
    for (char &c : p) {
        if (c == '/' || c == '\\') c = plat::kPathSep;
    }
    return p;
}
}  // namespace

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path p = fs::temp_directory_path() /
                 ("avfile-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(p);
    path_ = Localize(p.string()) + plat::kPathSep;
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
