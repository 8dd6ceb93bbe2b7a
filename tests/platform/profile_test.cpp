// Profile files as GetPrivateProfileIntA / GetPrivateProfileStringA read
// them. The same cases run against the real services on Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "platform/platform.h"

namespace {

constexpr const char kProfile[] =
    "; settings beside the library\r\n"
    "[AppPath]\r\n"
    "  Src_Type =  1  \r\n"
    "APPEND=..\\\r\n"
    "Negative=-12\r\n"
    "Positive=+7\r\n"
    "Digits=42abc\r\n"
    "Empty=\r\n"
    "Quoted=\"  two words  \"\r\n"
    "Long=abcdefghij\r\n"
    "\r\n"
    "[Other]\r\n"
    "SRC_TYPE=5\r\n"
    "OnlyHere=here\r\n";

class ProfileTest : public ::testing::Test {
protected:
    TempDir dir_;
    const std::string file_ = dir_.WriteFile("AppPath.INI", kProfile);
};

TEST_F(ProfileTest, IntegersWithSectionAndKeyInAnyCase) {
    const struct {
        const char *section, *key;
        int32_t expected;
    } cases[] = {
        {"APPPATH", "SRC_TYPE", 1},
        {"apppath", "src_type", 1},
        {"Other", "Src_Type", 5},
        {"AppPath", "Negative", -12},
        {"AppPath", "Positive", 7},
        {"AppPath", "Digits", 42},
        {"AppPath", "Empty", -3},     // empty value: the default
        {"AppPath", "Absent", -3},    // missing key: the default
        {"AppPath", "OnlyHere", -3},  // key of another section
        {"Absent", "SRC_TYPE", -3},   // missing section
    };
    for (const auto &c : cases) {
        EXPECT_EQ(plat::ProfileInt(c.section, c.key, -3, file_.c_str()), c.expected)
            << c.section << "/" << c.key;
    }
}

TEST_F(ProfileTest, StringsTrimmedAndBounded) {
    const struct {
        const char *section, *key;
        size_t size;
        std::string expected;
    } cases[] = {
        {"APPPATH", "APPEND", 64, "..\\"},
        {"apppath", "append", 64, "..\\"},
        {"AppPath", "Src_Type", 64, "1"},
        {"AppPath", "Quoted", 64, "  two words  "},
        {"AppPath", "Empty", 64, ""},
        {"AppPath", "Absent", 64, "fallback"},
        {"Absent", "APPEND", 64, "fallback"},
        {"AppPath", "Long", 5, "abcd"},     // cut to the buffer, terminated
        {"AppPath", "Absent", 4, "fal"},
    };
    for (const auto &c : cases) {
        char out[64];
        std::memset(out, '#', sizeof out);
        const size_t n =
            plat::ProfileString(c.section, c.key, "fallback", out, c.size, file_.c_str());
        EXPECT_EQ(std::string(out), c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(n, c.expected.size()) << c.section << "/" << c.key;
    }
}

TEST_F(ProfileTest, MissingFileGivesDefaults) {
    const std::string missing = dir_ / "Absent.INI";
    EXPECT_EQ(plat::ProfileInt("APPPATH", "SRC_TYPE", 9, missing.c_str()), 9);
    char out[16];
    // Trailing blanks of the default are dropped; leading ones stay.
    EXPECT_EQ(plat::ProfileString("APPPATH", "APPEND", " dflt  ", out, sizeof out,
                                  missing.c_str()),
              5u);
    EXPECT_STREQ(out, " dflt");
    EXPECT_EQ(plat::ProfileString("APPPATH", "Absent", "dflt ", out, sizeof out, file_.c_str()),
              4u);
    EXPECT_STREQ(out, "dflt");
}

}  // namespace
