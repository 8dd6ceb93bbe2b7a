#include "track_point.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

bool GpsFromSideData(const unsigned char *record, int32_t length, GpsBlock *gps) {
    if (!record || length < static_cast<int32_t>(sizeof(SideDataHead) + sizeof(GpsBlock))) return false;
    SideDataHead head;
    std::memcpy(&head, record, sizeof head);
    if (!(head.flags & AVFILE_SIDEDATA_GPS)) return false;
    std::memcpy(gps, record + sizeof head, sizeof *gps);
    return true;
}

bool IsDrawable(const GpsBlock &gps) {
    return std::isfinite(gps.latitude) && std::isfinite(gps.longitude) &&
           std::fabs(gps.latitude) <= 90.0 && std::fabs(gps.longitude) <= 180.0;
}

int64_t CivilToUs(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                  int64_t micros) {
    // Days from 1970-01-01 of a proleptic Gregorian date.
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    return (days * 86400 + hour * 3600 + minute * 60 + second) * 1000000 + micros;
}

namespace {

constexpr size_t kFields = 12;  // identifier and the fields up to the date's neighbours

bool Digits(const std::string &text, size_t from, size_t count) {
    if (text.size() < from + count) return false;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

int Number(const std::string &text, size_t from, size_t count) {
    return std::atoi(text.substr(from, count).c_str());
}

// Degrees of ddmm.mmmm (or dddmm.mmmm): the whole minutes and the fraction
// taken apart as the library does, so both give the same position.
double NmeaToDegrees(const std::string &text) {
    const long whole = std::strtol(text.c_str(), nullptr, 10);
    const double value = std::strtod(text.c_str(), nullptr);
    const double fraction = value - static_cast<double>(whole);
    return static_cast<double>(whole % 100) / 60.0 + static_cast<double>(whole / 100) + fraction / 60.0;
}

// UTC of "hhmmss[.ss]" and "ddmmyy"; years 80 to 99 are the 1900s.
bool UtcOf(const std::string &time, const std::string &date, int64_t &us) {
    if (!Digits(time, 0, 6) || !Digits(date, 0, 6) || date.size() != 6) return false;
    const int hour = Number(time, 0, 2), minute = Number(time, 2, 2), second = Number(time, 4, 2);
    const int day = Number(date, 0, 2), month = Number(date, 2, 2), yy = Number(date, 4, 2);
    if (hour > 23 || minute > 59 || second > 60 || day < 1 || day > 31 || month < 1 || month > 12) return false;
    int64_t micros = 0;
    if (time.size() > 6) {
        if (time[6] != '.') return false;
        int64_t scale = 100000;
        for (size_t i = 7; i < time.size() && scale > 0; ++i, scale /= 10) {
            if (time[i] < '0' || time[i] > '9') return false;
            micros += (time[i] - '0') * scale;
        }
    }
    us = CivilToUs(yy < 80 ? 2000 + yy : 1900 + yy, month, day, hour, minute, second, micros);
    return true;
}

}  // namespace

bool ParseRmc(const char *text, size_t bytes, RmcFix &fix) {
    fix = RmcFix{};
    const size_t length = strnlen(text, bytes);
    if (length < 6) return false;
    const std::string sentence(text, length);
    const std::string id = sentence.substr(0, 6);
    if (id != "$GPRMC" && id != "$GNRMC" && id != "$BDRMC") return false;
    std::string fields[kFields];
    size_t field = 0, at = 0;
    for (; field < kFields; ++field) {
        const size_t comma = sentence.find(',', at);
        if (comma == std::string::npos) {
            if (field < 11) return false;  // fewer than eleven commas
            fields[field] = sentence.substr(at);
            break;
        }
        fields[field] = sentence.substr(at, comma - at);
        at = comma + 1;
    }
    fix.utcKnown = UtcOf(fields[1], fields[9], fix.utcUs);
    if (fields[2].rfind('A', 0) != 0) return true;
    fix.valid = true;
    fix.gps.valid = fix.gps.valid2 = 1;
    fix.gps.latitude = NmeaToDegrees(fields[3]) * (fields[4].rfind('N', 0) == 0 ? 1 : -1);
    fix.gps.longitude = NmeaToDegrees(fields[5]) * (fields[6].rfind('E', 0) == 0 ? 1 : -1);
    fix.gps.course = static_cast<uint16_t>(std::strtol(fields[8].c_str(), nullptr, 10));
    fix.gps.speed = static_cast<uint16_t>(
        static_cast<int64_t>(std::strtod(fields[7].c_str(), nullptr) * 1.851949 * 100));
    return true;
}
