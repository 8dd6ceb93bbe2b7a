#include "clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "gps_summary.h"
#include "options.h"
#include "text_output.h"
#include "track_point.h"

namespace {

constexpr int64_t kUsPerSecond = 1000000;

int64_t FloorSeconds(int64_t us) { return us >= 0 ? us / kUsPerSecond : -((-us + kUsPerSecond - 1) / kUsPerSecond); }

// UTC of a wall time of the process's zone (made the recorder's by InZone),
// daylight saving as the zone's rules have it for that date; a wall time
// that a change skips or repeats takes the rule the C library picks.
int64_t UtcOfZoneTime(int64_t localUs) {
    const int64_t seconds = FloorSeconds(localUs);
#ifdef _WIN32
    return localUs;  // InZone is never made: ZoneExists is false here
#else
    const time_t asUtc = static_cast<time_t>(seconds);
    struct tm wall {};
    if (!gmtime_r(&asUtc, &wall)) return localUs;
    wall.tm_isdst = -1;
    const time_t utc = mktime(&wall);
    if (utc == static_cast<time_t>(-1)) return localUs;
    return static_cast<int64_t>(utc) * kUsPerSecond + (localUs - seconds * kUsPerSecond);
#endif
}

// Files of the paths: record files as given, folders searched below.
std::vector<std::string> RecordFilesOf(const std::vector<std::string> &paths) {
    std::vector<std::string> files;
    for (const std::string &path : paths) {
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            files.push_back(path);
            continue;
        }
        for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::string ext = it->path().extension().string();
            for (char &ch : ext) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
            if (ext == ".avi" && it->is_regular_file(ec)) files.push_back(it->path().string());
        }
    }
    return files;
}

}  // namespace

CClock CClock::FixedOffset(int64_t offsetUs) {
    CClock c;
    c.m_kind = Kind::FixedOffset;
    c.m_offsetUs = offsetUs;
    return c;
}

CClock CClock::MeasuredOffset(int64_t offsetUs) {
    CClock c = FixedOffset(offsetUs);
    c.m_kind = Kind::Gps;
    return c;
}

CClock CClock::InZone(const std::string &zone) {
    CClock c;
    c.m_kind = Kind::Zone;
    c.m_zone = zone;
#ifndef _WIN32
    setenv("TZ", zone.c_str(), 1);
    tzset();
#endif
    return c;
}

int64_t CClock::Shown(int64_t recorderUs) const {
    switch (m_kind) {
    case Kind::Recorder: return recorderUs;
    case Kind::Zone: return UtcOfZoneTime(recorderUs);
    case Kind::FixedOffset:
    case Kind::Gps: break;
    }
    return recorderUs - m_offsetUs;
}

std::string CClock::Format(int64_t recorderUs) const { return FormatShown(Shown(recorderUs)); }

std::string CClock::FormatShown(int64_t shownUs) const {
    char text[32];
    if (!FormatUtcTime(shownUs, text, sizeof text)) return "?";
    std::string shown = text;
    if (!Utc()) {
        shown[10] = ' ';
        shown.pop_back();  // the 'Z': these are not UTC times
    }
    return shown;
}

std::string CClock::Label() const {
    switch (m_kind) {
    case Kind::Recorder: return "recorder clock (zone unknown)";
    case Kind::FixedOffset: return "UTC (recorder clock " + OffsetText(m_offsetUs) + ")";
    case Kind::Zone: return "UTC (recorder clock " + m_zone + ")";
    case Kind::Gps: break;
    }
    return "UTC (recorder clock " + OffsetText(m_offsetUs, true) + ", measured from GPS)";
}

std::string OffsetText(int64_t offsetUs, bool seconds) {
    const int64_t total = (offsetUs < 0 ? -offsetUs : offsetUs) / kUsPerSecond;
    char text[32];
    if (seconds && total % 60 != 0) {
        std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld:%02lld", offsetUs < 0 ? '-' : '+',
                      static_cast<long long>(total / 3600), static_cast<long long>(total / 60 % 60),
                      static_cast<long long>(total % 60));
    } else {
        std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld", offsetUs < 0 ? '-' : '+',
                      static_cast<long long>(total / 3600), static_cast<long long>(total / 60 % 60));
    }
    return text;
}

int64_t NearestQuarterHour(int64_t offsetUs) {
    constexpr int64_t kQuarter = 15 * 60 * kUsPerSecond;
    const int64_t magnitude = (offsetUs < 0 ? -offsetUs : offsetUs) + kQuarter / 2;
    const int64_t rounded = magnitude / kQuarter * kQuarter;
    return offsetUs < 0 ? -rounded : rounded;
}

bool ZoneExists(const std::string &zone) {
#ifdef _WIN32
    (void)zone;
    return false;
#else
    if (zone.empty() || zone[0] == '/' || zone[0] == ':' || zone.find("..") != std::string::npos) return false;
    const char *own = std::getenv("TZDIR");
    std::error_code ec;
    for (const char *dir : {own, "/usr/share/zoneinfo"}) {
        if (dir && *dir && std::filesystem::is_regular_file(std::filesystem::path(dir) / zone, ec)) return true;
    }
    return false;
#endif
}

CliError ClockOfOptions(const Options &o, CClock &clock) {
    const int given = (o.utcOffsetGiven ? 1 : 0) + (o.utcOffsetFromGps ? 1 : 0) + (o.timeZone.empty() ? 0 : 1);
    if (given > 1) return Fail(kExitUsage, "--utc-offset and --tz name the clock each: give one of them");
    if (o.utcOffsetGiven) {
        clock = CClock::FixedOffset(o.utcOffsetUs);
    } else if (!o.timeZone.empty()) {
        if (!ZoneExists(o.timeZone)) {
            return Fail(kExitUsage, "--tz takes a time zone of the system's zone database such as Asia/Shanghai, not " +
                                        o.timeZone);
        }
        clock = CClock::InZone(o.timeZone);
    } else if (o.utcOffsetFromGps) {
        int64_t offsetUs = 0;
        size_t fixes = 0;
        MeasureClockOffset(RecordFilesOf(o.paths), offsetUs, fixes);
        if (fixes == 0) {
            return Fail(kExitFailed, "--utc-offset gps: no GPS sentence with a UTC date and time in the recordings; "
                                     "give the offset as +HH:MM or the zone with --tz");
        }
        clock = CClock::MeasuredOffset(offsetUs);
    } else {
        clock = CClock();
    }
    return {};
}

int64_t SystemTimeToUs(const AvSystemTime &t) {
    return CivilToUs(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                     static_cast<int64_t>(t.wMilliseconds) * 1000);
}

std::string FormatDuration(int64_t us) {
    char text[32];
    if (us < 60000000) {
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(us) / 1e6);
    } else {
        const int64_t s = us / 1000000;
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    }
    return text;
}
