// clip: a window of time cut out of a day's recordings, one channel
// stream-copied, or the channels side by side.
#include <cstdio>
#include <string>
#include <vector>

#include "clip_job.h"
#include "clip_window.h"
#include "commands.h"
#include "console.h"
#include "export_job.h"
#include "mosaic.h"
#include "record_file.h"
#include "recording_tree.h"

namespace {

// "10:49:34 to 10:51:04 (1:30)" on the clock shown.
std::string Span(const CClock &clock, int64_t fromUs, int64_t toUs) {
    return clock.Format(fromUs) + " to " + clock.Format(toUs) + " (" + FormatDuration(toUs - fromUs) + ")";
}

// The path beside `output` with the extension `extension`.
std::string Beside(const std::string &output, const char *extension) {
    const size_t dot = output.find_last_of('.');
    const size_t slash = output.find_last_of("/\\");
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? output.substr(0, dot)
                                                                                                    : output;
    return stem + extension;
}

CliError WindowOfDay(const CommandContext &c, const std::vector<Recording> &recordings, int64_t &fromUs,
                     int64_t &toUs) {
    const Options &o = c.options;
    if (o.from.empty() || o.to.empty()) return Fail(kExitUsage, "clip needs its window: --from TIME --to TIME");
    return WindowOfRecordings(c.clock, o.from, o.to, recordings, fromUs, toUs);
}

}  // namespace

CliError RunClipCommand(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.size() != 1) return Fail(kExitUsage, "clip takes one day folder");
    if (o.output.empty()) return Fail(kExitUsage, "clip needs an output file: -o OUT");
    if (o.mosaic && o.channel) return Fail(kExitUsage, "clip takes --channel N or --mosaic, not both");
    const std::string &day = o.paths[0];
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, day, recordings)) return e;
    if (recordings.empty()) return Fail(kExitNotRecordFile, day + ": no recordings in this day folder");
    int64_t fromUs = 0, toUs = 0;
    if (CliError e = WindowOfDay(c, recordings, fromUs, toUs)) return e;
    const std::vector<int> channels = ChannelsInWindow(recordings, fromUs, toUs);
    if (channels.empty()) {
        return Fail(kExitNotRecordFile, day + ": no recording from " + c.clock.Format(fromUs) + " to " + c.clock.Format(toUs));
    }
    if (o.mosaic) return RunMosaicClip(c, recordings, channels, fromUs, toUs);

    int channel = channels.front();
    if (o.channel) {
        channel = *o.channel;
    } else if (channels.size() > 1) {
        return Fail(kExitUsage, "the window holds " + std::to_string(channels.size()) +
                                    " channels: choose one with --channel N, or --mosaic");
    }
    ClipRequest request;
    request.files = FilesInWindow(recordings, channel, fromUs, toUs);
    if (request.files.empty()) {
        return Fail(kExitNotRecordFile, day + ": no recording of channel " + std::to_string(channel + 1) + " from " +
                                            c.clock.Format(fromUs) + " to " + c.clock.Format(toUs));
    }
    request.fromUs = fromUs;
    request.toUs = toUs;
    request.channel = channel;
    request.output = o.output;
    if (o.gpx && FormatOf(o.output) != ExportFormat::Track) request.gpxOutput = Beside(o.output, ".gpx");
    request.password = o.password;
    request.clock = c.clock;
    request.keepGaps = o.keepGaps;
    request.trackName = BaseName(Beside(o.output, ""));
    ClipResult result;
    CliError e = RunClip(c.lib, request, result);
    for (const ClipGap &g : result.gaps) {
        if (!g.leftOut.empty()) {
            std::fprintf(stderr, "avfile: left out %s: %s, %s\n", Span(c.clock, g.fromUs, g.toUs).c_str(),
                         BaseName(g.leftOut).c_str(), g.reason.c_str());
        } else {
            std::fprintf(Out(), "no recording %s%s\n", Span(c.clock, g.fromUs, g.toUs).c_str(),
                         g.fromUs == fromUs || g.toUs == toUs ? "" : o.keepGaps ? ", kept as a jump in the times"
                                                                                  : ", cut");
        }
    }
    if (e) return e;
    std::string text = "wrote " + request.output + ": " + c.clock.Format(result.firstUs) + " to " +
                       c.clock.Format(result.lastUs) + ", " + FormatDuration(result.durationUs) + ", channel " +
                       std::to_string(channel + 1);
    if (result.videoFrames) text += ", " + std::to_string(result.videoFrames) + " video frames";
    if (result.audio) text += ", " + std::to_string(result.audioBytes) + " bytes of audio";
    if (result.cues) text += ", " + std::to_string(result.cues) + " GPS cues";
    std::fprintf(Out(), "%s\n", text.c_str());
    if (!request.gpxOutput.empty()) {
        std::fprintf(Out(), "wrote %s: %llu GPS positions\n", request.gpxOutput.c_str(),
                     static_cast<unsigned long long>(result.points));
    }
    if (result.leftOut) {
        return Fail(result.leftOut.code, "the clip leaves out recordings it cannot read (see above)" +
                                             std::string(result.leftOut.code == kExitPassword ? "; give --password to include them" : ""));
    }
    return {};
}
