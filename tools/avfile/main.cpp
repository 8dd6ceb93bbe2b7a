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
#include "output_file.h"
#include "progress.h"

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
    "  info FILE...                   file information: size, damage, encryption,\n"
    "                                 codec, profile, resolution, measured frame\n"
    "                                 and bit rate, audio format, frame counts,\n"
    "                                 key-frame interval, GPS summary and the\n"
    "                                 recorder clock's offset measured from GPS;\n"
    "                                 without the password what is stored plain\n"
    "                                                    [--json: one array]\n"
    "  frames FILE                    one line per frame: type, time, length\n"
    "                                                        [--json: JSON Lines]\n"
    "  export FILE... -o OUT          the output's extension (or --format) picks the\n"
    "                                 format: .h264 (H.264 Annex B stream), .wav\n"
    "                                 (audio), .gpx, .geojson, .kml, .csv (GPS track),\n"
    "                                 .mkv (H.264 + PCM), .mp4 (H.264 + AAC). Several\n"
    "                                 files are joined end to end in time order, the\n"
    "                                 gaps between them cut (each join in the summary,\n"
    "                                 a chapter per file in .mkv/.mp4); a file given\n"
    "                                 twice or overlapping another is refused\n"
    "  export-day DAYFOLDER OUTDIR    every recording of the day, channel by channel\n"
    "                                 (--format .mp4|.mkv|.h264|.wav, default .mp4),\n"
    "                                 and the day's GPS route as DAY.gpx; OUTDIR is\n"
    "                                 made when there is something to write; --join:\n"
    "                                 one file per channel, DAY_chN, the gaps cut\n"
    "                                 and each stretch of recording a chapter\n"
    "  timeline DAYFOLDER -o day.svg  the day's recordings on a chart of the hours\n"
    "                                 that hold them; encrypted and damaged marked\n"
    "  track FILE|DAYFOLDER -o t.svg  the GPS route drawn to scale, coloured by speed\n"
    "                                 on a fixed scale, times along the way\n"
    "  timeline and track name what they leave out (an encrypted recording\n"
    "  without its password, a damaged file) and then fail as export-day does\n"
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
    "  clip DAYFOLDER --from TIME --to TIME (--channel N | --mosaic) -o OUT\n"
    "                                 the window of one channel across its files,\n"
    "                                 stream-copied from the key frame at or before\n"
    "                                 --from to the last frame before --to; TIME is\n"
    "                                 HH:MM[:SS] of the day or YYYY-MM-DD HH:MM[:SS]\n"
    "                                 on the clock shown. Gaps are cut and listed\n"
    "                                 (--keep-gaps: a jump in the times); .mkv and\n"
    "                                 .mp4 carry the GPS as a subtitle stream; --gpx\n"
    "                                 writes OUT's GPX beside it. --mosaic: the\n"
    "                                 channels side by side, encoded to H.264\n"
    "  report DAYFOLDER [--from TIME --to TIME] -o DIR | report FILE... -o DIR\n"
    "                                 an incident report folder to open in a browser:\n"
    "                                 the channels' videos in step, the route with a\n"
    "                                 moving marker, the speed, and the SHA-256 of\n"
    "                                 every source and output (also as report.json);\n"
    "                                 TIME is HH:MM[:SS] or YYYY-MM-DD HH:MM[:SS] on\n"
    "                                 the clock shown; each channel's window is cut\n"
    "                                 as clip cuts it, real time kept between files\n"
    "  info, frames, export and export-day read a recording cut short by power\n"
    "  loss as its repaired copy (a private file in the temporary folder, TMPDIR,\n"
    "  removed at the end) and say so on standard error\n"
    "\n"
    "options (--opt VALUE or --opt=VALUE; an option the command does not take\n"
    "is an error):\n"
    "  -o, --output PATH    output file; - is standard output, with --format, for\n"
    "                       the formats written as they go: .h264 .wav .csv\n"
    "                       .geojson .gpx .kml .mkv (not .mp4, whose index comes\n"
    "                       at its end); the summary then goes to standard error\n"
    "  --format EXT         export, export-day: the output format; export adds it\n"
    "                       to an output name without a known extension\n"
    "  -n, --no-clobber     keep an output that exists already and go on\n"
    "  -y, --overwrite      replace an output that exists already. Without either\n"
    "                       an existing output is refused (exit 10)\n"
    "  --keep-gaps          export to .mp4/.mkv: keep real time between joined\n"
    "                       files, the gap a jump of the timestamps (no frames\n"
    "                       are added)\n"
    "  --output-dir DIR     repair: the copies go here under the inputs' names\n"
    "  --reference FILE     repair: a finished recording giving a lost header\n"
    "  --channel N          channel 1 to 16 as in the file names, in every command:\n"
    "                       the files of that channel (export, export-day, timeline,\n"
    "                       track) and its audio (a file without it: \"no audio on\n"
    "                       channel N\", exit 1 for .wav, .mp4/.mkv go without\n"
    "                       sound). GPS exports of a recording's several channels\n"
    "                       need none: each recording's first channel with GPS\n"
    "  --password KEY       password of an encrypted recording: 16 hexadecimal\n"
    "                       digits or 8 characters (visible to other users in the\n"
    "                       process list: prefer the next two)\n"
    "  --password-file FILE the password from the file's first line\n"
    "  AVFILE_PASSWORD      (environment) the password when none is given\n"
    "  --utc-offset +HH:MM  the recorder's clock runs this far ahead of UTC: every\n"
    "                       time listed or exported is shifted to true UTC. Without\n"
    "                       it (or --tz) times are the recorder's clock as recorded,\n"
    "                       marked as of no known zone (GPX then carries no times)\n"
    "  --utc-offset gps     the offset measured from the recordings' GPS sentences\n"
    "                       (median of their UTC against the recorder's clock, to\n"
    "                       the second); GPS points get their fixes' own UTC times\n"
    "  --tz ZONE            the recorder's clock shows the local time of ZONE, a\n"
    "                       name of the system's zone database (Asia/Shanghai),\n"
    "                       daylight saving included\n"
    "  --hours FROM-TO      timeline: the hours to draw (0-24 the whole day; up\n"
    "                       to 48 into the next day); default: the hours that hold\n"
    "                       recordings\n"
    "  --speed-range LOW-HIGH  track: the speeds in km/h the colours span\n"
    "                       (default 0-130)\n"
    "  --json               machine-readable output where listed above\n"
    "  --no-progress        draw no progress bar (export-day's bar counts the\n"
    "                       outputs, 3/12; export's the files joined, 2/5)\n"
    "  -q, --quiet          errors only: no summary, notes or progress bar\n"
    "  -v, --verbose        the summary names the files each output was made of\n"
    "  --library PATH       the record file library to load (default: beside the\n"
    "                       program, then LD_LIBRARY_PATH, ../lib, the system's)\n"
    "  --version            the program's version, and the version and path of\n"
    "                       the record file library it loads\n"
    "  -h, --help           this text\n"
    "  --                   what follows are paths, even when they begin with -\n"
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
    "  9  a record file is incomplete or unreadable (scan, check; timeline and\n"
    "     track: a damaged file left out)\n"
    "  10  an output exists already (give -y to replace it, -n to keep it)\n"
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
    {"clip", RunClipCommand},
    {"report", RunReport},
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
    if (CliError e = CheckOptionsOfCommand(options)) return Report(e);
    SetOverwritePolicy(options.overwrite);
    SetVerbosity(options.verbosity);
    ShowProgress(options.progress && options.verbosity >= 0);

    AvFileLibrary library;
    std::string error;
    if (!LoadAvFileLibrary(options.library, library, &error)) return Report(Fail(kExitNoLibrary, error));
    hostos::RemovePendingOutputsOnInterrupt();
    UseOwnStandardOutput();
    SetStandardOutputStream(Out());
    library.Initialize();
    CClock clock;
    if (CliError e = ClockOfOptions(options, clock)) return Report(e);
    const CommandContext context{library, options, clock};
    const CliError e = run(context);
    std::fflush(Out());
    library.UnInitialize();
    return e ? Report(e) : kExitOk;
}
