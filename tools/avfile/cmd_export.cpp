// export and export-day: recordings out of the card in formats every tool
// opens.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "card_files.h"
#include "commands.h"
#include "damaged_copy.h"
#include "console.h"
#include "container_writer.h"
#include "export_job.h"
#include "record_file.h"
#include "recording_tree.h"

namespace {

std::string Summary(const ExportRequest &request, const ExportResult &r) {
    std::string text = "wrote " + request.output + ":";
    switch (FormatOf(request.output)) {
    case ExportFormat::H264: text += " " + std::to_string(r.videoFrames) + " video frames"; break;
    case ExportFormat::Wav: text += " " + std::to_string(r.audioBytes) + " bytes of audio"; break;
    case ExportFormat::Track:
        text += " " + std::to_string(r.points) + " GPS positions in " + std::to_string(r.segments) + " segment" +
                (r.segments == 1 ? "" : "s");
        break;
    case ExportFormat::Container:
        text += " " + std::to_string(r.videoFrames) + " video frames" + (r.audio ? " with sound" : ", no sound");
        break;
    case ExportFormat::Unsupported: break;
    }
    return text;
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
    request.password = o.password;
    request.clock = c.clock;
    request.audioChannel = o.channel;
    // The files of a recording's several channels: one channel is exported.
    std::set<int> channels;
    for (const std::string &p : o.paths) channels.insert(ChannelOfName(p));
    if (o.paths.size() > 1 && o.channel) {
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
    std::fprintf(Out(), "%s\n", Summary(request, result).c_str());
    return {};
}

CliError RunExportDay(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.size() != 2) return Fail(kExitUsage, "export-day takes a day folder and an output folder");
    const std::string &day = o.paths[0];
    const std::string outFolder = AsFolder(o.paths[1]);
    if (FormatOf("x" + o.format) == ExportFormat::Unsupported || FormatOf("x" + o.format) == ExportFormat::Track) {
        return Fail(kExitUnsupportedOutput, "--format " + o.format + ": export-day writes one of .mp4, .mkv, .h264, .wav");
    }
    if (FormatOf("x" + o.format) == ExportFormat::Container && CContainerWriter::Unavailable()) {
        return Fail(kExitUnsupportedOutput, "--format " + o.format + ": " + CContainerWriter::Unavailable());
    }
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, day, recordings)) return e;
    AddIncompleteFiles(c, day, recordings);
    std::error_code ec;
    std::filesystem::create_directories(outFolder, ec);
    if (!std::filesystem::is_directory(outFolder, ec)) {
        return Fail(kExitFailed, o.paths[1] + ": cannot create the output folder");
    }

    CliError first;
    std::vector<std::string> trackFiles;  // per recording, a file that opened
    for (const Recording &r : recordings) {
        bool anyOpened = false;
        for (const RecordingFile &f : r.files) {
            ExportRequest request;
            request.files = {f.path};
            std::string name = BaseName(f.path);
            name = name.substr(0, name.size() >= 4 ? name.size() - 4 : name.size());
            request.output = outFolder + name + o.format;
            request.password = o.password;
            request.clock = c.clock;
            request.trackName = name;
            ExportResult result;
            if (CliError e = RunExport(c.lib, request, result)) {
                std::fprintf(stderr, "avfile: %s\n", e.message.c_str());
                if (!first) first = e;
                continue;
            }
            std::fprintf(Out(), "%s\n", Summary(request, result).c_str());
            if (!anyOpened) trackFiles.push_back(f.path);
            anyOpened = true;
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
        ExportResult result;
        if (CliError e = RunExport(c.lib, request, result)) {
            std::fprintf(stderr, "avfile: day track: %s\n", e.message.c_str());
        } else {
            std::fprintf(Out(), "%s\n", Summary(request, result).c_str());
        }
    }
    if (recordings.empty()) return Fail(kExitNotRecordFile, day + ": no recordings in this day folder");
    if (first) first.message = "some recordings were not exported (see above)";
    return first;
}
