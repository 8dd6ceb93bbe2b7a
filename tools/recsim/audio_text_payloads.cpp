#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "recsim/recsim.h"

namespace recsim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKmPerNauticalMile = 1.852;
constexpr double kKmPerDegree = 111.32;
constexpr size_t kSamplesAt = 266;
constexpr size_t kSampleStride = 16;
constexpr size_t kSampleCount = 10;

// ddmm.mmmm (or dddmm.mmmm) of an absolute value in degrees.
std::string NmeaAngle(double degrees, int degreeDigits) {
    degrees = std::fabs(degrees);
    int whole = static_cast<int>(degrees);
    double minutes = (degrees - whole) * 60.0;
    if (std::lround(minutes * 10000) >= 600000) {
        ++whole;
        minutes = 0;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, whole, minutes);
    return text;
}

}  // namespace

std::vector<uint8_t> PcmAudio(size_t bytes, uint32_t sampleRate, double hz, uint64_t first) {
    std::vector<uint8_t> out(bytes, 0);
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const double t = static_cast<double>(first + i / 2) / sampleRate;
        const auto v = static_cast<int16_t>(std::lround(8000.0 * std::sin(2 * kPi * hz * t)));
        out[i] = static_cast<uint8_t>(v);
        out[i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    }
    return out;
}

Fix Route::At(double seconds) const {
    Fix fix = start;
    const double km = start.speedKnots * kKmPerNauticalMile * seconds / 3600.0;
    const double course = start.course * kPi / 180.0;
    fix.latitude += km * std::cos(course) / kKmPerDegree;
    fix.longitude += km * std::sin(course) / (kKmPerDegree * std::cos(start.latitude * kPi / 180.0));
    const double ahead = clockAheadSeconds + clockGainPerHour * seconds / 3600.0;
    fix.utcSeconds += static_cast<int64_t>(std::floor(seconds - ahead));
    return fix;
}

std::string RmcSentence(const Fix &fix, const char *talker) {
    const CivilTime t = CivilFromSeconds(fix.utcSeconds);
    char body[160];
    std::snprintf(body, sizeof body, "%sRMC,%02d%02d%02d.00,%c,%s,%c,%s,%c,%.1f,%.1f,%02d%02d%02d,,,A",
                  talker, t.hour, t.minute, t.second, fix.valid ? 'A' : 'V',
                  NmeaAngle(fix.latitude, 2).c_str(), fix.latitude < 0 ? 'S' : 'N',
                  NmeaAngle(fix.longitude, 3).c_str(), fix.longitude < 0 ? 'W' : 'E',
                  fix.speedKnots, fix.course, t.day, t.month, t.year % 100);
    unsigned checksum = 0;
    for (const char *p = body; *p; ++p) checksum ^= static_cast<unsigned char>(*p);
    char sentence[176];
    std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, checksum);
    return sentence;
}

std::vector<uint8_t> TextPayload(const std::string &sentence, const std::vector<uint16_t> *samples) {
    std::vector<uint8_t> out(sentence.begin(), sentence.end());
    out.push_back(0);
    if (samples == nullptr) return out;
    out.resize(kSamplesAt + kSampleStride * kSampleCount, 0);
    for (size_t i = 0; i < kSampleCount; ++i) {
        for (size_t v = 0; v < 3; ++v) {
            const size_t k = 3 * i + v;
            const uint16_t value = k < samples->size() ? (*samples)[k] : 0;
            const size_t at = kSamplesAt + kSampleStride * i + 2 * v;
            out[at] = static_cast<uint8_t>(value);
            out[at + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
    return out;
}

}  // namespace recsim
