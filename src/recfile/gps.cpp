// Parsing of the recorder's text chunks: one NMEA RMC sentence and, in long
// chunks, ten samples, built into a side-data record in place.
#include "recfile/gps.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "support/routines.h"

namespace {

// Sample i holds its three little-endian 16-bit values at these bytes.
constexpr int32_t kFirstSampleOffset = 266;
constexpr int32_t kSampleStride = 16;
constexpr uint16_t kSampleWord4 = 1024;

// Speed over ground: knots to km/h with the recorder's factor, kept in
// units of 0.01 km/h.
constexpr double kKnotsToKmh = 1.851949;

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The leading decimal integer of a field, as a C runtime reads it: blanks,
// an optional sign, digits. 0 without digits; clamped to the 32-bit range
// instead of overflowing.
int32_t LeadingInteger(const char *text) {
    while (IsSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value <= INT32_MAX) value = value * 10 + (*text - '0');
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// The decimal value of a field, 0 when it has none. The receiver writes '.'
// as its decimal point whatever locale the host process has set, so the
// field is read independently of the locale.
double DecimalValue(const char *text) {
    while (IsSpace(*text)) ++text;
    if (*text == '+') {
        ++text;
        if (*text == '-') return 0.0;
    }
    double value = 0.0;
    const auto result =
        std::from_chars(text, text + std::strlen(text), value, std::chars_format::general);
    return result.ec == std::errc() ? value : 0.0;
}

// The low 16 bits of a value truncated toward zero; 0 when the value has no
// integer form (not finite or beyond 64 bits).
uint16_t TruncatedLow16(double value) {
    if (!(std::fabs(value) < 9.2e18)) return 0;
    return static_cast<uint16_t>(static_cast<int64_t>(value));
}

uint16_t ReadLe16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Copies the field [begin, end) into a slot, keeping its first 15 characters.
void FillSlot(char *slot, const unsigned char *begin, const unsigned char *end) {
    size_t len = static_cast<size_t>(end - begin);
    if (len > RmcFields::kSize - 1) len = RmcFields::kSize - 1;
    std::memset(slot, 0, RmcFields::kSize);
    std::memcpy(slot, begin, len);
}

bool IsRmcSentence(const unsigned char *text, int32_t n) {
    static const char *const kIds[] = {"$GPRMC", "$GNRMC", "$BDRMC"};
    if (n < 6) return false;
    for (const char *id : kIds) {
        if (std::memcmp(text, id, 6) == 0) return true;
    }
    return false;
}

}  // namespace

int32_t ParseRmc(const unsigned char *text, int32_t n, RmcFields *fields) {
    if (n < 2 || !IsRmcSentence(text, n)) return -1;

    // The sentence ends at its NUL or at the end of the chunk.
    const unsigned char *const nul =
        static_cast<const unsigned char *>(std::memchr(text, 0, static_cast<size_t>(n)));
    const unsigned char *const end = nul ? nul : text + n;

    const unsigned char *field = text;
    for (int k = 0; k <= RMC_MAGNETIC; ++k) {
        const unsigned char *comma = static_cast<const unsigned char *>(
            std::memchr(field, ',', static_cast<size_t>(end - field)));
        if (!comma) return -1;
        FillSlot(fields->slot[k], field, comma);
        field = comma + 1;
    }
    std::memset(fields->slot[RMC_UNUSED], 0, RmcFields::kSize);
    FillSlot(fields->slot[RMC_REST], field, end);

    DebugTrace("%s", fields->slot[RMC_LATITUDE]);
    return 0;
}

double NmeaToDegrees(const char *text) {
    const int32_t whole = LeadingInteger(text);
    const int32_t degrees = whole / 100;
    const int32_t minutes = whole % 100;
    const double fraction = DecimalValue(text) - whole;
    return minutes / 60.0 + degrees + fraction / 60.0;
}

void BuildSideData(const unsigned char *payload, int32_t n, unsigned char *out,
                   int32_t *outLength) {
    RmcFields fields;
    std::memset(&fields, 0, sizeof fields);
    if (ParseRmc(payload, n, &fields) != 0) fields.slot[RMC_STATUS][0] = '\0';

    SideDataHead head{};
    int32_t length = static_cast<int32_t>(sizeof head);

    if (fields.slot[RMC_STATUS][0] == 'A') {
        head.flags |= AVFILE_SIDEDATA_GPS;
        GpsBlock gps{};
        gps.valid = 1;
        gps.longitude = NmeaToDegrees(fields.slot[RMC_LONGITUDE]);
        if (fields.slot[RMC_EAST_WEST][0] != 'E') gps.longitude = -gps.longitude;
        gps.latitude = NmeaToDegrees(fields.slot[RMC_LATITUDE]);
        if (fields.slot[RMC_NORTH_SOUTH][0] != 'N') gps.latitude = -gps.latitude;
        gps.course = static_cast<uint16_t>(LeadingInteger(fields.slot[RMC_COURSE]));
        gps.valid2 = 1;
        gps.speed = TruncatedLow16(DecimalValue(fields.slot[RMC_SPEED_KNOTS]) * kKnotsToKmh * 100);
        std::memcpy(out + length, &gps, sizeof gps);
        length += static_cast<int32_t>(sizeof gps);
    }

    if (n >= kSampleChunkMinLength) {
        head.flags |= AVFILE_SIDEDATA_SAMPLES;
        for (int32_t i = 0; i < AVFILE_SIDEDATA_SAMPLE_COUNT; ++i) {
            const unsigned char *sample = payload + kFirstSampleOffset + kSampleStride * i;
            SampleRecord record{};
            record.value1 = ReadLe16(sample);
            record.value2 = ReadLe16(sample + 2);
            record.value3 = ReadLe16(sample + 4);
            record.word4 = kSampleWord4;
            std::memcpy(out + length, &record, sizeof record);
            length += static_cast<int32_t>(sizeof record);
        }
    }

    std::memcpy(out, &head, sizeof head);
    *outLength = length;
}
