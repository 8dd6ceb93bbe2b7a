// report: an incident report folder that opens in any browser without a
// server or network: the channels' videos playing in step, the route with
// a marker moving with the playing time, the speed over time, and a table
// of the source files and outputs with their SHA-256 check sums, the same
// facts in report.json.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "clip_window.h"
#include "commands.h"
#include "console.h"
#include "damaged_copy.h"
#include "output_file.h"
#include "record_file.h"
#include "recording_tree.h"
#include "report_assets.h"
#include "report_hash.h"
#include "report_page.h"
#include "report_videos.h"
#include "track_point.h"

#ifndef AVFILE_REPORT_PROGRAM_VERSION
#define AVFILE_REPORT_PROGRAM_VERSION "unknown"
#endif

namespace {

namespace fs = std::filesystem;

const EmbeddedAsset *Asset(std::string_view name) {
    for (size_t i = 0; i < kReportAssetsCount; ++i) {
        if (name == kReportAssets[i].name) return &kReportAssets[i];
    }
    return nullptr;
}

// The record files of the day's recordings that overlap the window (all of
// them without one).
CliError FilesOfWindow(const CommandContext &c, const std::string &day, ReportWindow &window,
                       std::vector<std::string> &files) {
    const Options &o = c.options;
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, day, recordings)) return e;
    if (recordings.empty()) return Fail(kExitNotRecordFile, day + ": no recordings in this day folder");
    if (!o.from.empty() || !o.to.empty()) {
        if (o.from.empty() || o.to.empty()) return Fail(kExitUsage, "report takes both --from and --to, or neither");
        if (CliError e = WindowOfRecordings(c.clock, o.from, o.to, recordings, window.fromUs, window.toUs)) return e;
        window.given = true;
    }
    for (const Recording &r : recordings) {
        if (window.given && (r.EndUs() <= window.fromUs || r.startUs >= window.toUs)) continue;
        if (o.channel && std::none_of(r.files.begin(), r.files.end(),
                                      [&](const RecordingFile &f) { return f.channel == *o.channel; })) {
            continue;
        }
        for (const RecordingFile &f : r.files) {
            if (!o.channel || f.channel == *o.channel) files.push_back(f.path);
        }
    }
    if (files.empty() && window.given) {
        return Fail(kExitFailed, day + ": no recording between " + c.clock.Format(window.fromUs) + " and " +
                                     c.clock.Format(window.toUs));
    }
    if (files.empty()) return Fail(kExitFailed, day + ": no recording of channel " + std::to_string(*o.channel + 1));
    return {};
}

CliError ReadSource(const CommandContext &c, const std::string &path, size_t index, ReportSource &s) {
    s.path = path;
    s.verdict = JudgeFile(path);
    CRecordFile file(c.lib);
    if (CliError e = file.Open(ReadablePath(path), 0, c.options.password)) return e;
    s.startUs = file.Info().startTimeUs;
    s.durationUs = std::max<int64_t>(file.Info().stopTimeUs - file.Info().startTimeUs, 0);
    s.encrypted = file.Encrypted();
    const int named = ChannelOfName(path);
    s.channel = named >= 0 ? named : static_cast<int>(index);
    std::string error;
    if (!Sha256OfFile(path, s.sha256, s.bytes, error)) return Fail(kExitUnreadable, error);
    return {};
}

// The route: every channel of a recording carries the same fixes, so each
// recording gives those of its first channel whose fixes can be read.
void CollectFixes(const CommandContext &c, const std::vector<ReportSource> &sources, std::vector<ReportFix> &fixes) {
    std::map<int64_t, std::vector<const ReportSource *>> recordings;
    for (const ReportSource &s : sources) recordings[s.startUs].push_back(&s);
    for (auto &[start, files] : recordings) {
        std::stable_sort(files.begin(), files.end(),
                         [](const ReportSource *a, const ReportSource *b) { return a->channel < b->channel; });
        for (const ReportSource *s : files) {
            CRecordFile file(c.lib);
            if (file.Open(ReadablePath(s->path), 0, c.options.password)) continue;
            AvFrameInfo frame{};
            size_t found = 0;
            while (file.NextSideData(frame)) {
                ReportFix fix;
                fix.timeUs = frame.timeUs;
                if (!GpsFromSideData(frame.data, frame.length, &fix.gps) || !IsDrawable(fix.gps)) continue;
                fixes.push_back(fix);
                ++found;
            }
            if (found) break;
        }
    }
    std::stable_sort(fixes.begin(), fixes.end(), [](const ReportFix &a, const ReportFix &b) { return a.timeUs < b.timeUs; });
}

// Takes away what a failed report wrote, and its folder when the report
// made it.
class CReportFolder {
public:
    ~CReportFolder() {
        if (m_done) return;
        std::error_code ec;
        for (const std::string &f : written) fs::remove(f, ec);
        if (m_made) fs::remove(m_dir, ec);
    }
    CliError Make(const std::string &dir) {
        m_dir = dir;
        std::error_code ec;
        if (fs::exists(dir, ec)) {
            if (!fs::is_directory(dir, ec)) return Fail(kExitFailed, dir + ": exists and is not a folder");
            return {};
        }
        if (!fs::create_directories(dir, ec)) return Fail(kExitFailed, dir + ": cannot be made: " + ec.message());
        m_made = true;
        return {};
    }
    void Done() { m_done = true; }
    std::vector<std::string> written;

private:
    std::string m_dir;
    bool m_made = false, m_done = false;
};

CliError WriteText(const std::string &path, std::string_view text, CReportFolder &folder) {
    COutputFile out;
    if (!out.Open(path) || !out.Put(text) || !out.Commit()) return Fail(kExitFailed, out.Error());
    folder.written.push_back(path);
    return {};
}

CliError AddOutput(const std::string &dir, const std::string &name, ReportContent &content) {
    ReportOutput o;
    o.file = name;
    std::string error;
    if (!Sha256OfFile(dir + name, o.sha256, o.bytes, error)) return Fail(kExitFailed, error);
    content.outputs.push_back(o);
    return {};
}

}  // namespace

CliError RunReport(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.empty()) return Fail(kExitUsage, "report takes a day folder, or record files");
    if (o.output.empty()) return Fail(kExitUsage, "report needs a folder to write to: -o DIR");
    for (const std::string &p : o.paths) {
        std::error_code ec;
        if (!fs::exists(p, ec)) return Fail(kExitMissingPath, p + ": no such file or folder");
    }
    std::error_code ec;
    ReportContent content;
    std::vector<std::string> files;
    if (o.paths.size() == 1 && fs::is_directory(o.paths[0], ec)) {
        if (CliError e = FilesOfWindow(c, AsFolder(o.paths[0]), content.window, files)) return e;
    } else {
        if (!o.from.empty() || !o.to.empty()) {
            return Fail(kExitUsage, "--from and --to go with a day folder, not with files");
        }
        files = o.paths;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        ReportSource s;
        if (CliError e = ReadSource(c, files[i], i, s)) return e;
        content.sources.push_back(s);
    }
    std::stable_sort(content.sources.begin(), content.sources.end(), [](const ReportSource &a, const ReportSource &b) {
        return a.startUs != b.startUs ? a.startUs < b.startUs : a.channel < b.channel;
    });
    content.originUs = content.sources.front().startUs;
    content.endUs = content.originUs;
    for (const ReportSource &s : content.sources) content.endUs = std::max(content.endUs, s.startUs + s.durationUs);
    CollectFixes(c, content.sources, content.fixes);
    content.title = "Incident report " + c.clock.Format(content.originUs);

    const EmbeddedAsset *page = Asset("index.html");
    if (!page) return Fail(kExitFailed, "the report page is missing from this build");
    const std::string dir = AsFolder(o.output);
    CReportFolder folder;
    if (CliError e = folder.Make(dir)) return e;
    if (CliError e = MakeChannelVideos(c, content.sources, content.window, dir, content.videos, folder.written)) return e;
    if (content.window.given) {
        // The page spans what the clips hold: from the earliest key frame a
        // clip starts on to the window's end; fixes outside are left out.
        content.originUs = content.window.fromUs;
        for (const ChannelVideo &v : content.videos) content.originUs = std::min(content.originUs, v.originUs);
        content.endUs = std::min(content.endUs, content.window.toUs);
        std::erase_if(content.fixes, [&](const ReportFix &f) {
            return f.timeUs < content.originUs || f.timeUs >= content.endUs;
        });
        content.title = "Incident report " + c.clock.Format(content.originUs);
    }
    for (const ChannelVideo &v : content.videos) {
        if (CliError e = AddOutput(dir, v.file, content)) return e;
    }
    for (size_t i = 0; i < kReportAssetsCount; ++i) {
        const EmbeddedAsset &a = kReportAssets[i];
        if (&a == page) continue;
        if (CliError e = WriteText(dir + a.name, a.Text(), folder)) return e;
        if (CliError e = AddOutput(dir, a.name, content)) return e;
    }
    content.versions = {{"avfile", AVFILE_REPORT_PROGRAM_VERSION},
                        {"FFmpeg", av_version_info()},
                        {"libavformat", AV_STRINGIFY(LIBAVFORMAT_VERSION)},
                        {"libavcodec", AV_STRINGIFY(LIBAVCODEC_VERSION)},
                        {"OpenSSL libcrypto", CryptoLibraryVersion()}};
    const std::string json = ReportJson(content, c.clock);
    if (CliError e = WriteText(dir + "report.json", json, folder)) return e;
    if (CliError e = WriteText(dir + "index.html", ReportPage(content, json, std::string(page->Text()), c.clock), folder)) {
        return e;
    }
    // The check sums of everything in the folder, for `sha256sum -c`.
    std::string sums;
    for (const ReportOutput &out : content.outputs) sums += out.sha256 + "  " + out.file + "\n";
    for (const char *name : {"report.json", "index.html"}) {
        if (CliError e = AddOutput(dir, name, content)) return e;
        sums += content.outputs.back().sha256 + "  " + name + "\n";
    }
    if (CliError e = WriteText(dir + "SHA256SUMS", sums, folder)) return e;
    folder.Done();
    std::fprintf(Out(), "wrote %sindex.html: %zu channel%s, %zu record file%s, %zu GPS fixes\n", dir.c_str(),
                 content.videos.size(), content.videos.size() == 1 ? "" : "s", content.sources.size(),
                 content.sources.size() == 1 ? "" : "s", content.fixes.size());
    return {};
}
