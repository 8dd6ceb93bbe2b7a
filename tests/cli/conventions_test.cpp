// The command-line conventions of the avfile program that media tools
// share: outputs that exist are not overwritten unless asked, a password
// from a file or the environment, standard output as "-", quiet and
// verbose runs, and a progress bar with an overall counter that can be
// turned off.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "export/probe_report.h"

namespace {

class Conventions : public CliTest {};

size_t Count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(Conventions, AnExistingOutputIsReplacedOnlyWhenAsked) {
    const std::string old = "an earlier run's output\n";
    struct Case {
        std::vector<std::string> flags;
        int exitCode;
        bool replaced;
        const char *says;  // on standard output or error
    } cases[] = {{{}, 10, false, "-y replaces it"},
                 {{"-n"}, 0, false, "kept"},
                 {{"--no-clobber"}, 0, false, "kept"},
                 {{"-y"}, 0, true, "wrote"},
                 {{"--overwrite"}, 0, true, "wrote"}};
    for (const Case &c : cases) {
        const std::string flags = c.flags.empty() ? "none" : c.flags[0];
        SCOPED_TRACE(flags);
        for (const char *command : {"export", "track"}) {
            const std::string out = dir / (std::string(command) + (std::string(command) == "export" ? ".gpx" : ".svg"));
            dir.WriteFile(std::filesystem::path(out).filename().string(), old);
            std::vector<std::string> args = {command, card().PlainFile(), "-o", out};
            args.insert(args.end(), c.flags.begin(), c.flags.end());
            const RunResult r = RunAvfile(args, dir);
            EXPECT_EQ(r.exitCode, c.exitCode) << command << ": " << r.err;
            EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << command << ": " << r.out << r.err;
            EXPECT_EQ(TempDir::ReadFile(out) != old, c.replaced) << command;
        }
    }

    // export-day run twice into one folder: the second run refuses every
    // recording's output (and so has no day's route to write), keeps them
    // all with -n.
    const std::vector<std::string> day = {"export-day", card().Day1(), dir / "day", "--format", "h264"};
    ASSERT_EQ(RunAvfile(day, dir).exitCode, 0);
    const RunResult again = RunAvfile(day, dir);
    EXPECT_EQ(again.exitCode, 10) << again.err;
    EXPECT_EQ(Count(again.err, "exists already"), 12u) << again.err;
    std::vector<std::string> keep = day;
    keep.push_back("-n");
    const RunResult kept = RunAvfile(keep, dir);
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(Count(kept.out, "kept "), 13u) << kept.out;

    // A day's route of another run in the folder is not overwritten either.
    dir.WriteFile("other/2015-01-09.gpx", old);
    const RunResult route = RunAvfile({"export-day", card().Day1(), dir / "other", "--format", "h264"}, dir);
    EXPECT_EQ(route.exitCode, 10) << route.err;
    EXPECT_EQ(TempDir::ReadFile(dir / "other/2015-01-09.gpx"), old);
    EXPECT_EQ(Count(route.out, "wrote "), 12u) << route.out;
}

TEST_F(Conventions, PasswordFromAFileOrTheEnvironment) {
    dir.WriteFile("password.txt", std::string(SampleCard::kPassword) + "\n");
    const RunResult fromFile =
        RunAvfile({"export", card().EncryptedFile(), "--password-file", dir / "password.txt", "-o", dir / "a.h264"}, dir);
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
    const RunResult fromEnvironment = RunCommand(
        "AVFILE_PASSWORD=" + std::string(SampleCard::kPassword) + " " + Quote(AvfileCommand({})[0]) + " export " +
            Quote(card().EncryptedFile()) + " -o " + Quote(dir / "b.h264"),
        dir);
    EXPECT_EQ(fromEnvironment.exitCode, 0) << fromEnvironment.err;
    // The command line's password comes before the environment's.
    const RunResult wrong = RunCommand("AVFILE_PASSWORD=Road2016 " + Quote(AvfileCommand({})[0]) + " info " +
                                           Quote(card().EncryptedFile()) + " --password " + SampleCard::kPassword,
                                       dir);
    EXPECT_EQ(wrong.exitCode, 0) << wrong.err;
}

// "-o -" with --format writes to standard output, which the reading tool
// takes from a pipe; the summary then goes to standard error.
TEST_F(Conventions, StandardOutputForTheFormatsThatStream) {
    const std::string avfile = Quote(AvfileCommand({})[0]) + " export " + Quote(card().PlainFile()) + " -o - --format ";
    if (ToolInstalled("ffprobe -version", dir)) {
        struct Case {
            const char *format;
            const char *entries;
            std::vector<ProbeField> expected;
        } cases[] = {
            {"mkv", "stream=codec_name,nb_read_packets -select_streams v",
             {{"codec_name", "h264"}, {"nb_read_packets", SampleCard::kFramesPerFile}}},
            {"wav", "stream=codec_name,sample_rate", {{"codec_name", "pcm_s16le"}, {"sample_rate", 8000}}},
            {"h264", "stream=codec_name,nb_read_packets", {{"codec_name", "h264"}, {"nb_read_packets", SampleCard::kFramesPerFile}}},
        };
        for (const Case &c : cases) {
            const RunResult r = RunCommand(avfile + c.format + " | ffprobe -v error -count_packets -show_entries " +
                                               c.entries + " -of default -",
                                           dir);
            EXPECT_EQ(r.exitCode, 0) << c.format << ": " << r.err;
            const std::vector<ProbeSection> sections = ParseProbeReport(r.out);
            ASSERT_EQ(sections.size(), 1u) << c.format << ": " << r.out;
            EXPECT_TRUE(FieldsAre(sections[0], c.expected)) << c.format;
        }
    }
    const RunResult gpx = RunAvfile({"export", card().PlainFile(), "-o", "-", "--format", "gpx"}, dir);
    EXPECT_EQ(gpx.exitCode, 0) << gpx.err;
    EXPECT_EQ(gpx.out.rfind("<?xml", 0), 0u) << gpx.out.substr(0, 100);
    EXPECT_EQ(Count(gpx.out, "<trkpt"), static_cast<size_t>(SampleCard::kFixesPerFile));
    EXPECT_NE(gpx.err.find("wrote standard output: 5 GPS positions"), std::string::npos) << gpx.err;
    EXPECT_EQ(Entries(dir), std::set<std::string>{});
}

TEST_F(Conventions, QuietAndVerbose) {
    const std::string second = card().Day1() + "video/1_20150109-105104_1025h.avi";
    const RunResult quiet = RunAvfile({"export", card().PlainFile(), second, "-o", dir / "q.h264", "-q"}, dir);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.out + quiet.err, "");
    const RunResult verbose = RunAvfile({"export", card().PlainFile(), second, "-o", dir / "v.h264", "--verbose"}, dir);
    EXPECT_EQ(verbose.exitCode, 0) << verbose.err;
    EXPECT_NE(verbose.out.find("from " + second), std::string::npos) << verbose.out;
    EXPECT_NE(verbose.out.find("follows 1_20150109-104929_1025h.avi after 0:01:30"), std::string::npos) << verbose.out;
}

// On a terminal the bar of every output of export-day leads with the
// overall count, an export of several files with the file's; --no-progress
// and -q draw none.
TEST_F(Conventions, ProgressCountsTheOutputsAndCanBeTurnedOff) {
    if (!ToolInstalled("script --version", dir)) GTEST_SKIP() << "script (util-linux) not installed: no terminal to run in";
    const std::string day = Quote(AvfileCommand({})[0]) + " export-day " + Quote(card().Day1()) + " ";
    const auto onTerminal = [&](const std::string &commandLine) {
        return RunCommand("script -q -e -c " + Quote(commandLine) + " /dev/null", dir);
    };
    const RunResult shown = onTerminal(day + "shown --format h264");
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    for (const char *count : {"1/13 export 1_20150109-104929_1025h.h264", "12/13 export 4_20150109-105239_1125h.h264",
                              "13/13 export 2015-01-09.gpx"}) {
        EXPECT_NE(shown.out.find(count), std::string::npos) << count;
    }
    // An export of several files counts the file being read.
    const RunResult joined = onTerminal(Quote(AvfileCommand({})[0]) + " export " + Quote(card().PlainFile()) + " " +
                                        Quote(card().Day1() + "video/1_20150109-105104_1025h.avi") + " " +
                                        Quote(card().Day1() + "alarm/1_20150109-105239_1125h.avi") + " -o joined.mkv");
    EXPECT_EQ(joined.exitCode, 0) << joined.err;
    for (const char *count : {"1/3 export joined.mkv", "3/3 export joined.mkv"}) {
        EXPECT_NE(joined.out.find(count), std::string::npos) << count;
    }
    for (const char *off : {"--no-progress", "-q"}) {
        const RunResult r = onTerminal(day + "off" + off + " --format h264 " + off);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find("/13 export"), std::string::npos) << off;
    }
}

}  // namespace
