// export-day --join: the whole day one file per channel, the recordings
// stream-copied one after the other with the gaps between them cut and
// each stretch of continuous recording a chapter, and the day's GPX.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "clip_job.h"
#include "clip_window.h"
#include "commands.h"
#include "console.h"
#include "export_job.h"
#include "record_file.h"
#include "recording_tree.h"

namespace {

// "2015-01-09" of "card/2015-01-09/".
std::string FolderName(std::string path) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return BaseName(path);
}

// Frames may run a little past a file's recorded stop time.
constexpr int64_t kStopMarginUs = int64_t{60} * 1000000;

}  // namespace

CliError RunExportDayJoin(const CommandContext &c) {
    const Options &o = c.options;
    const std::string &day = o.paths[0];
    const std::string outFolder = AsFolder(o.paths[1]);
    const std::string extension = o.format.empty() ? ".mp4" : o.format;
    const ExportFormat format = FormatOf("x" + extension);
    if (format == ExportFormat::Unsupported || format == ExportFormat::Track) {
        return Fail(kExitUnsupportedOutput, "--format " + extension + ": export-day writes one of .mp4, .mkv, .h264, .wav");
    }
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, day, recordings)) return e;
    if (recordings.empty()) return Fail(kExitNotRecordFile, day + ": no recordings in this day folder");
    std::error_code ec;
    std::filesystem::create_directories(outFolder, ec);
    if (!std::filesystem::is_directory(outFolder, ec)) {
        return Fail(kExitFailed, o.paths[1] + ": cannot create the output folder");
    }
    const std::string name = FolderName(day);
    const int64_t dayFrom = recordings.front().startUs;
    int64_t dayTo = dayFrom;
    for (const Recording &r : recordings) dayTo = std::max(dayTo, r.EndUs());
    dayTo += kStopMarginUs;

    CliError first;
    for (int channel : ChannelsInWindow(recordings, dayFrom, dayTo)) {
        if (o.channel && *o.channel != channel) continue;
        ClipRequest request;
        request.files = FilesInWindow(recordings, channel, dayFrom, dayTo);
        request.fromUs = dayFrom;
        request.toUs = dayTo;
        request.channel = channel;
        request.output = outFolder + name + "_ch" + std::to_string(channel + 1) + extension;
        request.password = o.password;
        request.clock = c.clock;
        request.chapters = true;
        request.trackName = name + " channel " + std::to_string(channel + 1);
        ClipResult result;
        const CliError e = RunClip(c.lib, request, result);
        for (const ClipGap &g : result.gaps) {
            if (g.leftOut.empty()) continue;
            std::fprintf(stderr, "avfile: %s: left out %s to %s: %s, %s\n", request.output.c_str(),
                         c.clock.Format(g.fromUs).c_str(), c.clock.Format(g.toUs).c_str(), BaseName(g.leftOut).c_str(),
                         g.reason.c_str());
        }
        if (e) {
            std::fprintf(stderr, "avfile: %s\n", e.message.c_str());
            if (!first) first = e;
            continue;
        }
        if (result.leftOut && !first) first = result.leftOut;
        const int stretches = result.stretches;
        std::fprintf(Out(), "wrote %s: %s to %s, %llu video frames, %d chapter%s\n", request.output.c_str(),
                     c.clock.Format(result.firstUs).c_str(), c.clock.Format(result.lastUs).c_str(),
                     static_cast<unsigned long long>(result.videoFrames), stretches, stretches == 1 ? "" : "s");
        for (const ClipGap &g : result.gaps) {
            if (g.fromUs > result.firstUs && g.toUs < result.lastUs) {
                std::fprintf(Out(), "  %s %s to %s (%s), cut\n", g.leftOut.empty() ? "gap" : "left out",
                             c.clock.Format(g.fromUs).c_str(), c.clock.Format(g.toUs).c_str(),
                             FormatDuration(g.toUs - g.fromUs).c_str());
            }
        }
    }

    // The day's route, a segment per recording in time order, from the
    // first file of each that opens.
    ExportRequest track;
    for (const Recording &r : recordings) {
        for (const RecordingFile &f : r.files) {
            CRecordFile file(c.lib);
            if (file.Open(f.path, 0, o.password)) continue;
            track.files.push_back(f.path);
            break;
        }
    }
    track.output = outFolder + name + ".gpx";
    track.password = o.password;
    track.clock = c.clock;
    track.trackName = name;
    ExportResult result;
    if (track.files.empty()) {
        std::fprintf(stderr, "avfile: day track: no recording of the day opens\n");
    } else if (CliError e = RunExport(c.lib, track, result)) {
        std::fprintf(stderr, "avfile: day track: %s\n", e.message.c_str());
    } else {
        std::fprintf(Out(), "wrote %s: %llu GPS positions\n", track.output.c_str(),
                     static_cast<unsigned long long>(result.points));
    }
    if (first && first.code == kExitPassword) {
        first.message = "some recordings were left out (see above); give --password to include them";
    } else if (first) {
        first.message = "some recordings were not exported (see above)";
    }
    return first;
}
