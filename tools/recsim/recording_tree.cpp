#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"
#include "recsim/recsim.h"

namespace recsim {

namespace {

std::string DateTimeDigits(const RecordName &n) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", n.year, n.month, n.day, n.hour,
                  n.minute, n.second);
    return text;
}

// "_1" + alarm digit + two frame-rate digits + "h": the compact attribute block.
std::string Attributes(const RecordName &n) {
    char text[16];
    std::snprintf(text, sizeof text, "_1%c%02dh", n.alarm ? '1' : '0', n.frameRate % 100);
    return text;
}

bool MakeFolder(const std::string &path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path), ec);
    return !ec;
}

}  // namespace

CivilTime CivilFromSeconds(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t inDay = seconds % 86400;
    if (inDay < 0) {
        inDay += 86400;
        --days;
    }
    // Days since 1970-01-01 to a proleptic Gregorian date (eras of 400 years
    // counted from 0000-03-01).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(inDay / 3600);
    t.minute = static_cast<int>(inDay / 60 % 60);
    t.second = static_cast<int>(inDay % 60);
    return t;
}

RecordName RecordNameAt(int64_t seconds, int channel, bool alarm, int frameRate) {
    const CivilTime t = CivilFromSeconds(seconds);
    RecordName n;
    n.channel = channel;
    n.year = t.year;
    n.month = t.month;
    n.day = t.day;
    n.hour = t.hour;
    n.minute = t.minute;
    n.second = t.second;
    n.alarm = alarm;
    n.frameRate = frameRate;
    return n;
}

std::string RecordFileName(const RecordName &n) {
    const std::string channel = std::to_string(n.channel + 1);
    switch (n.layout) {
        case NameLayout::Compact:
            return channel + "_" + DateTimeDigits(n) + Attributes(n) + n.extension;
        case NameLayout::Separated: {
            char text[64];
            std::snprintf(text, sizeof text, "%s_%04d-%02d-%02d_%02d-%02d-%02d_x1", channel.c_str(),
                          n.year, n.month, n.day, n.hour, n.minute, n.second);
            return text + n.extension;
        }
        case NameLayout::Prefixed:
            return (n.prefix.empty() ? "ch" + channel : n.prefix) + "_" + DateTimeDigits(n) +
                   Attributes(n) + n.extension;
    }
    return {};
}

std::string DayFolderName(int year, int month, int day, DayLayout layout) {
    const char *format = "%04d-%02d-%02d";
    switch (layout) {
        case DayLayout::Dashed: break;
        case DayLayout::Underscored: format = "%04d_%02d_%02d"; break;
        case DayLayout::Suffixed: format = "%04d%02d%02d_01"; break;
        case DayLayout::Digits: format = "%04d%02d%02d00"; break;
    }
    char text[32];
    std::snprintf(text, sizeof text, format, year, month, day);
    return text;
}

TreeWriter::TreeWriter(std::string root) : root_(std::move(root)) {
    if (!root_.empty() && !plat::IsPathSep(root_.back())) root_ += plat::kPathSep;
    MakeFolder(root_);
}

std::string TreeWriter::AddDay(const std::string &dayName) {
    const std::string day = root_ + dayName + plat::kPathSep;
    MakeFolder(day + "video");
    MakeFolder(day + "alarm");
    return day;
}

std::string TreeWriter::AddFile(const std::string &dayName, const std::string &sub,
                                const std::string &fileName, const FileRecipe &recipe,
                                WrittenFile *written) {
    std::string folder = AddDay(dayName);
    if (!sub.empty()) {
        folder += sub + plat::kPathSep;
        if (!MakeFolder(folder)) return {};
    }
    const std::string path = folder + fileName;
    return WriteFile(path, recipe, written) ? path : std::string();
}

}  // namespace recsim
