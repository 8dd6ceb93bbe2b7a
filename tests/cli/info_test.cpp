// info: what a user asks of a record file first (size, damage, codec,
// profile and resolution from the stream's own parameter sets, measured
// frame and bit rate, the GPS summary and the clock's offset), for several
// files at once, and of an encrypted one without its password what is
// stored plain.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_run.h"
#include "recsim/recsim.h"

namespace {

class Info : public CliTest {
protected:
    // Runs a Python check of the JSON on standard output of `args`; its
    // printed lines come back, or nothing when python3 is not installed.
    std::string CheckJson(const std::vector<std::string> &args, const std::string &script, int exitCode) {
        const RunResult r = RunAvfile(args, dir);
        EXPECT_EQ(r.exitCode, exitCode) << r.err;
        if (!ToolInstalled("python3 --version", dir)) return {};
        const std::string json = dir.WriteFile("info.json", r.out);
        const RunResult check = RunCommand("python3 -c " + Quote("import json,sys\nd=json.load(open(sys.argv[1]))\n" + script) +
                                               " " + Quote(json),
                                           dir);
        EXPECT_EQ(check.exitCode, 0) << check.err << r.out;
        return check.out;
    }
};

TEST_F(Info, WhatTheStreamAndTheGpsSay) {
    const std::string file = card().PlainFile();
    const RunResult r = RunAvfile({"info", file}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const std::string &expected :
         {"Size            " + std::to_string(std::filesystem::file_size(file)) + " bytes\n",
          std::string("State           sound\n"),
          std::string("Video           H.264 Constrained Baseline, level 1.3, 320x240\n"),
          std::string("Frame rate      25 per second (measured 25.00)\n"),
          std::string("GPS             5 fixes, 0.025 km, top 22.2 km/h, mean 22.2 km/h\n"),
          std::string("First fix       2015-01-09 10:49:29  31.846333 121.508333\n"),
          std::string("Last fix        2015-01-09 10:49:33  "),
          std::string("Clock offset    recorder clock 8:00:07 ahead of GPS time: zone UTC+08:00 (from 5 sentences)\n")}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
}

// One array for several files, each entry of the documented shape; a file
// that cannot be read is an entry with its error, and the exit code is the
// first trouble's.
TEST_F(Info, SeveralFilesAsOneJsonArray) {
    const std::string out = CheckJson(
        {"info", card().PlainFile(), card().EncryptedFile(), dir / "1_20150109-104929_1025h.avi", "--json"},
        "print(len(d), [e['schema'] for e in d])\n"
        "p, e, m = d\n"
        "print(p['video']['codec'], p['video']['width'], p['video']['height'], p['size'] > 0, p['damage']['state'])\n"
        "print(p['gps']['fixes'], round(p['gps']['distanceM']), p['gps']['topSpeedKmh'], p['gps']['clockZone'])\n"
        "print(p['utc'], p['start'], p['gps']['first']['time'], round(p['measuredFrameRate']), p['videoBitRate'] > 0)\n"
        "print(e['encrypted'], e['passwordNeeded'], e['video'], e['frames'], e['start'], e['gps']['fixes'], e['audioChannel'])\n"
        "print(m['exitCode'], 'no such file' in m['error'])\n",
        5);
    if (out.empty()) GTEST_SKIP() << "python3 not installed";
    EXPECT_EQ(out,
              "3 [1, 1, 1]\n"
              "H.264 320 240 True sound\n"
              "5 25 22.22 UTC+08:00\n"
              "False 2015-01-09 10:49:29 2015-01-09 10:49:29 25 True\n"
              "True True None None 2015-01-10 08:16:30 5 1\n"
              "3 True\n");
}

// Without the password an encrypted recording shows its header, times,
// channel and GPS, says the rest needs the password, and exits 5.
TEST_F(Info, EncryptedWithoutPasswordShowsWhatIsPlain) {
    const RunResult r = RunAvfile({"info", card().EncryptedFile(3)}, dir);
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find("--password"), std::string::npos) << r.err;
    for (const char *expected :
         {"Start           2015-01-10 08:16:30\n", "Stop            2015-01-10 08:16:35 (5.0 s)\n", "Channel         3, audio of channel 3\n",
          "Recording       normal\n",
          "Encrypted       yes: encrypted (password needed)\n", "Video           encrypted (password needed)\n",
          "GPS             5 fixes", "Clock offset    recorder clock 8:00:09 ahead"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    const RunResult opened = RunAvfile({"info", card().EncryptedFile(3), "--password", SampleCard::kPassword}, dir);
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_NE(opened.out.find("Video           H.264 "), std::string::npos) << opened.out;
}

// The damage state is the salvage scanner's: a file cut short says so.
TEST_F(Info, DamageStateOfAFileCutShort) {
    recsim::RecordingPlan plan;
    plan.seconds = 4;
    const std::string file = dir / "1_20150109-104929_1025h.avi";
    ASSERT_TRUE(recsim::WriteFile(file, recsim::PlannedFile(plan, 1420800569)));
    std::filesystem::resize_file(file, std::filesystem::file_size(file) * 2 / 3);
    const RunResult r = RunAvfile({"info", file}, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("State           incomplete, "), std::string::npos) << r.out;
}

}  // namespace
