// Listing the sample card through the real avfile program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_run.h"

namespace {

class Browse : public CliTest {};
class Check : public CliTest {};
class Inspect : public CliTest {};

size_t Count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(Browse, DaysAndRecordingsOfTheCard) {
    const RunResult days = RunAvfile({"days", card().Root(), "--json"}, dir);
    ASSERT_EQ(days.exitCode, 0) << days.err;
    EXPECT_EQ(Count(days.out, "\"date\""), 2u);
    EXPECT_NE(days.out.find("\"date\": \"2015-01-09\", \"path\": \"" + card().Day1() + "\""), std::string::npos)
        << days.out;

    // Day two: normal, encrypted and alarm recordings of four channels each,
    // in time order.
    const RunResult list = RunAvfile({"recordings", card().Day2()}, dir);
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("3 recordings"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("recorder clock"), std::string::npos);
    const size_t normal = list.out.find("2015-01-10 08:15:00"), encrypted = list.out.find("08:16:30"),
                 alarm = list.out.find("08:18:00");
    ASSERT_NE(normal, std::string::npos) << list.out;
    ASSERT_NE(encrypted, std::string::npos) << list.out;
    ASSERT_NE(alarm, std::string::npos) << list.out;
    EXPECT_LT(normal, encrypted);
    EXPECT_LT(encrypted, alarm);
    EXPECT_EQ(Count(list.out, "encrypted"), 1u);
    EXPECT_EQ(Count(list.out, " alarm "), 1u);
    EXPECT_EQ(Count(list.out, "1,2,3,4"), 3u);
}

// --utc-offset moves every listed time to UTC and says so.
TEST_F(Browse, UtcOffsetShiftsListedTimes) {
    const RunResult r = RunAvfile({"recordings", card().Day1(), "--json", "--utc-offset", "+08:00"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"start\": \"2015-01-09T02:49:29Z\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("UTC (recorder clock UTC+08:00)"), std::string::npos) << r.out;
}

TEST_F(Inspect, InfoOfAPlainAndAnEncryptedFile) {
    struct Case {
        std::string file;
        std::vector<std::string> extra;
        const char *encrypted;
    } cases[] = {
        {card().PlainFile(2), {}, "\"encrypted\": false"},
        {card().EncryptedFile(2), {"--password", SampleCard::kPassword}, "\"encrypted\": true"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"info", c.file, "--json"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = RunAvfile(args, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (const char *expected :
             {"\"durationMs\": 5000", "\"channel\": 2", "\"audioChannel\": 2", "\"frameRate\": 25",
              "\"formatTag\": 1, \"channels\": 1, \"samplesPerSec\": 8000, \"bitsPerSample\": 16",
              "\"key\": 5, \"other\": 120", "\"keyFrameInterval\": 25.000", "\"gpsFixes\": 5"}) {
            EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
        }
        EXPECT_NE(r.out.find(c.encrypted), std::string::npos) << r.out;
    }
}

TEST_F(Inspect, FramesAsJsonLines) {
    const RunResult r = RunAvfile({"frames", card().PlainFile(), "--json"}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\"type\": \"I\""), 5u);
    EXPECT_EQ(Count(r.out, "\"type\": \"P\""), 120u);
    EXPECT_EQ(Count(r.out, "\"type\": \"side\""), 5u);
    EXPECT_EQ(Count(r.out, "\"latitude\""), 5u);
    // The first frame is the first key frame, at the recording's start.
    EXPECT_EQ(r.out.rfind("{\"index\": 0, \"type\": \"I\", \"time\": \"2015-01-09 10:49:29\"", 0), 0u) << r.out.substr(0, 200);
}

TEST_F(Check, FolderHoldsRecordingsOrNeedsAPassword) {
    EXPECT_EQ(RunAvfile({"check", card().Root()}, dir).exitCode, 0);
    // A folder whose only recording is encrypted.
    const std::string lone = dir.MakeDir("lone/video");
    std::filesystem::copy_file(card().EncryptedFile(), lone + "/1_20150110-081630_1025h.avi");
    EXPECT_EQ(RunAvfile({"check", dir / "lone"}, dir).exitCode, 5);
    EXPECT_EQ(RunAvfile({"check", dir / "lone", "--password", SampleCard::kPassword}, dir).exitCode, 0);
    EXPECT_EQ(RunAvfile({"check", dir.MakeDir("empty")}, dir).exitCode, 4);
}

}  // namespace
