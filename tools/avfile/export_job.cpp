#include "export_job.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "card_files.h"
#include "clip_job.h"
#include "container_writer.h"
#include "damaged_copy.h"
#include "gps_subtitles.h"
#include "gps_summary.h"
#include "h264_writer.h"
#include "output_file.h"
#include "progress.h"
#include "record_file.h"
#include "text_output.h"
#include "track_point.h"
#include "track_writer.h"
#include "wav_writer.h"

namespace {

struct Source {
    std::string path;
    int64_t startUs = 0;
    int64_t durationUs = 0;
    int audioChannel = -1;
    int64_t shiftUs = 0;  // added to the file's times in the output: the gaps cut

    int64_t EndUs() const { return startUs + durationUs; }
};

// True when the file carries audio of `channel`: the reader passes over
// audio of the channels a file does not carry, so a short read tells.
bool CarriesAudio(const AvFileLibrary &lib, const std::string &path, int channel,
                  const std::optional<PasswordEntry> &password) {
    constexpr int kProbeFrames = 400;
    CRecordFile file(lib);
    if (file.Open(path, channel, password)) return false;
    AvFrameInfo frame{};
    for (int n = 0; n < kProbeFrames && file.Next(frame); ++n) {
        if (frame.type == FRAME_TYPE_AUDIO) return true;
    }
    return false;
}

// A file given twice, or two files that overlap in time, cannot be joined
// end to end: the output would run backwards.
CliError RefuseOverlaps(const std::vector<Source> &sources) {
    for (size_t i = 1; i < sources.size(); ++i) {
        const Source &a = sources[i - 1], &b = sources[i];
        if (SamePath(a.path) == SamePath(b.path)) return Fail(kExitUsage, b.path + ": given twice");
        if (b.startUs < a.EndUs()) {
            return Fail(kExitUsage, b.path + " overlaps " + a.path + " (begins " + FormatDuration(a.EndUs() - b.startUs) +
                                        " before its end): export them apart");
        }
    }
    return {};
}

// Where each file goes in the output: end to end, the gaps cut, or at its
// own time. Notes each join.
void PlaceSources(std::vector<Source> &sources, bool keepGaps, ExportResult &result) {
    for (size_t i = 1; i < sources.size(); ++i) {
        Source &b = sources[i];
        const Source &a = sources[i - 1];
        const int64_t end = a.EndUs() + a.shiftUs;
        b.shiftUs = keepGaps ? 0 : end - b.startUs;
        ExportJoin join;
        join.before = BaseName(a.path);
        join.after = BaseName(b.path);
        join.gapUs = b.startUs - a.EndUs();
        join.atUs = b.startUs + b.shiftUs - sources.front().startUs;
        result.joins.push_back(join);
    }
}

// Opens every file once: any file that cannot be read stops the export
// before an output exists. Returns them in time order.
CliError Survey(const AvFileLibrary &lib, const ExportRequest &request, bool wantAudio,
                std::vector<Source> &sources) {
    for (const std::string &path : request.files) {
        CRecordFile file(lib);
        if (CliError e = file.Open(path, 0, request.password)) return e;
        Source s;
        s.path = path;
        s.startUs = file.Info().startTimeUs;
        s.durationUs = std::max<int64_t>(file.Info().stopTimeUs - file.Info().startTimeUs, 0);
        file.Close();
        if (wantAudio) {
            s.audioChannel = FindAudioChannel(lib, path, request.password, request.audioChannel);
            // A channel asked for is taken only where the file has its audio.
            if (request.audioChannel && !CarriesAudio(lib, path, *request.audioChannel, request.password)) {
                s.audioChannel = -1;
            }
        }
        sources.push_back(s);
    }
    std::stable_sort(sources.begin(), sources.end(),
                     [](const Source &a, const Source &b) { return a.startUs < b.startUs; });
    return {};
}

// Progress through the sources, measured in recorded time.
class CTimeProgress {
public:
    CTimeProgress(const ExportRequest &request, const std::vector<Source> &sources) {
        for (const Source &s : sources) m_total += static_cast<uint64_t>(s.durationUs / 1000) + 1;
        if (request.progress) {
            const std::string name = IsStandardOutput(request.output) ? "to standard output" : BaseName(request.output);
            m_label = "export " + name;
            m_count = request.progressCount;
            m_files = sources.size();
            m_bar = std::make_unique<CProgress>((m_count.empty() ? "" : m_count + " ") + m_label, m_total);
        }
    }
    void File(const Source &s) {
        // Of several files joined, the one being read leads: "2/5".
        if (m_bar && m_files > 1) {
            m_bar->Relabel(std::to_string(++m_file) + "/" + std::to_string(m_files) + " " + m_label);
        }
        m_base += m_current;
        m_start = s.startUs;
        m_current = static_cast<uint64_t>(s.durationUs / 1000) + 1;
    }
    void At(int64_t timeUs) {
        if (!m_bar) return;
        const int64_t into = std::clamp<int64_t>((timeUs - m_start) / 1000, 0, static_cast<int64_t>(m_current));
        m_bar->Update(m_base + static_cast<uint64_t>(into));
    }

private:
    std::unique_ptr<CProgress> m_bar;
    std::string m_label, m_count;
    size_t m_files = 0, m_file = 0;
    uint64_t m_total = 0, m_base = 0, m_current = 0;
    int64_t m_start = 0;
};

CliError OutputFailure(const std::string &error) { return Fail(kExitFailed, error); }

CliError ExportVideoStream(const AvFileLibrary &lib, const ExportRequest &request,
                           const std::vector<Source> &sources, ExportResult &result) {
    COutputFile out;
    CH264Writer writer;
    if (!out.Open(request.output) || !writer.Begin(out)) return OutputFailure(out.Error());
    CTimeProgress progress(request, sources);
    AvFrameInfo frame{};
    for (const Source &s : sources) {
        CRecordFile file(lib);
        if (CliError e = file.Open(s.path, 0, request.password)) return e;
        progress.File(s);
        while (file.Next(frame)) {
            if (frame.type != FRAME_TYPE_I && frame.type != FRAME_TYPE_P) continue;
            if (!writer.AddFrame(frame.data, static_cast<size_t>(frame.length), frame.type == FRAME_TYPE_I)) {
                return OutputFailure(out.Error());
            }
            progress.At(frame.timeUs);
        }
    }
    result.videoFrames = writer.Frames();
    if (writer.Frames() == 0) return Fail(kExitFailed, "no video frames to export to " + request.output);
    if (!writer.Finish() || !out.Commit()) return OutputFailure(out.Error());
    return {};
}

CliError ExportAudio(const AvFileLibrary &lib, const ExportRequest &request, const std::vector<Source> &sources,
                     ExportResult &result) {
    COutputFile out;
    CWavWriter writer;
    bool begun = false;
    AvWaveFormatEx format{};
    CTimeProgress progress(request, sources);
    AvFrameInfo frame{};
    for (const Source &s : sources) {
        if (s.audioChannel < 0) continue;
        CRecordFile file(lib);
        if (CliError e = file.Open(s.path, s.audioChannel, request.password)) return e;
        if (!begun) {
            format = file.WaveFormat();
            if (!out.Open(request.output) || !writer.Begin(out, format)) {
                return OutputFailure(out.Error().empty() ? request.output + ": cannot write this audio format"
                                                         : out.Error());
            }
            begun = true;
        } else if (std::memcmp(&format, &file.WaveFormat(), sizeof format) != 0) {
            return Fail(kExitFailed, s.path + ": its audio format differs from the first file's; export it on its own");
        }
        progress.File(s);
        while (file.Next(frame)) {
            if (frame.type == FRAME_TYPE_I || frame.type == FRAME_TYPE_P) progress.At(frame.timeUs);
            if (frame.type != FRAME_TYPE_AUDIO) continue;
            if (!writer.AddAudio(frame.data, static_cast<size_t>(frame.length))) return OutputFailure(out.Error());
        }
    }
    if (!begun) {
        if (request.audioChannel) return Fail(kExitFailed, "no audio on channel " + std::to_string(*request.audioChannel + 1));
        return Fail(kExitFailed, "no audio to export to " + request.output);
    }
    result.audioBytes = writer.AudioBytes();
    result.audio = true;
    if (!writer.Finish() || !out.Commit()) return OutputFailure(out.Error());
    return {};
}

CliError ExportTrack(const AvFileLibrary &lib, const ExportRequest &request, const std::vector<Source> &sources,
                     ExportResult &result) {
    std::unique_ptr<CTrackWriter> writer =
        CreateTrackWriter(IsStandardOutput(request.output) ? "-" + request.format : request.output);
    if (!writer) return Fail(kExitFailed, "out of memory");
    COutputFile out;
    if (!out.Open(request.output) || !writer->Begin(out, request.trackName, request.clock.Utc())) {
        return OutputFailure(out.Error());
    }
    CTimeProgress progress(request, sources);
    AvFrameInfo frame{};
    for (const Source &s : sources) {
        CRecordFile file(lib);
        if (CliError e = file.Open(s.path, 0, request.password)) return e;
        progress.File(s);
        if (!writer->BeginSegment(BaseName(s.path))) return OutputFailure(out.Error());
        CPointTimes times(ReadablePath(s.path), request.clock);
        // Side data through the index: every fix once, whatever else the
        // file holds.
        while (file.NextSideData(frame)) {
            TrackPoint point;
            point.timeUs = times.Next(frame.timeUs);
            if (!GpsFromSideData(frame.data, frame.length, &point.gps)) continue;
            if (!writer->AddPoint(point)) return OutputFailure(out.Error());
            progress.At(frame.timeUs);
        }
    }
    if (!writer->Finish()) return OutputFailure(out.Error());
    result.points = writer->PointsWritten();
    result.segments = writer->SegmentsWritten();
    if (result.points == 0) return Fail(kExitFailed, "no GPS positions to export to " + request.output);
    if (!out.Commit()) return OutputFailure(out.Error());
    return {};
}

CliError ExportContainer(const AvFileLibrary &lib, const ExportRequest &request,
                         const std::vector<Source> &sources, ExportResult &result) {
    // The audio format of the first file with sound describes the stream.
    const Source *withAudio = nullptr;
    for (const Source &s : sources) {
        if (s.audioChannel >= 0) {
            withAudio = &s;
            break;
        }
    }
    AvWaveFormatEx format{};
    if (withAudio) {
        CRecordFile file(lib);
        if (CliError e = file.Open(withAudio->path, withAudio->audioChannel, request.password)) return e;
        format = file.WaveFormat();
    }
    CGpsSubtitles subtitles;  // the GPS fixes as a subtitle stream
    GpsBlock startFix;
    if (FirstFix(lib, sources.front().path, request.password, sources.front().startUs, startFix)) {
        subtitles.SetStartPosition(startFix);
    }
    CContainerWriter writer;
    writer.SetAddOn(&subtitles);
    if (!writer.Open(request.output, sources.front().startUs, withAudio ? &format : nullptr)) {
        return OutputFailure(writer.Error());
    }
    char created[32];
    if (FormatUtcTime(request.clock.Shown(sources.front().startUs), created, sizeof created)) {
        if (!request.clock.Utc()) created[std::strlen(created) - 1] = '\0';  // zone unknown: no 'Z'
        writer.SetCreationTime(created);
    }
    // A chapter per file where files are joined: players jump to each.
    if (sources.size() > 1) {
        for (const Source &s : sources) writer.AddChapter(s.startUs + s.shiftUs, s.EndUs() + s.shiftUs, BaseName(s.path));
    }
    CTimeProgress progress(request, sources);
    AvFrameInfo frame{};
    for (const Source &s : sources) {
        CRecordFile file(lib);
        if (CliError e = file.Open(s.path, s.audioChannel < 0 ? 0 : s.audioChannel, request.password)) return e;
        const bool audio = s.audioChannel >= 0 && std::memcmp(&format, &file.WaveFormat(), sizeof format) == 0;
        const int rate = file.Info().frameRate > 0 ? file.Info().frameRate : 25;
        const int64_t frameUs = 1000000 / rate;
        progress.File(s);
        writer.BeginAudio(s.startUs + s.shiftUs);
        while (file.Next(frame)) {
            bool ok = true;
            if (frame.type == FRAME_TYPE_I || frame.type == FRAME_TYPE_P) {
                ok = writer.AddVideo(frame.data, static_cast<size_t>(frame.length), frame.type == FRAME_TYPE_I,
                                     frame.timeUs + s.shiftUs, frameUs);
                progress.At(frame.timeUs);
            } else if (frame.type == FRAME_TYPE_AUDIO && audio) {
                ok = writer.AddAudio(frame.data, static_cast<size_t>(frame.length));
                result.audioBytes += static_cast<uint64_t>(frame.length);
            } else if (frame.type == FRAME_TYPE_SIDEDATA) {
                GpsBlock gps;
                if (GpsFromSideData(frame.data, frame.length, &gps)) {
                    ok = subtitles.AddFix(request.clock.Format(frame.timeUs), gps,
                                         frame.timeUs + s.shiftUs - sources.front().startUs);
                }
            }
            if (!ok) return OutputFailure(writer.Error());
        }
    }
    if (!writer.Finish()) return OutputFailure(writer.Error());
    result.videoFrames = writer.VideoFrames();
    result.audio = writer.HasAudio() && result.audioBytes > 0;
    if (!result.audio) {
        result.noAudio = request.audioChannel ? "no audio on channel " + std::to_string(*request.audioChannel + 1)
                                              : "the recording has no audio";
    }
    return {};
}

}  // namespace

ExportFormat FormatOf(const std::string &output) {
    if (HasExtension(output, ".h264") || HasExtension(output, ".264")) return ExportFormat::H264;
    if (HasExtension(output, ".wav")) return ExportFormat::Wav;
    if (CContainerWriter::Handles(output)) return ExportFormat::Container;
    for (const char *e : {".gpx", ".geojson", ".kml", ".csv"}) {
        if (HasExtension(output, e)) return ExportFormat::Track;
    }
    return ExportFormat::Unsupported;
}

const char *ExportExtensions() { return ".h264, .wav, .gpx, .geojson, .kml, .csv, .mkv, .mp4"; }

bool Streams(const std::string &extension) {
    for (const char *e : {".h264", ".264", ".wav", ".csv", ".geojson", ".gpx", ".kml", ".mkv"}) {
        if (HasExtension(extension, e) && extension.size() == std::strlen(e)) return true;
    }
    return false;
}

ExportFormat FormatOf(const ExportRequest &request) {
    return FormatOf(request.format.empty() ? request.output : "x" + request.format);
}

CliError RunExport(const AvFileLibrary &lib, const ExportRequest &request, ExportResult &result) {
    const ExportFormat format = FormatOf(request);
    if (format == ExportFormat::Unsupported) {
        if (!request.format.empty()) {
            return Fail(kExitUnsupportedOutput, "--format " + request.format + ": cannot write this kind of file; it must be one of " +
                                                    ExportExtensions());
        }
        if (IsStandardOutput(request.output)) {
            return Fail(kExitUsage, "-o - writes to standard output: name the format with --format EXT");
        }
        return Fail(kExitUnsupportedOutput, request.output + ": cannot write this kind of file; the extension must be one of " +
                                                ExportExtensions());
    }
    if (!request.format.empty() && !IsStandardOutput(request.output) && FormatOf(request.output) != ExportFormat::Unsupported &&
        !HasExtension(request.output, request.format.c_str())) {
        return Fail(kExitUsage, request.output + ": the name says another format than --format " + request.format);
    }
    if (IsStandardOutput(request.output) && !Streams(request.format)) {
        return Fail(kExitUnsupportedOutput, request.format +
                                                " cannot go to standard output (an MP4 file's index is written at its "
                                                "end); standard output takes .h264, .wav, .csv, .geojson, .gpx, .kml, .mkv");
    }
    if (request.keepGaps && format != ExportFormat::Container) {
        return Fail(kExitUsage, "--keep-gaps: only .mp4 and .mkv have a time line to keep the gaps in");
    }
    if (request.files.empty()) return Fail(kExitUsage, "no record file to export");
    bool keep = false;
    if (CliError e = ClaimTarget(request.output, &keep)) return e;
    if (keep) {
        result.kept = true;
        return {};
    }
    std::vector<Source> sources;
    const bool audio = format == ExportFormat::Wav || format == ExportFormat::Container;
    if (CliError e = Survey(lib, request, audio, sources)) return e;
    if (request.refuseOverlaps) {
        if (CliError e = RefuseOverlaps(sources)) return e;
    }
    if (format == ExportFormat::Container && CContainerWriter::Unavailable()) {
        return Fail(kExitUnsupportedOutput, request.output + ": " + CContainerWriter::Unavailable());
    }
    if (format != ExportFormat::Track) PlaceSources(sources, request.keepGaps, result);
    switch (format) {
    case ExportFormat::H264: return ExportVideoStream(lib, request, sources, result);
    case ExportFormat::Wav: return ExportAudio(lib, request, sources, result);
    case ExportFormat::Track: return ExportTrack(lib, request, sources, result);
    case ExportFormat::Container: return ExportContainer(lib, request, sources, result);
    case ExportFormat::Unsupported: break;
    }
    return {};
}
