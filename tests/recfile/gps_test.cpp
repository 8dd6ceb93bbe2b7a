#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "recfile/gps.h"

namespace {

const char kFix[] = "$GPRMC,104929.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115,,,A";

constexpr double kLat = 31.0 + 50.78 / 60.0;   // 31.846333...
constexpr double kLon = 121.0 + 30.5 / 60.0;   // 121.508333...

// A text chunk as the recorder stores it: the sentence and its NUL, then
// zero bytes up to `length`, with sample i holding (100i+1, 100i+2, 100i+3)
// when the chunk is long enough to carry samples.
std::vector<unsigned char> TextChunk(const std::string &sentence, size_t length) {
    std::vector<unsigned char> chunk(length, 0);
    std::copy_n(sentence.begin(), std::min(sentence.size(), length), chunk.begin());
    for (int i = 0; i < 10; ++i) {
        const size_t at = 266 + 16 * static_cast<size_t>(i);
        for (int v = 0; v < 3; ++v) {
            const unsigned value = 100u * static_cast<unsigned>(i) + static_cast<unsigned>(v) + 1;
            if (at + 2 * v + 1 < length) {
                chunk[at + 2 * v] = static_cast<unsigned char>(value & 0xff);
                chunk[at + 2 * v + 1] = static_cast<unsigned char>(value >> 8);
            }
        }
    }
    return chunk;
}

std::string Replace(std::string text, const std::string &from, const std::string &to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

struct Built {
    int32_t length = -1;
    SideDataHead head{};
    GpsBlock gps{};
    std::vector<SampleRecord> samples;
    unsigned char raw[kSideDataMaxLength + 16];
};

Built Build(const std::vector<unsigned char> &chunk) {
    Built b;
    std::memset(b.raw, 0xcc, sizeof b.raw);
    BuildSideData(chunk.data(), static_cast<int32_t>(chunk.size()), b.raw, &b.length);
    std::memcpy(&b.head, b.raw, sizeof b.head);
    size_t at = sizeof b.head;
    if (b.head.flags & AVFILE_SIDEDATA_GPS) {
        std::memcpy(&b.gps, b.raw + at, sizeof b.gps);
        at += sizeof b.gps;
    }
    if (b.head.flags & AVFILE_SIDEDATA_SAMPLES) {
        b.samples.resize(10);
        std::memcpy(b.samples.data(), b.raw + at, 10 * sizeof(SampleRecord));
    }
    return b;
}

struct FixCase {
    const char *name;
    std::string sentence;
    size_t chunkLength;
    int32_t length;    // record length
    uint16_t flags;
    double latitude;   // checked when the record has a GpsBlock
    double longitude;
    uint16_t speed;
    uint16_t course;
};

void PrintTo(const FixCase &c, std::ostream *os) { *os << c.name; }

class SideDataRecordTest : public ::testing::TestWithParam<FixCase> {};

TEST_P(SideDataRecordTest, BuildsRecord) {
    const FixCase &c = GetParam();
    const Built b = Build(TextChunk(c.sentence, c.chunkLength));
    EXPECT_EQ(b.length, c.length);
    EXPECT_EQ(b.head.flags, c.flags);
    EXPECT_EQ(b.head.reserved, 0);
    // Nothing is written beyond the record.
    for (size_t i = static_cast<size_t>(b.length); i < sizeof b.raw; ++i) {
        ASSERT_EQ(b.raw[i], 0xcc) << "byte " << i;
    }
    if (c.flags & AVFILE_SIDEDATA_GPS) {
        EXPECT_EQ(b.gps.valid, 1u);
        EXPECT_EQ(b.gps.valid2, 1u);
        EXPECT_NEAR(b.gps.latitude, c.latitude, 1e-9);
        EXPECT_NEAR(b.gps.longitude, c.longitude, 1e-9);
        EXPECT_EQ(b.gps.speed, c.speed);
        EXPECT_EQ(b.gps.course, c.course);
        for (unsigned char r : b.gps.reserved) EXPECT_EQ(r, 0);
    }
    if (c.flags & AVFILE_SIDEDATA_SAMPLES) {
        for (unsigned i = 0; i < 10; ++i) {
            const SampleRecord &s = b.samples[i];
            EXPECT_EQ(s.value1, 100 * i + 1) << "sample " << i;
            EXPECT_EQ(s.value2, 100 * i + 2) << "sample " << i;
            EXPECT_EQ(s.value3, 100 * i + 3) << "sample " << i;
            EXPECT_EQ(s.word4, 1024) << "sample " << i;
            for (unsigned char r : s.reserved) EXPECT_EQ(r, 0);
        }
    }
}

const std::string kFixText = kFix;

INSTANTIATE_TEST_SUITE_P(
    Sentences, SideDataRecordTest,
    ::testing::Values(
        FixCase{"ValidFix", kFixText, 100, 48, 1, kLat, kLon, 1851, 90},
        FixCase{"SouthWest", Replace(Replace(kFixText, ",N,", ",S,"), ",E,", ",W,"), 100, 48, 1,
                -kLat, -kLon, 1851, 90},
        FixCase{"LowerCaseEast", Replace(kFixText, ",E,", ",e,"), 100, 48, 1, kLat, -kLon, 1851, 90},
        FixCase{"LowerCaseNorth", Replace(kFixText, ",N,", ",n,"), 100, 48, 1, -kLat, kLon, 1851, 90},
        FixCase{"Gnrmc", Replace(kFixText, "$GP", "$GN"), 100, 48, 1, kLat, kLon, 1851, 90},
        FixCase{"Bdrmc", Replace(kFixText, "$GP", "$BD"), 100, 48, 1, kLat, kLon, 1851, 90},
        FixCase{"VoidFix", Replace(kFixText, ",A,", ",V,"), 100, 4, 0},
        FixCase{"GgaSentence", Replace(kFixText, "$GPRMC", "$GPGGA"), 100, 4, 0},
        FixCase{"CutAfterDate", "$GPRMC,104929.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115", 100, 4, 0},
        FixCase{"EmptyChunk", "", 0, 4, 0},
        // Speed is kept in its low 16 bits: 400 kn = 74077.96 -> 74077 - 65536.
        FixCase{"SpeedWraps", Replace(kFixText, ",10.0,", ",400,"), 100, 48, 1, kLat, kLon, 8541, 90},
        FixCase{"SpeedNotANumber", Replace(kFixText, ",10.0,", ",nan,"), 100, 48, 1, kLat, kLon, 0, 90},
        FixCase{"EmptySpeedCourse", Replace(kFixText, ",10.0,90.5,", ",,,"), 100, 48, 1, kLat, kLon, 0, 0},
        FixCase{"NoSamplesAt416", kFixText, 416, 48, 1, kLat, kLon, 1851, 90},
        FixCase{"SamplesAt417", kFixText, 417, 288, 3, kLat, kLon, 1851, 90},
        FixCase{"SamplesWithoutFix", Replace(kFixText, ",A,", ",V,"), 417, 244, 2},
        FixCase{"SamplesWithoutSentence", "garbage", 500, 244, 2}),
    [](const ::testing::TestParamInfo<FixCase> &info) { return std::string(info.param.name); });

TEST(BuildSideData, SamplesFollowTheGpsBlock) {
    const std::vector<unsigned char> chunk = TextChunk(kFix, 417);
    const Built b = Build(chunk);
    ASSERT_EQ(b.length, 288);
    SampleRecord first;
    std::memcpy(&first, b.raw + 48, sizeof first);
    EXPECT_EQ(first.value1, 1);
    EXPECT_EQ(first.word4, 1024);

    const Built noFix = Build(TextChunk(Replace(kFix, ",A,", ",V,"), 417));
    std::memcpy(&first, noFix.raw + 4, sizeof first);
    EXPECT_EQ(first.value1, 1);
    EXPECT_EQ(first.word4, 1024);
}

TEST(ParseRmc, SplitsFields) {
    RmcFields f;
    const std::string s = kFix;
    ASSERT_EQ(ParseRmc(reinterpret_cast<const unsigned char *>(s.c_str()),
                       static_cast<int32_t>(s.size() + 1), &f), 0);
    const char *expected[13] = {"$GPRMC", "104929.00", "A",    "3150.7800", "N", "12130.5000", "E",
                                "10.0",   "90.5",      "090115", "",        "",  ",A"};
    for (int k = 0; k < 13; ++k) EXPECT_STREQ(f.slot[k], expected[k]) << "slot " << k;
}

TEST(ParseRmc, StaysWithinTheChunk) {
    struct Case {
        const char *name;
        std::string text;  // the chunk's bytes, exactly
        int32_t result;
        const char *rest;  // slot 12 when split
    };
    const Case cases[] = {
        {"no NUL, ends at chunk end", kFix, 0, ",A"},
        {"eleventh comma beyond the chunk", std::string(kFix).substr(0, 60), -1, nullptr},
        {"NUL before the eleventh comma", std::string("$GPRMC,1,A") + '\0' + ",,,,,,,,,,,", -1, nullptr},
        {"one byte", "$", -1, nullptr},
        {"identifier cut", "$GPRM", -1, nullptr},
        {"long field keeps 15 characters", std::string(kFix) + "0123456789abcdefghij", 0,
         ",A0123456789abc"},
    };
    for (const Case &c : cases) {
        // Copy into a buffer of exactly the chunk's size so reading past it
        // shows under the memory checkers.
        std::vector<unsigned char> chunk(c.text.begin(), c.text.end());
        RmcFields f;
        std::memset(&f, 0x55, sizeof f);
        EXPECT_EQ(ParseRmc(chunk.data(), static_cast<int32_t>(chunk.size()), &f), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_STREQ(f.slot[RMC_REST], c.rest) << c.name;
        }
    }
}

std::string g_debugText;
void CaptureDebug(const char *text) { g_debugText += text; }

TEST(ParseRmc, TracesLatitude) {
    g_debugText.clear();
    plat::SetDebugSink(CaptureDebug);
    RmcFields f;
    const std::string s = kFix;
    ParseRmc(reinterpret_cast<const unsigned char *>(s.c_str()), static_cast<int32_t>(s.size()), &f);
    plat::SetDebugSink(nullptr);
    EXPECT_EQ(g_debugText, "3150.7800\n");
}

TEST(NmeaToDegrees, DegreesAndMinutes) {
    const struct {
        const char *text;
        double degrees;
    } cases[] = {
        {"3150.7800", kLat},
        {"12130.5000", kLon},
        {"0000.0000", 0.0},
        {"8959.9999", 89.0 + 59.9999 / 60.0},
        {"0030.0000", 0.5},
        {"-3150.7800", -kLat},
        {"", 0.0},
        {"99999999999999", 21474836.0 + 47.0 / 60.0 + (99999999999999.0 - 2147483647.0) / 60.0},
    };
    for (const auto &c : cases) {
        EXPECT_NEAR(NmeaToDegrees(c.text), c.degrees, 1e-9 * std::max(1.0, std::fabs(c.degrees))) << c.text;
    }
}

// The receiver's decimal point is '.', whatever locale the host has chosen.
TEST(NmeaToDegrees, IgnoresHostLocale) {
    const char *const names[] = {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "German", "French"};
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char *set = nullptr;
    for (const char *name : names) {
        if ((set = std::setlocale(LC_NUMERIC, name)) != nullptr) break;
    }
    if (!set) GTEST_SKIP() << "no locale with a decimal comma installed";
    const double degrees = NmeaToDegrees("3150.7800");
    const Built b = Build(TextChunk(kFix, 100));
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_NEAR(degrees, kLat, 1e-9);
    EXPECT_EQ(b.gps.speed, 1851);
}

}  // namespace
