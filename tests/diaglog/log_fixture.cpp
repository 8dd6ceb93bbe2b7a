#include "log_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::atomic<uint32_t> g_tick{0};
AvSystemTime g_now{};

uint32_t TestTick() { return g_tick.load(); }
void TestNow(AvSystemTime *out) { *out = g_now; }

}  // namespace

AvSystemTime At(int year, int month, int day, int hour, int minute, int second) {
    auto w = [](int v) { return static_cast<uint16_t>(v); };
    return AvSystemTime{w(year), w(month), 0, w(day), w(hour), w(minute), w(second), 0};
}

std::string NameTime(const AvSystemTime &t) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d-%02d", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::string LineStamp(const AvSystemTime &t) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d   %02d:%02d:%02d   ", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

void LogTest::SetUp() {
    SetNow(At(2015, 1, 9, 10, 49, 29));
    SetTick(1000);
    plat::SetLocalTimeSource(&TestNow);
    plat::SetTickSource(&TestTick);
}

void LogTest::TearDown() {
    plat::SetLocalTimeSource(nullptr);
    plat::SetTickSource(nullptr);
}

void LogTest::SetNow(const AvSystemTime &t) { g_now = t; }
void LogTest::SetTick(uint32_t tick) { g_tick = tick; }

std::unique_ptr<CDiagLog> LogTest::NewLog() const {
    auto log = std::make_unique<CDiagLog>(dir.path().c_str());
    log->SetModuleName("libavfile_vsk");
    return log;
}

void LogTest::WriteSettings(const std::string &body) const { dir.WriteFile("LOG.INI", body); }

std::string LogTest::FileName(const AvSystemTime &start, const AvSystemTime &last) {
    return "test_diaglog----libavfile_vsk----" + NameTime(start) + "----" + NameTime(last) +
           ".log";
}

std::vector<std::string> LogTest::LogFolderNames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(fs::path(LogFolder()), ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> LogTest::Lines(const std::string &path) {
    const std::string content = TempDir::ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
