// Every documented exit code of the avfile program, no output left behind
// by a command refused before it wrote anything, and the help text.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_run.h"

namespace {

class Help : public CliTest {};

struct ErrorCase {
    const char *name;
    int exitCode;
    // Arguments; "@plain", "@encrypted", "@out" and "@dir" stand for the
    // sample card's files, the output file and the test's folder, in
    // which the program runs.
    std::vector<std::string> args;
    const char *message;  // part of the message on standard error
};

void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

class ExitCodeTest : public CliTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ExitCodeTest, ReportsTheReasonAndWritesNothing) {
    const ErrorCase &c = GetParam();
    dir.WriteFile("notes.txt", "not a recording\n");
    dir.WriteFile("video/1_20150109-104929_1025h.avi", "RIFF but nothing more\n");
    dir.MakeDir("folder/2_20150109-104929_1025h.avi");
    dir.MakeDir("empty");
    dir.WriteFile("route.gpx", "an earlier run's output\n");
    // The first recording again under another name: the same time.
    std::filesystem::copy_file(card().PlainFile(), dir.MakeDir("copy") + "/1_20150109-104930_1025h.avi");
    const std::set<std::string> before = Entries(dir);
    std::vector<std::string> args;
    for (const std::string &a : c.args) {
        if (a == "@plain") args.push_back(card().PlainFile());
        else if (a == "@plain2") args.push_back(card().PlainFile(2));
        else if (a == "@encrypted") args.push_back(card().EncryptedFile());
        else if (a.rfind("@out", 0) == 0) args.push_back(dir / ("out" + a.substr(4)));
        else if (a.rfind("@dir/", 0) == 0) args.push_back(dir / a.substr(5));
        else args.push_back(a);
    }
    const RunResult r = RunAvfile(args, dir);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Entries(dir), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ExitCodeTest,
    ::testing::Values(
        ErrorCase{"NoOutputNamed", 2, {"export", "@plain"}, "-o OUT"},
        ErrorCase{"FilesOfSeveralChannels", 2, {"export", "@plain", "@plain2", "-o", "@out.h264"}, "--channel"},
        ErrorCase{"UnknownCommand", 2, {"play", "@plain"}, "unknown command"},
        ErrorCase{"PasswordOfSevenCharacters", 2, {"info", "@encrypted", "--password", "Road201"}, "16 hexadecimal"},
        ErrorCase{"PasswordNotHex", 2, {"info", "@encrypted", "--password", "526f61643230313g"}, "16 hexadecimal"},
        ErrorCase{"UtcOffsetWithoutSign", 2, {"days", "@dir/", "--utc-offset", "08:00"}, "+HH:MM"},
        ErrorCase{"ChannelOutOfRange", 2, {"info", "@plain", "--channel", "17"}, "1 to 16"},
        ErrorCase{"MissingFile", 3, {"export", "@dir/2_20150109-104929_1025h.avi", "-o", "@out.mp4"}, "no such file"},
        ErrorCase{"MissingFolder", 3, {"recordings", "@dir/2015-01-11"}, "no such folder"},
        ErrorCase{"TextFile", 4, {"info", "notes.txt"}, "not a record file"},
        ErrorCase{"BrokenRecordFile", 4, {"export", "@dir/video/1_20150109-104929_1025h.avi", "-o", "@out.h264"},
                  "not a record file"},
        ErrorCase{"EncryptedWithoutPassword", 5, {"export", "@encrypted", "-o", "@out.h264"}, "--password"},
        ErrorCase{"EncryptedWrongPassword", 5, {"export", "@encrypted", "-o", "out.mkv", "--password", "Road2016"},
                  "wrong password"},
        ErrorCase{"OneOfTwoFilesEncrypted", 5, {"export", "@plain", "@encrypted", "-o", "@out.mp4", "--channel", "1"},
                  "--password"},
        ErrorCase{"FolderNamedLikeARecordFile", 6, {"info", "@dir/folder/2_20150109-104929_1025h.avi"}, "cannot read"},
        ErrorCase{"UnsupportedExtension", 7, {"export", "@plain", "-o", "@out.mov"}, ".mp4"},
        ErrorCase{"TimelineNotSvg", 7, {"timeline", "@dir/", "-o", "@out.png"}, "SVG"},
        ErrorCase{"NoLibrary", 8, {"days", "@dir/", "--library", "@dir/libmissing.so"}, "cannot load"},
        ErrorCase{"OutputFolderMissing", 1, {"export", "@plain", "-o", "no/such/folder/out.h264"}, "cannot create"},
        // Options a command does not take, --opt=value, standard output.
        ErrorCase{"OptionTheCommandDoesNotTake", 2, {"days", "@dir/", "--channel", "1"}, "days does not take --channel"},
        ErrorCase{"OutputOptionOfExportDay", 2, {"export-day", "@dir/empty", "@dir/out", "-o", "x.mp4"},
                  "does not take --output"},
        ErrorCase{"ValueAfterEquals", 2, {"info", "@plain", "--channel=17"}, "1 to 16"},
        ErrorCase{"ValueForAFlag", 2, {"export", "@plain", "--keep-gaps=yes", "-o", "@out.mp4"}, "takes no value"},
        ErrorCase{"StandardOutputWithoutFormat", 2, {"export", "@plain", "-o", "-"}, "--format"},
        ErrorCase{"Mp4ToStandardOutput", 7, {"export", "@plain", "-o", "-", "--format", "mp4"}, "standard output"},
        ErrorCase{"FormatAgainstTheName", 2, {"export", "@plain", "-o", "@out.mp4", "--format", "mkv"}, "--format .mkv"},
        ErrorCase{"KeepGapsInAWave", 2, {"export", "@plain", "-o", "@out.wav", "--keep-gaps"}, "--keep-gaps"},
        ErrorCase{"PasswordTwice", 2, {"info", "@encrypted", "--password", "Road2015", "--password-file", "notes.txt"},
                  "once"},
        ErrorCase{"PasswordFileMissing", 3, {"info", "@encrypted", "--password-file", "@dir/none"}, "password file"},
        // Several files: the same twice, or two of one time.
        ErrorCase{"SameFileTwice", 2, {"export", "@plain", "@plain", "-o", "@out.mp4"}, "given twice"},
        ErrorCase{"OverlappingFiles", 2, {"export", "@plain", "@dir/copy/1_20150109-104930_1025h.avi", "-o", "@out.mp4"},
                  "overlaps"},
        // The output exists: refused unless -y or -n.
        ErrorCase{"OutputExists", 10, {"export", "@plain", "-o", "route.gpx"}, "-y replaces it"},
        // A channel without sound.
        ErrorCase{"NoAudioOnTheChannel", 1, {"export", "@plain", "--channel", "2", "-o", "@out.wav"},
                  "no audio on channel 2"},
        // Nothing to export: the output folder is not made.
        ErrorCase{"DayFolderWithoutRecordings", 4, {"export-day", "@dir/empty", "@dir/out"}, "no recordings"}),
    [](const ::testing::TestParamInfo<ErrorCase> &info) { return std::string(info.param.name); });

// A word of the help text: a name between blanks, brackets or a comma.
bool Names(const std::string &text, const std::string &word) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const char before = at == 0 ? '\n' : text[at - 1], after = text[at + word.size()];
        if (std::string(" \n(").find(before) != std::string::npos && std::string(" \n,).").find(after) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// --help is the tool's manual: every command, option, output format and
// exit code is in it.
TEST_F(Help, NamesEveryCommandOptionFormatAndExitCode) {
    const RunResult r = RunAvfile({"--help"}, dir);
    EXPECT_EQ(r.exitCode, 0);
    for (int code = 0; code <= 10; ++code) {
        EXPECT_NE(r.out.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
    }
    // Ended by a signal, as a shell reports it.
    for (const char *code : {"130", "143", "129"}) EXPECT_TRUE(Names(r.out, code)) << code;
    for (const char *command :
         {"days", "recordings", "check", "info", "frames", "export", "export-day", "timeline", "track", "scan"}) {
        EXPECT_NE(r.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
        // and the program knows it.
        const RunResult run = RunAvfile({command}, dir);
        EXPECT_EQ(run.err.find("unknown command"), std::string::npos) << command << ": " << run.err;
    }
    for (const char *option : {"-o", "--output", "--channel", "--password", "--utc-offset", "--json", "--library",
                               "--format", "-h", "--help", "-q", "--quiet", "-v", "--verbose", "-n", "--no-clobber", "-y",
                               "--overwrite", "--password-file", "AVFILE_PASSWORD", "--no-progress", "--keep-gaps",
                               "--hours", "--speed-range"}) {
        EXPECT_TRUE(Names(r.out, option)) << option;
    }
    for (const char *format : {".h264", ".wav", ".gpx", ".geojson", ".kml", ".csv", ".mkv", ".mp4"}) {
        EXPECT_NE(r.out.find(format), std::string::npos) << format;
    }
}

}  // namespace
