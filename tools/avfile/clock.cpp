#include "clock.h"

#include <cstdio>
#include <cstdlib>

#include "text_output.h"

std::string CClock::Format(int64_t recorderUs) const {
    char text[32];
    if (!FormatUtcTime(Shown(recorderUs), text, sizeof text)) return "?";
    std::string shown = text;
    if (!m_utc) {
        shown[10] = ' ';
        shown.pop_back();  // the 'Z': these are not UTC times
    }
    return shown;
}

std::string CClock::Label() const {
    if (!m_utc) return "recorder clock";
    const int64_t minutes = std::llabs(m_offsetUs) / 60000000;
    char text[64];
    std::snprintf(text, sizeof text, "UTC (recorder clock %c%02lld:%02lld)", m_offsetUs < 0 ? '+' : '-',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
    return text;
}

int64_t SystemTimeToUs(const AvSystemTime &t) {
    // Days from 1970-01-01 of a proleptic Gregorian date.
    const int64_t y = static_cast<int64_t>(t.wYear) - (t.wMonth <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t month = t.wMonth;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + t.wDay - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    const int64_t seconds = days * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    return seconds * 1000000 + static_cast<int64_t>(t.wMilliseconds) * 1000;
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
