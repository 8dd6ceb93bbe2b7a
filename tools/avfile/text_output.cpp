#include "text_output.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

constexpr int64_t kUsPerSecond = 1000000;
constexpr int64_t kSecondsPerDay = 86400;

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01.
CivilDate DateOfDay(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = static_cast<unsigned>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The next character of the text: a whole UTF-8 sequence when a valid one
// starts at `at`, otherwise the single byte read as Latin-1.
uint32_t NextCharacter(std::string_view text, size_t &at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t extra = 0;
    unsigned char low = 0x80, high = 0xbf;  // range of the second byte
    uint32_t value = lead;
    if (lead >= 0xc2 && lead <= 0xdf) {
        extra = 1;
        value = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        extra = 2;
        value = lead & 0x0f;
        if (lead == 0xe0) low = 0xa0;   // no overlong forms
        if (lead == 0xed) high = 0x9f;  // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        extra = 3;
        value = lead & 0x07;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;  // nothing above U+10FFFF
    }
    bool valid = extra != 0 && at + extra < text.size();
    for (size_t i = 1; valid && i <= extra; ++i) {
        const unsigned char c = byte(at + i);
        valid = c >= (i == 1 ? low : 0x80) && c <= (i == 1 ? high : 0xbf);
        value = (value << 6) | (c & 0x3f);
    }
    if (!valid) {
        ++at;
        return lead;
    }
    at += extra + 1;
    return value;
}

// The UTF-8 bytes of a character; returns how many (1 to 4).
size_t EncodeUtf8(uint32_t c, char *bytes) {
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<char>(0xc0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3f));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xe0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3f));
        return 3;
    }
    bytes[0] = static_cast<char>(0xf0 | (c >> 18));
    bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    bytes[3] = static_cast<char>(0x80 | (c & 0x3f));
    return 4;
}

bool PutUtf8(COutputFile &out, uint32_t c) {
    char bytes[4];
    return out.Write(bytes, EncodeUtf8(c, bytes));
}

// A character of a JSON string: quote and backslash escaped, control
// characters as \u escapes.
void AppendJsonCharacter(std::string &out, uint32_t c) {
    if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
    } else if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        out += escaped;
    } else {
        char bytes[4];
        out.append(bytes, EncodeUtf8(c, bytes));
    }
}

}  // namespace

bool FormatUtcTime(int64_t timeUs, char *out, size_t size) {
    const int64_t seconds = FloorDiv(timeUs, kUsPerSecond);
    const int64_t ms = (timeUs - seconds * kUsPerSecond) / 1000;
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const int64_t inDay = seconds - days * kSecondsPerDay;
    const CivilDate date = DateOfDay(days);
    if (date.year < 1 || date.year > 9999) return false;
    const int hour = static_cast<int>(inDay / 3600), minute = static_cast<int>(inDay / 60 % 60),
              second = static_cast<int>(inDay % 60);
    const int n = ms != 0
        ? std::snprintf(out, size, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year),
                        date.month, date.day, hour, minute, second, static_cast<int>(ms))
        : std::snprintf(out, size, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year),
                        date.month, date.day, hour, minute, second);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool PutInt(COutputFile &out, int64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return out.Write(text, static_cast<size_t>(result.ptr - text));
}

bool PutFixed(COutputFile &out, double value, int decimals) {
    if (!std::isfinite(value)) value = 0.0;
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return out.Put('0');
    return out.Write(text, static_cast<size_t>(result.ptr - text));
}

bool PutXmlText(COutputFile &out, std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const uint32_t c = NextCharacter(text, at);
        bool ok;
        switch (c) {
        case '<': ok = out.Put("&lt;"); break;
        case '>': ok = out.Put("&gt;"); break;
        case '&': ok = out.Put("&amp;"); break;
        case '"': ok = out.Put("&quot;"); break;
        case '\'': ok = out.Put("&apos;"); break;
        default:
            ok = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') ? out.Put('?') : PutUtf8(out, c);
        }
        if (!ok) return false;
    }
    return true;
}

bool PutJsonString(COutputFile &out, std::string_view text) { return out.Put(JsonQuoted(text)); }

std::string JsonQuoted(std::string_view text) {
    std::string quoted = "\"";
    for (size_t at = 0; at < text.size();) AppendJsonCharacter(quoted, NextCharacter(text, at));
    quoted += '"';
    return quoted;
}

bool PutCsvField(COutputFile &out, std::string_view text) {
    const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quoted && !out.Put('"')) return false;
    for (size_t at = 0; at < text.size();) {
        const uint32_t c = NextCharacter(text, at);
        if (c == '"' && !out.Put('"')) return false;
        if (!PutUtf8(out, c)) return false;
    }
    return !quoted || out.Put('"');
}

bool HasExtension(const std::string &path, const char *extension) {
    const size_t n = std::strlen(extension);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = path[path.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != extension[i]) return false;
    }
    return true;
}
