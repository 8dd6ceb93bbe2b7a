// export and export-day: recordings out of the card in formats every tool
// opens.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "card_files.h"
#include "commands.h"
#include "damaged_copy.h"
#include "console.h"
#include "container_writer.h"
#include "export_job.h"
#include "output_file.h"
#include "record_file.h"
#include "recording_tree.h"
#include "track_point.h"

namespace {

std::string Summary(const ExportRequest &request, const ExportResult &r) {
    std::string text = "wrote " + (IsStandardOutput(request.output) ? std::string("standard output") : request.output) + ":";
    switch (FormatOf(request)) {
    case ExportFormat::H264: text += " " + std::to_string(r.videoFrames) + " video frames"; break;
    case ExportFormat::Wav: text += " " + std::to_string(r.audioBytes) + " bytes of audio"; break;
    case ExportFormat::Track:
        text += " " + std::to_string(r.points) + " GPS positions in " + std::to_string(r.segments) + " segment" +
                (r.segments == 1 ? "" : "s");
        break;
    case ExportFormat::Container:
        text += " " + std::to_string(r.videoFrames) + " video frames" +
                (r.audio ? " with sound" : " without sound (" + r.noAudio + ")");
        break;
    case ExportFormat::Unsupported: break;
    }
    for (const ExportJoin &j : r.joins) {
        text += "\n  at " + FormatDuration(j.atUs) + ": " + j.after + " follows " + j.before + " after " +
                (j.gapUs > 0 ? FormatDuration(j.gapUs) : std::string("no gap")) +
                (j.gapUs <= 0 ? "" : request.keepGaps ? " (gap kept)" : " (gap cut)");
    }
    return text;
}

// The summary goes to standard output, or to standard error where the
// output itself goes to standard output; none with -q.
void PrintSummary(const ExportRequest &request, const ExportResult &result) {
    if (Verbosity() < 0) return;
    if (result.kept) {
        std::fprintf(Out(), "kept %s: exists already (-n)\n", request.output.c_str());
        return;
    }
    std::string text = Summary(request, result);
    if (Verbosity() > 0) {
        for (const std::string &f : request.files) text += "\n  from " + f;
    }
    std::fprintf(IsStandardOutput(request.output) ? stderr : Out(), "%s\n", text.c_str());
}

// True when the record file holds at least one GPS fix.
bool HasGps(const CommandContext &c, const std::string &path) {
    CRecordFile file(c.lib);
    if (file.Open(path, 0, c.options.password)) return false;
    AvFrameInfo frame{};
    while (file.NextSideData(frame)) {
        TrackPoint point;
        if (GpsFromSideData(frame.data, frame.length, &point.gps)) return true;
    }
    return false;
}

// The name of a record file without its channel: the files of one
// recording's channels share it ("card/video/_20150109-104929_1025h.avi").
std::string RecordingKey(const std::string &path) {
    const std::string name = BaseName(path);
    const size_t underscore = name.find('_');
    const std::string folder = path.substr(0, path.size() - name.size());
    return SamePath(folder) + "/" + (underscore == std::string::npos ? name : name.substr(underscore));
}

// Every channel of a recording carries the same GPS: of the files given,
// one per recording, the first channel's that has any.
std::vector<std::string> GpsFilePerRecording(const CommandContext &c, const std::vector<std::string> &paths) {
    std::vector<std::pair<int, std::string>> ordered;
    for (const std::string &p : paths) ordered.emplace_back(ChannelOfName(p), p);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::map<std::string, std::string> chosen;  // recording, file
    std::map<std::string, std::string> fallback;
    for (const auto &[channel, path] : ordered) {
        const std::string key = RecordingKey(path);
        fallback.emplace(key, path);
        if (chosen.count(key) == 0 && HasGps(c, path)) chosen[key] = path;
    }
    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const std::string &p : paths) {
        const std::string key = RecordingKey(p);
        if (!seen.insert(key).second) continue;
        files.push_back(chosen.count(key) ? chosen[key] : fallback[key]);
    }
    return files;
}

// The name of a folder path's last folder: "2015-01-09" of "card/2015-01-09/".
std::string FolderName(std::string path) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return BaseName(path);
}

// The files of the day's folders that the search leaves out as they are
// cut short (no stop time, say) but that a repair recovers: each a
// recording of its own, placed by its start.
void AddIncompleteFiles(const CommandContext &c, const std::string &day, std::vector<Recording> &recordings) {
    std::set<std::string> listed;
    for (const Recording &r : recordings) {
        for (const RecordingFile &f : r.files) listed.insert(SamePath(f.path));
    }
    for (const std::string &folder : FoldersOfDay(day)) {
        for (const std::string &path : AviFiles(folder)) {
            // A file read where it lies is sound or beyond repair; the copy is
            // kept for the open below.
            if (listed.count(SamePath(path)) != 0 || ReadablePath(path) == path) continue;
            CRecordFile file(c.lib);
            if (file.Open(path, 0, c.options.password)) continue;
            Recording r;
            const int own = ChannelOfName(path);
            r.files.push_back({path, own >= 0 ? own : 0});
            r.startUs = file.Info().startTimeUs;
            r.durationMs = file.Info().durationMs;
            auto at = std::find_if(recordings.begin(), recordings.end(),
                                   [&](const Recording &other) { return other.startUs > r.startUs; });
            recordings.insert(at, std::move(r));
        }
    }
}

}  // namespace

CliError RunExportCommand(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.empty()) return Fail(kExitUsage, "export takes one or more record files");
    if (o.output.empty()) return Fail(kExitUsage, "export needs an output file: -o OUT");
    ExportRequest request;
    request.output = o.output;
    request.format = o.format;
    // A name without a known extension takes the one --format gives.
    if (!o.format.empty() && !IsStandardOutput(o.output) && FormatOf(o.output) == ExportFormat::Unsupported) {
        request.output += o.format;
    }
    request.password = o.password;
    request.clock = c.clock;
    request.audioChannel = o.channel;
    request.progress = o.progress;
    request.keepGaps = o.keepGaps;
    request.refuseOverlaps = true;
    // The files of a recording's several channels: one channel is exported.
    std::set<int> channels;
    for (const std::string &p : o.paths) channels.insert(ChannelOfName(p));
    if (FormatOf(request) == ExportFormat::Track && channels.size() > 1 && !o.channel) {
        request.files = GpsFilePerRecording(c, o.paths);
    } else if (o.paths.size() > 1 && o.channel) {
        for (const std::string &p : o.paths) {
            if (ChannelOfName(p) == *o.channel) request.files.push_back(p);
        }
        if (request.files.empty()) {
            return Fail(kExitUsage, "none of the files given is of channel " + std::to_string(*o.channel + 1));
        }
    } else if (channels.size() > 1) {
        return Fail(kExitUsage, "the files given belong to several channels; pick one with --channel");
    } else {
        request.files = o.paths;
    }
    request.trackName = BaseName(request.files.front());
    ExportResult result;
    if (CliError e = RunExport(c.lib, request, result)) return e;
    PrintSummary(request, result);
    return {};
}

CliError RunExportDay(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.size() != 2) return Fail(kExitUsage, "export-day takes a day folder and an output folder");
    if (o.join) return RunExportDayJoin(c);
    const std::string &day = o.paths[0];
    const std::string outFolder = AsFolder(o.paths[1]);
    const std::string format = o.format.empty() ? ".mp4" : o.format;
    if (FormatOf("x" + format) == ExportFormat::Unsupported || FormatOf("x" + format) == ExportFormat::Track) {
        return Fail(kExitUnsupportedOutput, "--format " + format + ": export-day writes one of .mp4, .mkv, .h264, .wav");
    }
    if (FormatOf("x" + o.format) == ExportFormat::Container && CContainerWriter::Unavailable()) {
        return Fail(kExitUnsupportedOutput, "--format " + o.format + ": " + CContainerWriter::Unavailable());
    }
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, day, recordings)) return e;
    AddIncompleteFiles(c, day, recordings);
    if (recordings.empty()) return Fail(kExitNotRecordFile, day + ": no recordings in this day folder");
    // --channel: the files of that channel only, as in export.
    if (o.channel) {
        for (Recording &r : recordings) {
            std::vector<RecordingFile> files;
            for (const RecordingFile &f : r.files) {
                if (f.channel == *o.channel) files.push_back(f);
            }
            r.files = std::move(files);
        }
        recordings.erase(std::remove_if(recordings.begin(), recordings.end(),
                                        [](const Recording &r) { return r.files.empty(); }),
                         recordings.end());
        if (recordings.empty()) {
            return Fail(kExitNotRecordFile, day + ": no recordings of channel " + std::to_string(*o.channel + 1));
        }
    }

    // The output folder is made when the first output is about to be
    // written, and taken away again when nothing came to be in it.
    std::error_code ec;
    bool made = false;
    const auto makeFolder = [&]() -> CliError {
        if (made || std::filesystem::is_directory(outFolder, ec)) return {};
        std::filesystem::create_directories(outFolder, ec);
        if (!std::filesystem::is_directory(outFolder, ec)) {
            return Fail(kExitFailed, o.paths[1] + ": cannot create the output folder");
        }
        made = true;
        return {};
    };

    size_t outputs = 1, done = 0;  // the day's route too
    for (const Recording &r : recordings) outputs += r.files.size();
    const auto count = [&] { return std::to_string(++done) + "/" + std::to_string(outputs); };

    CliError first;
    // Per recording, the first file exported that has GPS: every channel
    // carries the same route, but a channel may carry none.
    std::vector<std::string> trackFiles;
    for (const Recording &r : recordings) {
        bool routeTaken = false;
        for (const RecordingFile &f : r.files) {
            ExportRequest request;
            request.files = {f.path};
            std::string name = BaseName(f.path);
            name = name.substr(0, name.size() >= 4 ? name.size() - 4 : name.size());
            request.output = outFolder + name + format;
            request.password = o.password;
            request.clock = c.clock;
            request.trackName = name;
            request.progress = o.progress;
            request.progressCount = count();
            ExportResult result;
            CliError e = makeFolder();
            if (!e) e = RunExport(c.lib, request, result);
            if (e) {
                std::fprintf(stderr, "avfile: %s\n", e.message.c_str());
                if (!first) first = e;
                continue;
            }
            PrintSummary(request, result);
            if (!routeTaken && HasGps(c, f.path)) {
                trackFiles.push_back(f.path);
                routeTaken = true;
            }
        }
    }

    // One route for the whole day, a segment per recording in time order.
    if (!trackFiles.empty()) {
        ExportRequest request;
        request.files = trackFiles;
        request.output = outFolder + FolderName(day) + ".gpx";
        request.password = o.password;
        request.clock = c.clock;
        request.trackName = FolderName(day);
        request.progress = o.progress;
        request.progressCount = count();
        ExportResult result;
        if (CliError e = RunExport(c.lib, request, result)) {
            std::fprintf(stderr, "avfile: day track: %s\n", e.message.c_str());
            if (!first && e.code == kExitOutputExists) first = e;
        } else {
            PrintSummary(request, result);
        }
    }
    if (made && std::filesystem::is_empty(outFolder, ec)) std::filesystem::remove(outFolder, ec);
    if (first) first.message = "some recordings were not exported (see above)";
    return first;
}
