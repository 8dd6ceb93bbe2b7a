#include "export_job.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "container_writer.h"
#include "h264_writer.h"
#include "output_file.h"
#include "progress.h"
#include "record_file.h"
#include "text_output.h"
#include "track_point.h"
#include "track_writer.h"
#include "wav_writer.h"

namespace {

bool HasExtension(const std::string &path, const char *extension) {
    const size_t n = std::strlen(extension);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = path[path.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != extension[i]) return false;
    }
    return true;
}

struct Source {
    std::string path;
    int64_t startUs = 0;
    int64_t durationUs = 0;
    int audioChannel = -1;
};

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
        if (wantAudio) s.audioChannel = FindAudioChannel(lib, path, request.password, request.audioChannel);
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
        if (request.progress) m_bar = std::make_unique<CProgress>("export " + BaseName(request.output), m_total);
    }
    void File(const Source &s) {
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
    if (!begun) return Fail(kExitFailed, "no audio to export to " + request.output);
    result.audioBytes = writer.AudioBytes();
    result.audio = true;
    if (!writer.Finish() || !out.Commit()) return OutputFailure(out.Error());
    return {};
}

CliError ExportTrack(const AvFileLibrary &lib, const ExportRequest &request, const std::vector<Source> &sources,
                     ExportResult &result) {
    std::unique_ptr<CTrackWriter> writer = CreateTrackWriter(request.output);
    if (!writer) return Fail(kExitFailed, "out of memory");
    COutputFile out;
    if (!out.Open(request.output) || !writer->Begin(out, request.trackName)) return OutputFailure(out.Error());
    CTimeProgress progress(request, sources);
    AvFrameInfo frame{};
    for (const Source &s : sources) {
        CRecordFile file(lib);
        if (CliError e = file.Open(s.path, 0, request.password)) return e;
        progress.File(s);
        if (!writer->BeginSegment(BaseName(s.path))) return OutputFailure(out.Error());
        // Side data through the index: every fix once, whatever else the
        // file holds.
        while (file.NextSideData(frame)) {
            TrackPoint point;
            if (!GpsFromSideData(frame.data, frame.length, &point.gps)) continue;
            point.timeUs = request.clock.Shown(frame.timeUs);
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
    CContainerWriter writer;
    if (!writer.Open(request.output, sources.front().startUs, withAudio ? &format : nullptr)) {
        return OutputFailure(writer.Error());
    }
    char created[32];
    if (FormatUtcTime(request.clock.Shown(sources.front().startUs), created, sizeof created)) {
        writer.SetCreationTime(created);
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
        writer.BeginAudio(s.startUs);
        while (file.Next(frame)) {
            bool ok = true;
            if (frame.type == FRAME_TYPE_I || frame.type == FRAME_TYPE_P) {
                ok = writer.AddVideo(frame.data, static_cast<size_t>(frame.length), frame.type == FRAME_TYPE_I,
                                     frame.timeUs, frameUs);
                progress.At(frame.timeUs);
            } else if (frame.type == FRAME_TYPE_AUDIO && audio) {
                ok = writer.AddAudio(frame.data, static_cast<size_t>(frame.length));
                result.audioBytes += static_cast<uint64_t>(frame.length);
            }
            if (!ok) return OutputFailure(writer.Error());
        }
    }
    if (!writer.Finish()) return OutputFailure(writer.Error());
    result.videoFrames = writer.VideoFrames();
    result.audio = writer.HasAudio();
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

CliError RunExport(const AvFileLibrary &lib, const ExportRequest &request, ExportResult &result) {
    const ExportFormat format = FormatOf(request.output);
    if (format == ExportFormat::Unsupported) {
        return Fail(kExitUnsupportedOutput, request.output + ": cannot write this kind of file; the extension must be one of " +
                                                ExportExtensions());
    }
    if (request.files.empty()) return Fail(kExitUsage, "no record file to export");
    std::vector<Source> sources;
    const bool audio = format == ExportFormat::Wav || format == ExportFormat::Container;
    if (CliError e = Survey(lib, request, audio, sources)) return e;
    if (format == ExportFormat::Container && CContainerWriter::Unavailable()) {
        return Fail(kExitUnsupportedOutput, request.output + ": " + CContainerWriter::Unavailable());
    }
    switch (format) {
    case ExportFormat::H264: return ExportVideoStream(lib, request, sources, result);
    case ExportFormat::Wav: return ExportAudio(lib, request, sources, result);
    case ExportFormat::Track: return ExportTrack(lib, request, sources, result);
    case ExportFormat::Container: return ExportContainer(lib, request, sources, result);
    case ExportFormat::Unsupported: break;
    }
    return {};
}
