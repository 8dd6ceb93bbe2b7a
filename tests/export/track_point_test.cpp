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

}  // namespace
