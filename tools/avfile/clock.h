// Times as the tool shows them. The recorder's clock runs in local time but
// writes it as if it were UTC, and the library applies no time zone; with
// --utc-offset the tool shifts every time it lists or exports to true UTC.
#pragma once

#include <cstdint>
#include <string>

#include "avfile/avfile.h"

class CClock {
public:
    CClock() = default;
    // `offsetUs`: how far the recorder's clock runs ahead of UTC.
    CClock(bool utc, int64_t offsetUs) : m_utc(utc), m_offsetUs(offsetUs) {}

    bool Utc() const { return m_utc; }
    // A time of the recorder's clock on the scale shown.
    int64_t Shown(int64_t recorderUs) const { return recorderUs - m_offsetUs; }
    // "2015-01-09 10:49:29" on the recorder's clock, "2015-01-09T02:49:29Z"
    // in UTC; milliseconds are added when the time has them.
    std::string Format(int64_t recorderUs) const;
    // Names the clock the times are shown on, for the listings' headers.
    std::string Label() const;

private:
    bool m_utc = false;
    int64_t m_offsetUs = 0;
};

// Microseconds since 1970 of a calendar time (no time zone applied).
int64_t SystemTimeToUs(const AvSystemTime &time);
// "1:02:03" or "4.5 s" for a duration.
std::string FormatDuration(int64_t us);
