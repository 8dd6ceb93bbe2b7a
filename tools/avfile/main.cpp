// avfile: browse, inspect, export and picture the recordings on a vehicle
// recorder's card. A host of the record file library like any playback
// client: it loads the library at run time and reaches the card only
// through its exports.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "console.h"
#include "exit_codes.h"
#include "library.h"
#include "options.h"
#include "os/host_os.h"

namespace {

const char kHelp[] =
    "usage: avfile COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Browse, inspect and export the recordings of a vehicle recorder's card.\n"
    "\n"
    "commands:\n"
    "  days ROOT                      the card's day folders           [--json]\n"
    "  recordings DAYFOLDER           a day's recordings: start, duration, alarm,\n"
    "                                 channels, files; damaged files marked,\n"
    "                                 those the search leaves out too  [--json]\n"
    "  check FOLDER                   does the folder hold recordings? names the\n"
    "                                 damaged record files (exit 9)\n"
    "  info FILE                      file information, audio format, encryption,\n"
    "                                 frame counts, key-frame interval, GPS fixes\n"
    "                                                                  [--json]\n"
    "  frames FILE                    one line per frame: type, time, length\n"
    "                                                        [--json: JSON Lines]\n"
    "  export FILE... -o OUT          the output's extension picks the format:\n"
    "                                 .h264 (H.264 Annex B stream), .wav (audio),\n"
    "                                 .gpx, .geojson, .kml, .csv (GPS track),\n"
    "                                 .mkv (H.264 + PCM), .mp4 (H.264 + AAC)\n"
    "  export-day DAYFOLDER OUTDIR    every recording of the day, channel by channel\n"
    "                                 (--format .mp4|.mkv|.h264|.wav, default .mp4),\n"
    "                                 and the day's GPS route as DAY.gpx\n"
    "  timeline DAYFOLDER -o day.svg  the day's recordings on a 24-hour chart\n"
    "  track FILE|DAYFOLDER -o t.svg  the GPS route drawn to scale, coloured by speed\n"
    "  scan ROOT                      every record file of the card: sound, incomplete\n"
    "                                 (seconds a repair recovers) or unreadable,\n"
    "                                 and the counts; exit 9 when any is damaged\n"
    "                                                                  [--json]\n"
    "  repair FILE... -o OUT | --output-dir DIR   [--reference SOUND.avi]\n"
    "                                 a copy of a recording cut short by power loss\n"
    "                                 that plays to its last complete frame; the\n"
    "                                 input is only read. A sound file is reported\n"
    "                                 and not copied. A file whose header is lost\n"
    "                                 takes it from --reference, a finished file of\n"
    "                                 the same recorder and channel\n"
    "  info, frames, export and export-day read a recording cut short by power\n"
    "  loss as its repaired copy (a private file in the temporary folder, TMPDIR,\n"
    "  removed at the end) and say so on standard error\n"
    "\n"
    "options:\n"
    "  -o, --output PATH    output file\n"
    "  --output-dir DIR     repair: the copies go here under the inputs' names\n"
    "  --reference FILE     repair: a finished recording giving a lost header\n"
    "  --channel N          channel 1 to 16 as in the file names: the audio to\n"
    "                       read, and which files of a recording to export\n"
    "  --password KEY       password of an encrypted recording: 16 hexadecimal\n"
    "                       digits or 8 characters\n"
    "  --utc-offset +HH:MM  the recorder's clock runs this far ahead of UTC: every\n"
    "                       time listed or exported is shifted to true UTC. Without\n"
    "                       it times are the recorder's clock as recorded.\n"
    "  --json               machine-readable output where listed above\n"
    "  --library PATH       the record file library to load (default: beside the\n"
    "                       program, then LD_LIBRARY_PATH, ../lib, the system's)\n"
    "  --version            the program's version, and the version and path of\n"
    "                       the record file library it loads\n"
    "  -h, --help           this text\n"
    "\n"
    "Outputs are written under a temporary name beside the target and moved into\n"
    "place when complete: a failed or interrupted command leaves no half-written\n"
    "file behind (export-day keeps the outputs it completed). A progress bar is\n"
    "drawn on standard error when it is a terminal.\n"
    "\n"
    "exit codes:\n"
    "  0  success\n"
    "  1  the work failed (an output could not be written, nothing to export,\n"
    "     repair: no complete video frame to salvage)\n"
    "  2  wrong command line\n"
    "  3  a path given does not exist\n"
    "  4  not a record file, or no recordings in the folder (repair: no movie\n"
    "     list, or the header lost and no usable --reference)\n"
    "  5  encrypted recording: password missing or wrong\n"
    "  6  a file that cannot be read\n"
    "  7  an output extension avfile cannot write\n"
    "  8  the record file library cannot be loaded\n"
    "  9  a record file is incomplete or unreadable (scan, check)\n"
    "\n"
    "Interrupted (Ctrl-C, SIGTERM, SIGHUP, or a closed pipe), avfile removes the\n"
    "output it was writing and ends by that signal: a shell reports 130, 143,\n"
    "129 or 141.\n";

using Runner = CliError (*)(const CommandContext &);

struct Command {
    const char *name;
    Runner run;
};

constexpr Command kCommands[] = {
    {"days", RunDays},           {"recordings", RunRecordings},      {"check", RunCheck},
    {"info", RunInfo},           {"frames", RunFrames},              {"export", RunExportCommand},
    {"export-day", RunExportDay}, {"timeline", RunTimeline},         {"track", RunTrack},
    {"scan", RunScan},            {"repair", RunRepair},
};

int Report(const CliError &e) {
    std::fprintf(stderr, "avfile: %s\n", e.message.c_str());
    if (e.code == kExitUsage) std::fprintf(stderr, "avfile: see avfile --help\n");
    return e.code;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    if (CliError e = ParseOptions(argc, argv, options)) return Report(e);
    if (options.version) return PrintVersion(options.library);
    if (options.help || options.command.empty() || options.command == "help") {
        std::fputs(kHelp, options.help || options.command == "help" ? stdout : stderr);
        return options.help || options.command == "help" ? kExitOk : kExitUsage;
    }
    Runner run = nullptr;
    for (const Command &c : kCommands) {
        if (options.command == c.name) run = c.run;
    }
    if (!run) return Report(Fail(kExitUsage, "unknown command " + options.command));

    AvFileLibrary library;
    std::string error;
    if (!LoadAvFileLibrary(options.library, library, &error)) return Report(Fail(kExitNoLibrary, error));
    hostos::RemovePendingOutputsOnInterrupt();
    UseOwnStandardOutput();
    library.Initialize();
    const CommandContext context{library, options, CClock(options.utcOffsetGiven, options.utcOffsetUs)};
    const CliError e = run(context);
    std::fflush(Out());
    library.UnInitialize();
    return e ? Report(e) : kExitOk;
}
