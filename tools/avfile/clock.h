// Times as the tool shows them. The recorder's clock runs in local time but
// writes it as if it were UTC, and the library applies no time zone. Times
// are shown on that clock, without a zone, unless the tool is told how it
// stands to UTC: a fixed offset (--utc-offset +HH:MM), a time zone whose
// rules include daylight saving (--tz), or the offset measured against the
// receiver's own UTC in the recording's RMC sentences (--utc-offset gps).
#pragma once

#include <cstdint>
#include <string>

#include "avfile/avfile.h"
#include "exit_codes.h"

struct Options;

class CClock {
public:
    enum class Kind { Recorder, FixedOffset, Zone, Gps };

    // The recorder's clock, its zone unknown.
    CClock() = default;
    // `offsetUs`: how far the recorder's clock runs ahead of UTC.
    static CClock FixedOffset(int64_t offsetUs);
    static CClock MeasuredOffset(int64_t offsetUs);
    // The recorder's clock shows the local time of an IANA zone; the zone
    // must exist (ZoneExists) and is made the process's.
    static CClock InZone(const std::string &zone);

    Kind Of() const { return m_kind; }
    bool Utc() const { return m_kind != Kind::Recorder; }
    // UTC taken from the receiver: a GPS point's time is its fix's own.
    bool FromGps() const { return m_kind == Kind::Gps; }
    // A time of the recorder's clock on the scale shown: UTC when Utc(),
    // otherwise the recorder's clock unchanged.
    int64_t Shown(int64_t recorderUs) const;
    // "2015-01-09 10:49:29" on the recorder's clock, "2015-01-09T02:49:29Z"
    // in UTC; milliseconds are added when the time has them.
    std::string Format(int64_t recorderUs) const;
    // The same of a time already on the scale shown.
    std::string FormatShown(int64_t shownUs) const;
    // Names the clock the times are shown on, for the listings' headers:
    // "recorder clock (zone unknown)", "UTC (recorder clock UTC+08:00)".
    std::string Label() const;

private:
    Kind m_kind = Kind::Recorder;
    int64_t m_offsetUs = 0;
    std::string m_zone;
};

// The clock the options ask for; --utc-offset gps measures the recorder
// clock's offset over the record files the command's paths name.
CliError ClockOfOptions(const Options &options, CClock &clock);

// "UTC+08:00" ("UTC+08:00:07" with `seconds` when the offset has them) for
// a clock running `offsetUs` ahead of UTC; "UTC-03:30" behind it.
std::string OffsetText(int64_t offsetUs, bool seconds = false);
// The quarter hour nearest to an offset: the zone a measured offset names.
int64_t NearestQuarterHour(int64_t offsetUs);
// True when the system's zone database holds `zone` ("Asia/Shanghai").
bool ZoneExists(const std::string &zone);

// Microseconds since 1970 of a calendar time (no time zone applied).
int64_t SystemTimeToUs(const AvSystemTime &time);
// "1:02:03" or "4.5 s" for a duration.
std::string FormatDuration(int64_t us);
