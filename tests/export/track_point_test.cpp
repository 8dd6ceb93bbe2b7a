#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "recfile/gps.h"
#include "track_point.h"

namespace {

const std::string kFix = "$GPRMC,104929.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115,,,A";

// The side-data record the library delivers for a text chunk of `length`
// bytes holding `sentence`.
std::vector<unsigned char> SideData(const std::string &sentence, size_t length) {
    std::vector<unsigned char> chunk(length, 0);
    std::memcpy(chunk.data(), sentence.data(), std::min(sentence.size(), length));
    std::vector<unsigned char> record(kSideDataMaxLength);
    int32_t recordLength = 0;
    BuildSideData(chunk.data(), static_cast<int32_t>(chunk.size()), record.data(), &recordLength);
    record.resize(static_cast<size_t>(recordLength));
    return record;
}

TEST(GpsFromSideData, TakesTheFixOnlyWhenPresent) {
    std::string voidFix = kFix;
    voidFix[17] = 'V';
    const struct {
        const char *name;
        std::vector<unsigned char> record;
        int32_t length;  // as the frame reports it
        bool fix;
    } cases[] = {
        {"fix", SideData(kFix, 100), 48, true},
        {"fix and samples", SideData(kFix, 417), 288, true},
        {"samples only", SideData(voidFix, 417), 244, false},
        {"no fix", SideData(voidFix, 100), 4, false},
        {"record cut short", SideData(kFix, 100), 47, false},
        {"empty", {}, 0, false},
    };
    for (const auto &c : cases) {
        GpsBlock gps{};
        EXPECT_EQ(GpsFromSideData(c.record.empty() ? nullptr : c.record.data(), c.length, &gps), c.fix) << c.name;
        if (c.fix) {
            EXPECT_NEAR(gps.latitude, 31.0 + 50.78 / 60, 1e-9) << c.name;
            EXPECT_NEAR(gps.longitude, 121.0 + 30.5 / 60, 1e-9) << c.name;
            EXPECT_EQ(gps.speed, 1851) << c.name;
        }
    }
}

TEST(IsDrawable, CoordinatesOnTheGlobe) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double latitude, longitude;
        bool drawable;
    } cases[] = {
        {0, 0, true},         {90, 180, true},  {-90, -180, true}, {90.0001, 0, false},
        {0, -180.0001, false}, {nan, 0, false}, {0, inf, false},
        // A receiver's "9999.9999" latitude field.
        {99.0 + 99.9999 / 60, 0, false},
    };
    for (const auto &c : cases) {
        GpsBlock gps{};
        gps.latitude = c.latitude;
        gps.longitude = c.longitude;
        EXPECT_EQ(IsDrawable(gps), c.drawable) << c.latitude << " " << c.longitude;
    }
}

// The tool reads the sentence itself where the library is not asked (an
// encrypted recording without its password, the fix's UTC time, which the
// side-data record does not keep): its position must be the library's.
TEST(ParseRmc, PositionAsTheLibraryAndTheReceiversUtc) {
    const int64_t fixUs = int64_t{1420800569} * 1000000;  // 2015-01-09 10:49:29 UTC
    const struct {
        std::string sentence;
        bool parsed, utcKnown;
        int64_t utcUs;
    } cases[] = {
        {kFix, true, true, fixUs},
        {"$GNRMC,104929.25,A,3150.7800,S,12130.5000,W,10.0,90.5,090115,,,A*1F", true, true, fixUs + 250000},
        {"$BDRMC,235959,A,3150.7800,N,12130.5000,e,0.4,359.9,311299,,,A", true, true,
         int64_t{946684799} * 1000000},
        {"$GPRMC,104929.00,V,,,,,,,090115,,,N", true, true, fixUs},
        {"$GPRMC,,A,3150.7800,N,12130.5000,E,10.0,90.5,,,,A", true, false, 0},
        {"$GPRMC,1049xx.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115,,,A", true, false, 0},
        {"$GPRMC,104929.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115", false, false, 0},
        {"$GPGGA,104929.00,3150.7800,N,12130.5000,E,1,08,0.9,5.0,M,,,,", false, false, 0},
    };
    for (const auto &c : cases) {
        RmcFix fix;
        const std::vector<unsigned char> chunk(c.sentence.begin(), c.sentence.end());
        EXPECT_EQ(ParseRmc(c.sentence.c_str(), c.sentence.size() + 1, fix), c.parsed) << c.sentence;
        EXPECT_EQ(fix.utcKnown, c.utcKnown) << c.sentence;
        if (c.utcKnown) {
            EXPECT_EQ(fix.utcUs, c.utcUs) << c.sentence;
        }
        GpsBlock library{};
        const bool libraryFix = GpsFromSideData(SideData(c.sentence, 100).data(), 48, &library);
        EXPECT_EQ(fix.valid, libraryFix) << c.sentence;
        if (libraryFix) {
            EXPECT_EQ(std::memcmp(&fix.gps, &library, sizeof library), 0) << c.sentence;
        }
    }
    // The sentence is never read beyond the chunk.
    RmcFix cut;
    EXPECT_FALSE(ParseRmc(kFix.c_str(), 40, cut));
}

}  // namespace
