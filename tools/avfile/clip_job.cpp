#include "clip_job.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "container_writer.h"
#include "export_job.h"
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

bool IsVideo(const AvFrameInfo &frame) { return frame.type == FRAME_TYPE_I || frame.type == FRAME_TYPE_P; }

struct Source {
    ClipFile file;
    int audioChannel = -1;
    int64_t frameUs = 40000;
};

// Where the pictures go: one of the formats, plus the GPX beside the clip.
class CClipSink {
public:
    explicit CClipSink(const ClipRequest &request) : m_request(request) {}

    CliError Open(ExportFormat format, int64_t originUs, const AvWaveFormatEx *wave) {
        m_format = format;
        m_originUs = originUs;
        switch (format) {
        case ExportFormat::Container:
            if (!m_container.Open(m_request.output, originUs, wave)) return Failure(m_container.Error());
            m_container.SetAddOn(&m_subtitles);
            {
                char created[32];
                if (FormatUtcTime(m_request.clock.Shown(originUs), created, sizeof created)) {
                    m_container.SetCreationTime(created);
                }
            }
            break;
        case ExportFormat::H264:
            if (!m_out.Open(m_request.output) || !m_h264.Begin(m_out)) return Failure(m_out.Error());
            break;
        case ExportFormat::Wav:
            if (!wave) return Fail(kExitFailed, "no audio to clip to " + m_request.output);
            if (!m_out.Open(m_request.output) || !m_wav.Begin(m_out, *wave)) {
                return Failure(m_out.Error().empty() ? m_request.output + ": cannot write this audio format"
                                                     : m_out.Error());
            }
            break;
        case ExportFormat::Track:
            m_track = CreateTrackWriter(m_request.output);
            if (!m_track) return Fail(kExitFailed, "out of memory");
            if (!m_out.Open(m_request.output) || !m_track->Begin(m_out, m_request.trackName, m_request.clock.Utc())) {
                return Failure(m_out.Error());
            }
            break;
        case ExportFormat::Unsupported: break;
        }
        if (!m_request.gpxOutput.empty()) {
            m_gpx = CreateTrackWriter(m_request.gpxOutput);
            if (!m_gpx) return Fail(kExitFailed, "out of memory");
            if (!m_gpxOut.Open(m_request.gpxOutput) || !m_gpx->Begin(m_gpxOut, m_request.trackName, m_request.clock.Utc())) {
                return Failure(m_gpxOut.Error());
            }
        }
        return {};
    }

    bool BeginFile(const std::string &path, int64_t outUs) {
        const std::string name = BaseName(path);
        if (m_track && !m_track->BeginSegment(name)) return false;
        if (m_gpx && !m_gpx->BeginSegment(name)) return false;
        if (m_format == ExportFormat::Container) m_container.BeginAudio(outUs);
        return true;
    }

    void StartPosition(const GpsBlock &gps) { m_subtitles.SetStartPosition(gps); }

    void Chapter(int64_t outUs, const std::string &title) {
        if (m_format == ExportFormat::Container) m_subtitles.AddChapter(outUs - m_originUs, title);
    }

    bool Video(const AvFrameInfo &frame, int64_t outUs, int64_t frameUs) {
        const bool key = frame.type == FRAME_TYPE_I;
        const size_t length = static_cast<size_t>(frame.length);
        if (m_format == ExportFormat::Container) return m_container.AddVideo(frame.data, length, key, outUs, frameUs);
        if (m_format == ExportFormat::H264) return m_h264.AddFrame(frame.data, length, key);
        return true;
    }

    bool Audio(const AvFrameInfo &frame) {
        const size_t length = static_cast<size_t>(frame.length);
        m_audioBytes += length;
        if (m_format == ExportFormat::Container) return m_container.AddAudio(frame.data, length);
        if (m_format == ExportFormat::Wav) return m_wav.AddAudio(frame.data, length);
        return true;
    }

    bool Position(const TrackPoint &shown, int64_t recorderUs, int64_t outUs) {
        if (m_format == ExportFormat::Container && !m_subtitles.AddFix(m_request.clock.Format(recorderUs), shown.gps, outUs - m_originUs)) {
            return false;
        }
        if (m_track && !m_track->AddPoint(shown)) return false;
        if (m_gpx && !m_gpx->AddPoint(shown)) return false;
        return true;
    }

    CliError Finish(ClipResult &result) {
        switch (m_format) {
        case ExportFormat::Container:
            result.videoFrames = m_container.VideoFrames();
            result.audio = m_container.HasAudio();
            if (result.videoFrames == 0) return Fail(kExitFailed, "no video frames to clip to " + m_request.output);
            if (!m_container.Finish()) return Failure(m_container.Error());
            result.cues = m_subtitles.Cues();
            break;
        case ExportFormat::H264:
            result.videoFrames = m_h264.Frames();
            if (m_h264.Frames() == 0) return Fail(kExitFailed, "no video frames to clip to " + m_request.output);
            if (!m_h264.Finish() || !m_out.Commit()) return Failure(m_out.Error());
            break;
        case ExportFormat::Wav:
            result.audioBytes = m_wav.AudioBytes();
            result.audio = true;
            if (!m_wav.Finish() || !m_out.Commit()) return Failure(m_out.Error());
            break;
        case ExportFormat::Track:
            if (!m_track->Finish()) return Failure(m_out.Error());
            result.points = m_track->PointsWritten();
            if (result.points == 0) return Fail(kExitFailed, "no GPS positions to clip to " + m_request.output);
            if (!m_out.Commit()) return Failure(m_out.Error());
            break;
        case ExportFormat::Unsupported: break;
        }
        if (result.audioBytes == 0) result.audioBytes = m_audioBytes;
        if (m_gpx) {
            if (!m_gpx->Finish()) return Failure(m_gpxOut.Error());
            if (m_format != ExportFormat::Track) result.points = m_gpx->PointsWritten();
            if (!m_gpxOut.Commit()) return Failure(m_gpxOut.Error());
        }
        return {};
    }

    std::string Error() const {
        if (m_format == ExportFormat::Container && !m_container.Error().empty()) return m_container.Error();
        if (!m_subtitles.Error().empty()) return m_subtitles.Error();
        return !m_out.Error().empty() ? m_out.Error() : m_gpxOut.Error();
    }

private:
    static CliError Failure(const std::string &error) { return Fail(kExitFailed, error); }

    const ClipRequest &m_request;
    ExportFormat m_format = ExportFormat::Unsupported;
    int64_t m_originUs = 0;
    CGpsSubtitles m_subtitles;  // declared before the writer that uses it
    CContainerWriter m_container;
    COutputFile m_out;
    CH264Writer m_h264;
    CWavWriter m_wav;
    std::unique_ptr<CTrackWriter> m_track;
    COutputFile m_gpxOut;
    std::unique_ptr<CTrackWriter> m_gpx;
    uint64_t m_audioBytes = 0;
};

}  // namespace

bool FirstFix(const AvFileLibrary &lib, const std::string &path, const std::optional<PasswordEntry> &password,
              int64_t atUs, GpsBlock &gps) {
    CRecordFile file(lib);
    if (file.Open(path, 0, password)) return false;
    AvFrameInfo frame{};
    while (file.NextSideData(frame)) {
        if (frame.timeUs >= atUs && GpsFromSideData(frame.data, frame.length, &gps) && IsDrawable(gps)) return true;
    }
    return false;
}

bool KeyFrameAtOrBefore(const AvFileLibrary &lib, const std::string &path,
                        const std::optional<PasswordEntry> &password, int64_t atUs, int64_t &keyUs) {
    CRecordFile file(lib);
    if (file.Open(path, 0, password)) return false;
    AvFrameInfo frame{};
    bool found = false;
    while (file.Next(frame)) {
        if (frame.type != FRAME_TYPE_I) continue;
        if (found && frame.timeUs > atUs) break;
        keyUs = frame.timeUs;
        found = true;
        if (frame.timeUs >= atUs) break;
    }
    return found;
}

CliError RunClip(const AvFileLibrary &lib, const ClipRequest &request, ClipResult &result) {
    const ExportFormat format = FormatOf(request.output);
    if (format == ExportFormat::Unsupported) {
        return Fail(kExitUnsupportedOutput, request.output + ": cannot write this kind of file; the extension must be one of " +
                                                ExportExtensions());
    }
    if (request.toUs <= request.fromUs) return Fail(kExitUsage, "the clip's window ends before it begins");

    // The files of the window that open, in time order; those that do not
    // are left out and named.
    std::vector<ClipFile> files;
    for (const ClipFile &f : request.files) {
        if (f.stopUs > request.fromUs && f.startUs < request.toUs) files.push_back(f);
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const ClipFile &a, const ClipFile &b) { return a.startUs < b.startUs; });
    std::vector<Source> sources;
    std::vector<ClipGap> leftOut;
    const bool wantAudio = format == ExportFormat::Wav || format == ExportFormat::Container;
    for (const ClipFile &f : files) {
        CRecordFile file(lib);
        if (CliError e = file.Open(f.path, 0, request.password)) {
            leftOut.push_back({std::max(f.startUs, request.fromUs), std::min(f.stopUs, request.toUs), f.path,
                               e.code == kExitPassword ? "encrypted recording, no password or a wrong one"
                                                       : e.message});
            if (!result.leftOut) result.leftOut = e;
            continue;
        }
        Source s;
        s.file = f;
        // The file's own times: the listing gives its recording's.
        s.file.startUs = file.Info().startTimeUs;
        const int64_t stopUs = file.Info().stopTimeUs;  // a packed field: copied, not referred to
        s.file.stopUs = std::max(stopUs, s.file.startUs);
        if (s.file.stopUs <= request.fromUs || s.file.startUs >= request.toUs) continue;
        const int rate = file.Info().frameRate > 0 ? file.Info().frameRate : 25;
        s.frameUs = 1000000 / rate;
        file.Close();
        if (wantAudio) s.audioChannel = FindAudioChannel(lib, f.path, request.password, request.channel);
        sources.push_back(s);
    }
    std::stable_sort(sources.begin(), sources.end(),
                     [](const Source &a, const Source &b) { return a.file.startUs < b.file.startUs; });
    if (sources.empty()) {
        if (result.leftOut) return result.leftOut;
        return Fail(kExitNotRecordFile, "no recording of the channel in the window");
    }

    // The clip starts on the key frame at or before the window's start.
    int64_t startUs = request.fromUs;
    if (!KeyFrameAtOrBefore(lib, sources.front().file.path, request.password, request.fromUs, startUs)) {
        return Fail(kExitFailed, sources.front().file.path + ": no key frame to start the clip on");
    }

    AvWaveFormatEx wave{};
    bool haveWave = false;
    for (const Source &s : sources) {
        if (s.audioChannel < 0) continue;
        CRecordFile file(lib);
        if (file.Open(s.file.path, s.audioChannel, request.password)) continue;
        wave = file.WaveFormat();
        haveWave = true;
        break;
    }

    CClipSink sink(request);
    GpsBlock startFix{};
    if (FirstFix(lib, sources.front().file.path, request.password, startUs, startFix)) sink.StartPosition(startFix);
    if (CliError e = sink.Open(format, startUs, haveWave ? &wave : nullptr)) return e;
    // Progress by the clip's own time: the recorded parts of the window.
    std::unique_ptr<CProgress> bar;
    int64_t recordedUs = 0;
    for (const Source &s : sources) {
        recordedUs += std::max<int64_t>(std::min(s.file.stopUs, request.toUs) - std::max(s.file.startUs, startUs), 0);
    }
    if (request.keepGaps) recordedUs = request.toUs - startUs;
    const uint64_t totalMs = static_cast<uint64_t>(std::max<int64_t>(recordedUs, 1000) / 1000);
    if (request.progress) bar = std::make_unique<CProgress>("clip " + BaseName(request.output), totalMs);

    int64_t shiftUs = 0;    // cut so far: recorder time minus this is the clip's time
    int64_t lastUs = -1;    // the last picture written, recorder's clock
    int64_t endUs = startUs;  // where the pictures written so far end
    bool started = false;
    AvFrameInfo frame{};
    for (const Source &s : sources) {
        CRecordFile file(lib);
        if (CliError e = file.Open(s.file.path, s.audioChannel < 0 ? 0 : s.audioChannel, request.password)) {
            return e;
        }
        const bool audio = haveWave && s.audioChannel >= 0 &&
                           std::memcmp(&wave, &file.WaveFormat(), sizeof wave) == 0;
        bool inFile = false;  // a picture of this file was written
        // The points' times: the fixes' own UTC when the clock comes from
        // GPS, else the times frames lists, each text chunk in file order.
        CPointTimes times(s.file.path, request.clock);
        while (file.Next(frame)) {
            if (IsVideo(frame)) {
                if (frame.timeUs >= request.toUs) break;
                if (frame.timeUs < startUs || frame.timeUs <= lastUs) continue;  // before the start, or overlapping
                if (!started && frame.type != FRAME_TYPE_I) continue;
                if (!inFile) {
                    const bool gap = started && frame.timeUs - endUs > kClipGapUs;
                    if (gap) {
                        result.gaps.push_back({endUs, frame.timeUs, {}, {}});
                        if (!request.keepGaps) shiftUs += frame.timeUs - endUs;
                    }
                    if (!sink.BeginFile(s.file.path, frame.timeUs - shiftUs)) break;
                    // A chapter for each stretch of continuous recording.
                    if (gap || !started) {
                        ++result.stretches;
                        if (request.chapters) sink.Chapter(frame.timeUs - shiftUs, request.clock.Format(frame.timeUs));
                    }
                    if (!started) result.firstUs = frame.timeUs;
                    inFile = true;
                    started = true;
                }
                if (!sink.Video(frame, frame.timeUs - shiftUs, s.frameUs)) break;
                lastUs = frame.timeUs;
                endUs = frame.timeUs + s.frameUs;
                if (bar) bar->Update(static_cast<uint64_t>((frame.timeUs - shiftUs - startUs) / 1000));
            } else if (frame.type == FRAME_TYPE_AUDIO) {
                if (inFile && audio && !sink.Audio(frame)) break;
            } else if (frame.type == FRAME_TYPE_SIDEDATA) {
                TrackPoint point;
                point.timeUs = times.Next(frame.timeUs);
                if (frame.timeUs < startUs || frame.timeUs >= request.toUs) continue;
                if (!GpsFromSideData(frame.data, frame.length, &point.gps)) continue;
                if (!sink.Position(point, frame.timeUs, frame.timeUs - shiftUs)) break;
            }
        }
        if (!sink.Error().empty()) return Fail(kExitFailed, sink.Error());
    }
    if (bar) bar->Done();
    result.lastUs = lastUs;
    if (started) result.durationUs = endUs - shiftUs - result.firstUs;

    // The window's parts without pictures: its edges, the gaps, the files
    // left out (each in place of the gap it falls in).
    if (started && result.firstUs - request.fromUs > kClipGapUs) {
        result.gaps.insert(result.gaps.begin(), ClipGap{request.fromUs, result.firstUs, {}, {}});
    }
    if (started && request.toUs - endUs > kClipGapUs) result.gaps.push_back({endUs, request.toUs, {}, {}});
    for (const ClipGap &l : leftOut) {
        // A file left out splits the gap it lies in: what was not recorded
        // before and after it, and the file's own time.
        auto at = std::find_if(result.gaps.begin(), result.gaps.end(), [&](const ClipGap &g) {
            return g.leftOut.empty() && g.fromUs <= l.fromUs && l.fromUs < g.toUs;
        });
        std::vector<ClipGap> pieces;
        if (at != result.gaps.end()) {
            if (l.fromUs - at->fromUs > kClipGapUs) pieces.push_back({at->fromUs, l.fromUs, {}, {}});
            pieces.push_back(l);
            if (at->toUs - l.toUs > kClipGapUs) pieces.push_back({l.toUs, at->toUs, {}, {}});
            at = result.gaps.erase(at);
        } else {
            at = std::find_if(result.gaps.begin(), result.gaps.end(), [&](const ClipGap &g) { return g.fromUs > l.fromUs; });
            pieces.push_back(l);
        }
        result.gaps.insert(at, pieces.begin(), pieces.end());
    }
    return sink.Finish(result);
}
