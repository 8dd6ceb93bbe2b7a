#include "mosaic.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "clip_job.h"
#include "clip_window.h"
#include "console.h"
#include "container_writer.h"
#include "gps_subtitles.h"
#include "mosaic_filters.h"
#include "progress.h"
#include "record_file.h"
#include "track_point.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {

constexpr AVRational kMicroseconds = {1, 1000000};
constexpr int kLineHeight = 24;  // the speed and position line under the tiles
constexpr int kLargestTileWidth = 640;
constexpr const char *kPreset = "veryfast";
constexpr const char *kCrf = "23";

// libavfilter's and libswscale's functions: RunMosaicClip loads them before
// anything here calls one.
const MosaicFilters &Fx() {
    std::string error;
    return *LoadMosaicFilters(&error);
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Gives `frame` a black picture of the size and format.
bool FillBlack(AVFrame *frame, int width, int height, AVPixelFormat format) {
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame, 0) < 0) return false;
    ptrdiff_t lines[4] = {frame->linesize[0], frame->linesize[1], frame->linesize[2], frame->linesize[3]};
    return av_image_fill_black(frame->data, lines, format, AVCOL_RANGE_MPEG, width, height) >= 0;
}

// One channel of the mosaic: its files read in time order and decoded, the
// picture for the time being shown held.
class CChannelReader {
public:
    CChannelReader(const AvFileLibrary &lib, int channel, std::vector<ClipFile> files,
                   const std::optional<PasswordEntry> &password)
        : m_lib(lib), m_channel(channel), m_files(std::move(files)), m_password(password) {}
    ~CChannelReader() {
        avcodec_free_context(&m_decoder);
        av_packet_free(&m_packet);
        av_frame_free(&m_current);
        av_frame_free(&m_pending);
        av_frame_free(&m_black);
        av_frame_free(&m_fitted);
        Fx().sws_freeContext(m_scaler);
    }
    CChannelReader(const CChannelReader &) = delete;
    CChannelReader &operator=(const CChannelReader &) = delete;

    // Starts decoding at the key frame at or before `fromUs`; reads the first
    // picture, whose size the tile's filter takes.
    bool Start(int64_t fromUs) {
        const AVCodec *h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
        if (!h264) return Failed("this FFmpeg has no H.264 decoder");
        m_decoder = avcodec_alloc_context3(h264);
        m_packet = av_packet_alloc();
        m_current = av_frame_alloc();
        m_pending = av_frame_alloc();
        m_black = av_frame_alloc();
        if (!m_decoder || !m_packet || !m_current || !m_pending || !m_black) return Failed("out of memory");
        m_decoder->pkt_timebase = kMicroseconds;
        m_decoder->thread_count = 1;
        const int rc = avcodec_open2(m_decoder, h264, nullptr);
        if (rc < 0) return Failed("cannot start the H.264 decoder: " + AvError(rc));
        m_startUs = fromUs;
        for (const ClipFile &f : m_files) {
            if (f.stopUs > fromUs && KeyFrameAtOrBefore(m_lib, f.path, m_password, fromUs, m_startUs)) break;
        }
        Pull();
        if (m_havePending) {
            m_width = m_pending->width;
            m_height = m_pending->height;
            m_format = static_cast<AVPixelFormat>(m_pending->format);
        }
        return m_error.empty();
    }

    // The picture for `timeUs`: the last one at or before it, when it is
    // still that time's (no frozen picture across a gap or after the end).
    // Null otherwise.
    AVFrame *At(int64_t timeUs, int64_t &pictureUs) {
        while (m_havePending && m_pendingUs <= timeUs) {
            av_frame_unref(m_current);
            av_frame_move_ref(m_current, m_pending);
            m_currentUs = m_pendingUs;
            m_haveCurrent = true;
            m_havePending = false;
            Pull();
        }
        if (!m_haveCurrent) return nullptr;
        // Up to the next picture when it follows on; the picture's own
        // time where the recording ends or breaks off.
        const bool continues = m_havePending && m_pendingUs - m_currentUs <= 2 * m_frameUs;
        if (!continues && timeUs >= m_currentUs + m_frameUs) return nullptr;
        pictureUs = m_currentUs;
        return m_current;
    }

    // A black picture of the channel's size, for the times it has none.
    AVFrame *Black(int width, int height, AVPixelFormat format) {
        if (m_black->data[0]) return m_black;
        return FillBlack(m_black, width, height, format) ? m_black : nullptr;
    }

    // A picture whose size or format differs from the first one's (a
    // recording made with other settings), converted to the tile input's.
    AVFrame *Fit(const AVFrame *picture, int width, int height, AVPixelFormat format) {
        if (picture->width == width && picture->height == height && picture->format == format) {
            return const_cast<AVFrame *>(picture);
        }
        m_scaler = Fx().sws_getCachedContext(m_scaler, picture->width, picture->height,
                                        static_cast<AVPixelFormat>(picture->format), width, height, format,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_scaler) return nullptr;
        if (!m_fitted) m_fitted = av_frame_alloc();
        if (!m_fitted) return nullptr;
        if (!m_fitted->data[0]) {
            m_fitted->width = width;
            m_fitted->height = height;
            m_fitted->format = format;
            if (av_frame_get_buffer(m_fitted, 0) < 0) return nullptr;
        }
        if (av_frame_make_writable(m_fitted) < 0) return nullptr;
        if (Fx().sws_scale(m_scaler, picture->data, picture->linesize, 0, picture->height, m_fitted->data,
                      m_fitted->linesize) <= 0) {
            return nullptr;
        }
        return m_fitted;
    }

    // The last GPS fix read, with its time; false before the first.
    bool Fix(GpsBlock &gps, int64_t &timeUs) const {
        if (m_fixUs < 0) return false;
        gps = m_fix;
        timeUs = m_fixUs;
        return true;
    }
    // Each fix as it is read, for the subtitle stream.
    void OnFix(std::function<void(const GpsBlock &, int64_t)> action) { m_onFix = std::move(action); }

    int Channel() const { return m_channel; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    AVPixelFormat Format() const { return m_format; }
    const std::string &Error() const { return m_error; }
    const std::vector<ClipGap> &LeftOut() const { return m_leftOut; }
    const CliError &LeftOutError() const { return m_leftOutError; }

private:
    bool Failed(const std::string &what) {
        if (m_error.empty()) m_error = what;
        return false;
    }

    // The next decoded picture into m_pending.
    void Pull() {
        while (m_error.empty()) {
            const int rc = avcodec_receive_frame(m_decoder, m_pending);
            if (rc == 0) {
                m_pendingUs = m_pending->best_effort_timestamp;
                m_havePending = true;
                return;
            }
            if (rc == AVERROR_EOF) return;
            if (rc != AVERROR(EAGAIN)) {
                Failed("cannot decode channel " + std::to_string(m_channel + 1) + ": " + AvError(rc));
                return;
            }
            if (!SendNextPacket()) {
                if (m_flushed) return;
                avcodec_send_packet(m_decoder, nullptr);
                m_flushed = true;
            }
        }
    }

    // Reads on to the next picture of the files and hands it to the decoder.
    bool SendNextPacket() {
        AvFrameInfo frame{};
        for (;;) {
            if (!m_file) {
                if (m_next >= m_files.size()) return false;
                const ClipFile &f = m_files[m_next++];
                m_file = std::make_unique<CRecordFile>(m_lib);
                if (CliError e = m_file->Open(f.path, 0, m_password)) {
                    m_leftOut.push_back({f.startUs, f.stopUs, f.path,
                                         e.code == kExitPassword ? "encrypted recording, no password or a wrong one"
                                                                 : e.message});
                    if (!m_leftOutError) m_leftOutError = e;
                    m_file.reset();
                    continue;
                }
                const int rate = m_file->Info().frameRate > 0 ? m_file->Info().frameRate : 25;
                m_frameUs = 1000000 / rate;
            }
            if (!m_file->Next(frame)) {
                m_file.reset();
                continue;
            }
            if (frame.type == FRAME_TYPE_SIDEDATA) {
                GpsBlock gps;
                if (GpsFromSideData(frame.data, frame.length, &gps) && IsDrawable(gps)) {
                    m_fix = gps;
                    m_fixUs = frame.timeUs;
                    if (m_onFix) m_onFix(gps, frame.timeUs);
                }
                continue;
            }
            if (frame.type != FRAME_TYPE_I && frame.type != FRAME_TYPE_P) continue;
            if (frame.timeUs < m_startUs || frame.timeUs <= m_lastSentUs) continue;
            if (!m_started && frame.type != FRAME_TYPE_I) continue;
            m_started = true;
            m_lastSentUs = frame.timeUs;
            m_packet->data = frame.data;
            m_packet->size = frame.length;
            m_packet->pts = m_packet->dts = frame.timeUs;
            m_packet->flags = frame.type == FRAME_TYPE_I ? AV_PKT_FLAG_KEY : 0;
            const int rc = avcodec_send_packet(m_decoder, m_packet);
            // A damaged picture is passed over; the decoder goes on from the next.
            if (rc < 0 && rc != AVERROR_INVALIDDATA) return Failed("cannot decode: " + AvError(rc));
            return true;
        }
    }

    const AvFileLibrary &m_lib;
    int m_channel;
    std::vector<ClipFile> m_files;
    std::optional<PasswordEntry> m_password;
    size_t m_next = 0;
    std::unique_ptr<CRecordFile> m_file;
    AVCodecContext *m_decoder = nullptr;
    AVPacket *m_packet = nullptr;
    AVFrame *m_current = nullptr, *m_pending = nullptr, *m_black = nullptr, *m_fitted = nullptr;
    SwsContext *m_scaler = nullptr;
    int64_t m_currentUs = 0, m_pendingUs = 0, m_startUs = 0, m_lastSentUs = INT64_MIN;
    int64_t m_frameUs = 40000;
    bool m_haveCurrent = false, m_havePending = false, m_flushed = false, m_started = false;
    int m_width = 0, m_height = 0;
    AVPixelFormat m_format = AV_PIX_FMT_YUV420P;
    GpsBlock m_fix{};
    int64_t m_fixUs = -1;
    std::function<void(const GpsBlock &, int64_t)> m_onFix;
    std::string m_error;
    std::vector<ClipGap> m_leftOut;
    CliError m_leftOutError;
};

// The filter graph: a source per tile and one for the line under them, each
// tile scaled to the common size and captioned, stacked two across.
class CMosaicGraph {
public:
    ~CMosaicGraph() { Fx().avfilter_graph_free(&m_graph); }

    bool Build(const std::vector<std::unique_ptr<CChannelReader>> &readers, int tiles, int tileWidth,
               int tileHeight, int rate, bool captions, std::string &error) {
        m_graph = Fx().avfilter_graph_alloc();
        if (!m_graph) return Fail(error, "out of memory");
        m_graph->nb_threads = 1;
        const int columns = tiles > 1 ? 2 : 1;
        const int width = tileWidth * columns;
        std::string description;
        std::string stack;
        for (int i = 0; i < tiles; ++i) {
            // A channel without any picture in the window takes the common size.
            const bool real = i < static_cast<int>(readers.size()) && readers[static_cast<size_t>(i)]->Width() > 0;
            const int w = real ? readers[static_cast<size_t>(i)]->Width() : tileWidth;
            const int h = real ? readers[static_cast<size_t>(i)]->Height() : tileHeight;
            const AVPixelFormat f = real ? readers[static_cast<size_t>(i)]->Format() : AV_PIX_FMT_YUV420P;
            if (!AddSource("tile" + std::to_string(i), w, h, f, rate, error)) return false;
            m_sizes.push_back({w, h, f});
            description += "[tile" + std::to_string(i) + "]scale=" + std::to_string(tileWidth) + ":" +
                           std::to_string(tileHeight) + ",setsar=1,format=yuv420p";
            if (captions) {
                description += ",drawtext=text='%{metadata\\:avfile.caption}':x=6:y=6:fontsize=" +
                               std::to_string(std::max(10, tileHeight / 16)) +
                               ":fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=3";
            }
            description += "[t" + std::to_string(i) + "];";
            stack += "[t" + std::to_string(i) + "]";
        }
        if (!AddSource("line", width, kLineHeight, AV_PIX_FMT_YUV420P, rate, error)) return false;
        m_sizes.push_back({width, kLineHeight, AV_PIX_FMT_YUV420P});
        description += "[line]setsar=1";
        if (captions) {
            description += ",drawtext=text='%{metadata\\:avfile.caption}':x=6:y=(h-text_h)/2:fontsize=14:fontcolor=white";
        }
        description += "[l];";
        if (tiles > 1) {
            std::string layout;
            for (int i = 0; i < tiles; ++i) {
                if (i) layout += "|";
                layout += std::to_string((i % columns) * tileWidth) + "_" + std::to_string((i / columns) * tileHeight);
            }
            description += stack + "xstack=inputs=" + std::to_string(tiles) + ":layout=" + layout + "[m];[m]";
        } else {
            description += "[t0]";
        }
        description += "[l]vstack=inputs=2,format=yuv420p[out]";

        const AVFilter *sinkFilter = Fx().avfilter_get_by_name("buffersink");
        if (!sinkFilter) return Fail(error, "this FFmpeg has no buffer sink");
        int rc = Fx().avfilter_graph_create_filter(&m_sink, sinkFilter, "out", nullptr, nullptr, m_graph);
        if (rc < 0) return Fail(error, "cannot set up the filter graph: " + AvError(rc));
        AVFilterInOut *outputs = nullptr;
        for (size_t i = m_sources.size(); i-- > 0;) {
            AVFilterInOut *o = Fx().avfilter_inout_alloc();
            if (!o) {
                Fx().avfilter_inout_free(&outputs);
                return Fail(error, "out of memory");
            }
            o->name = av_strdup(i + 1 == m_sources.size() ? "line" : ("tile" + std::to_string(i)).c_str());
            o->filter_ctx = m_sources[i];
            o->pad_idx = 0;
            o->next = outputs;
            outputs = o;
        }
        AVFilterInOut *inputs = Fx().avfilter_inout_alloc();
        if (!inputs) {
            Fx().avfilter_inout_free(&outputs);
            return Fail(error, "out of memory");
        }
        inputs->name = av_strdup("out");
        inputs->filter_ctx = m_sink;
        inputs->pad_idx = 0;
        inputs->next = nullptr;
        rc = Fx().avfilter_graph_parse_ptr(m_graph, description.c_str(), &inputs, &outputs, nullptr);
        Fx().avfilter_inout_free(&inputs);
        Fx().avfilter_inout_free(&outputs);
        if (rc < 0) return Fail(error, "cannot set up the filter graph: " + AvError(rc));
        rc = Fx().avfilter_graph_config(m_graph, nullptr);
        if (rc < 0) return Fail(error, "cannot set up the filter graph: " + AvError(rc));
        m_description = description;
        return true;
    }

    // Hands one input its picture for output frame `index`, with its caption.
    bool Push(size_t input, AVFrame *picture, int64_t index, const std::string &caption) {
        AVFrame *frame = av_frame_clone(picture);
        if (!frame) return false;
        frame->pts = index;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        av_dict_set(&frame->metadata, "avfile.caption", caption.c_str(), 0);
        const int rc = Fx().av_buffersrc_add_frame(m_sources[input], frame);
        av_frame_free(&frame);
        return rc >= 0;
    }

    // A stacked picture, when the graph has one ready.
    int Pull(AVFrame *frame) { return Fx().av_buffersink_get_frame(m_sink, frame); }
    int Width() const { return Fx().av_buffersink_get_w(m_sink); }
    int Height() const { return Fx().av_buffersink_get_h(m_sink); }
    size_t Inputs() const { return m_sources.size(); }
    struct Size {
        int width, height;
        AVPixelFormat format;
    };
    const Size &InputSize(size_t i) const { return m_sizes[i]; }

private:
    static bool Fail(std::string &error, const std::string &what) {
        error = what;
        return false;
    }

    bool AddSource(const std::string &name, int width, int height, AVPixelFormat format, int rate, std::string &error) {
        const AVFilter *buffer = Fx().avfilter_get_by_name("buffer");
        if (!buffer) return Fail(error, "this FFmpeg has no buffer source");
        char args[160];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1", width, height,
                      static_cast<int>(format), rate);
        AVFilterContext *source = nullptr;
        const int rc = Fx().avfilter_graph_create_filter(&source, buffer, name.c_str(), args, nullptr, m_graph);
        if (rc < 0) return Fail(error, "cannot set up the filter graph: " + AvError(rc));
        m_sources.push_back(source);
        return true;
    }

    AVFilterGraph *m_graph = nullptr;
    AVFilterContext *m_sink = nullptr;
    std::vector<AVFilterContext *> m_sources;
    std::vector<Size> m_sizes;
    std::string m_description;
};

// libx264 through libavcodec: Annex B pictures, no B-frames, so that the
// container writer takes them as it takes the recorder's.
class CMosaicEncoder {
public:
    ~CMosaicEncoder() {
        avcodec_free_context(&m_encoder);
        av_packet_free(&m_packet);
    }
    bool Open(int width, int height, int rate, std::string &error) {
        const AVCodec *x264 = avcodec_find_encoder_by_name("libx264");
        if (!x264) {
            error = "this FFmpeg has no libx264 encoder";
            return false;
        }
        m_encoder = avcodec_alloc_context3(x264);
        m_packet = av_packet_alloc();
        if (!m_encoder || !m_packet) {
            error = "out of memory";
            return false;
        }
        m_encoder->width = width;
        m_encoder->height = height;
        m_encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        m_encoder->time_base = {1, rate};
        m_encoder->framerate = {rate, 1};
        m_encoder->gop_size = 2 * rate;
        m_encoder->max_b_frames = 0;
        m_encoder->thread_count = 2;
        av_opt_set(m_encoder->priv_data, "preset", kPreset, 0);
        av_opt_set(m_encoder->priv_data, "crf", kCrf, 0);
        const int rc = avcodec_open2(m_encoder, x264, nullptr);
        if (rc < 0) {
            error = "cannot start libx264: " + AvError(rc);
            return false;
        }
        return true;
    }
    // Encodes a picture (null: the end) and hands every packet to `write`.
    template <typename Write>
    bool Encode(AVFrame *frame, Write write, std::string &error) {
        int rc = avcodec_send_frame(m_encoder, frame);
        if (rc < 0) {
            error = "cannot encode the mosaic: " + AvError(rc);
            return false;
        }
        for (;;) {
            rc = avcodec_receive_packet(m_encoder, m_packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) {
                error = "cannot encode the mosaic: " + AvError(rc);
                return false;
            }
            const bool ok = write(m_packet);
            av_packet_unref(m_packet);
            if (!ok) return false;
        }
    }

private:
    AVCodecContext *m_encoder = nullptr;
    AVPacket *m_packet = nullptr;
};

// The stretches of the window that some channel recorded.
struct Span {
    int64_t fromUs, toUs;
};

std::vector<Span> Recorded(const std::vector<std::vector<ClipFile>> &files) {
    std::vector<Span> spans;
    for (const auto &channel : files) {
        for (const ClipFile &f : channel) spans.push_back({f.startUs, f.stopUs});
    }
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.fromUs < b.fromUs; });
    std::vector<Span> merged;
    for (const Span &s : spans) {
        if (!merged.empty() && s.fromUs <= merged.back().toUs + kClipGapUs) {
            merged.back().toUs = std::max(merged.back().toUs, s.toUs);
        } else {
            merged.push_back(s);
        }
    }
    return merged;
}

std::string Text(const GpsBlock &gps) {
    char text[128];
    std::snprintf(text, sizeof text, "%.1f km/h   %.6f %c  %.6f %c", SpeedKmh(gps), gps.latitude < 0 ? -gps.latitude : gps.latitude,
                  gps.latitude < 0 ? 'S' : 'N', gps.longitude < 0 ? -gps.longitude : gps.longitude,
                  gps.longitude < 0 ? 'W' : 'E');
    std::string line = text;
    if (HasCourse(gps)) line += "   course " + std::to_string(gps.course);
    return line;
}

// The captions come through drawtext, which FFmpeg builds only with a font
// library.
bool DrawtextAvailable() { return Fx().avfilter_get_by_name("drawtext") != nullptr; }

}  // namespace

CliError RunMosaicClip(const CommandContext &c, const std::vector<Recording> &recordings,
                       const std::vector<int> &channels, int64_t fromUs, int64_t toUs) {
    const Options &o = c.options;
    if (!CContainerWriter::Handles(o.output)) {
        return Fail(kExitUnsupportedOutput, o.output + ": a mosaic is written as .mp4 or .mkv");
    }
    std::string unloaded;
    if (!LoadMosaicFilters(&unloaded)) return Fail(kExitUnsupportedOutput, "--mosaic: " + unloaded);
    av_log_set_level(AV_LOG_ERROR);
    std::vector<std::vector<ClipFile>> files;
    std::vector<std::unique_ptr<CChannelReader>> readers;
    for (int channel : channels) {
        files.push_back(FilesInWindow(recordings, channel, fromUs, toUs));
        PlaceFiles(c.lib, o.password, files.back());
        readers.push_back(std::make_unique<CChannelReader>(c.lib, channel, files.back(), o.password));
    }
    const std::vector<Span> recorded = Recorded(files);

    // The pictures' rate and the tiles' size are the first channel's that
    // has pictures; a larger picture is scaled down.
    for (auto &r : readers) {
        if (!r->Start(fromUs)) return Fail(kExitFailed, r->Error());
    }
    const CChannelReader *first = nullptr;
    for (const auto &r : readers) {
        if (r->Width() > 0) {
            first = r.get();
            break;
        }
    }
    if (!first) {
        for (const auto &r : readers) {
            if (r->LeftOutError()) return r->LeftOutError();
        }
        return Fail(kExitFailed, "no pictures in the window to make a mosaic of");
    }
    const int rate = 25;
    const int64_t frameUs = 1000000 / rate;
    int tileWidth = first->Width() & ~1, tileHeight = first->Height() & ~1;
    if (tileWidth > kLargestTileWidth) {
        tileHeight = (tileHeight * kLargestTileWidth / tileWidth) & ~1;
        tileWidth = kLargestTileWidth;
    }
    // Two across; an odd tile count is filled up with a blank tile.
    const int tiles = readers.size() > 1 ? static_cast<int>((readers.size() + 1) / 2 * 2) : 1;
    const bool captions = DrawtextAvailable();
    if (!captions) {
        std::fprintf(stderr, "avfile: this FFmpeg has no drawtext filter: the mosaic goes without captions\n");
    }
    auto built = std::make_unique<CMosaicGraph>();
    std::string error;
    if (!built->Build(readers, tiles, tileWidth, tileHeight, rate, captions, error)) {
        // drawtext without a font to draw with: the mosaic goes uncaptioned.
        if (!captions) return Fail(kExitFailed, error);
        std::fprintf(stderr, "avfile: the captions cannot be drawn (%s): the mosaic goes without them\n", error.c_str());
        built = std::make_unique<CMosaicGraph>();
        if (!built->Build(readers, tiles, tileWidth, tileHeight, rate, false, error)) return Fail(kExitFailed, error);
    }
    CMosaicGraph &graph = *built;

    CMosaicEncoder encoder;
    if (!encoder.Open(graph.Width(), graph.Height(), rate, error)) return Fail(kExitFailed, error);

    CGpsSubtitles subtitles;
    CContainerWriter writer;
    writer.SetAddOn(&subtitles);
    if (!writer.Open(o.output, fromUs, nullptr)) return Fail(kExitFailed, writer.Error());
    int64_t shiftUs = 0;  // cut so far
    readers.front()->OnFix([&](const GpsBlock &gps, int64_t timeUs) {
        if (timeUs >= fromUs && timeUs < toUs) subtitles.AddFix(c.clock.Format(timeUs), gps, timeUs - shiftUs - fromUs);
    });
    {
        GpsBlock gps;
        int64_t at = 0;
        for (const auto &r : readers) {
            if (r->Fix(gps, at)) {
                subtitles.SetStartPosition(gps);
                break;
            }
        }
    }

    // Blank inputs: the tiles past the last channel and the line's strip.
    AVFrame *blank = av_frame_alloc();
    AVFrame *line = av_frame_alloc();
    AVFrame *stacked = av_frame_alloc();
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> holdBlank(blank, [](AVFrame *f) { av_frame_free(&f); });
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> holdLine(line, [](AVFrame *f) { av_frame_free(&f); });
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> holdStacked(stacked, [](AVFrame *f) { av_frame_free(&f); });
    if (!blank || !line || !stacked) return Fail(kExitFailed, "out of memory");
    const CMosaicGraph::Size &blankSize = graph.InputSize(static_cast<size_t>(tiles - 1));
    const CMosaicGraph::Size &lineSize = graph.InputSize(graph.Inputs() - 1);
    if (!FillBlack(blank, blankSize.width, blankSize.height, blankSize.format) ||
        !FillBlack(line, lineSize.width, lineSize.height, lineSize.format)) {
        return Fail(kExitFailed, "out of memory");
    }

    uint64_t written = 0;
    auto write = [&](AVPacket *packet) {
        const int64_t at = fromUs + packet->pts * frameUs;
        if (!writer.AddVideo(packet->data, static_cast<size_t>(packet->size), (packet->flags & AV_PKT_FLAG_KEY) != 0,
                             at, frameUs)) {
            error = writer.Error();
            return false;
        }
        ++written;
        return true;
    };

    // Progress by the mosaic's time.
    CProgress bar("mosaic " + BaseName(o.output), static_cast<uint64_t>((toUs - fromUs) / 1000));
    const auto began = std::chrono::steady_clock::now();
    std::vector<ClipGap> gaps;
    int64_t index = 0;
    int64_t lastShownUs = fromUs;
    for (int64_t t = fromUs; t < toUs; t += frameUs) {
        // A stretch no channel recorded is cut.
        auto span = std::find_if(recorded.begin(), recorded.end(), [&](const Span &s) { return t < s.toUs; });
        if (span == recorded.end()) break;
        if (t < span->fromUs) {
            if (span->fromUs - t > kClipGapUs) {
                if (t > fromUs) gaps.push_back({t, span->fromUs, {}, {}});
                else gaps.push_back({fromUs, span->fromUs, {}, {}});
                shiftUs += span->fromUs - t;
                t = span->fromUs - frameUs;
                continue;
            }
        }
        for (size_t i = 0; i < static_cast<size_t>(tiles); ++i) {
            bool ok;
            if (i < readers.size()) {
                CChannelReader &r = *readers[i];
                int64_t pictureUs = 0;
                AVFrame *picture = r.At(t, pictureUs);
                if (!r.Error().empty()) return Fail(kExitFailed, r.Error());
                const std::string name = "CH" + std::to_string(r.Channel() + 1) + "  ";
                const CMosaicGraph::Size &size = graph.InputSize(i);
                AVFrame *fitted = picture ? r.Fit(picture, size.width, size.height, size.format) : nullptr;
                if (fitted) {
                    ok = graph.Push(i, fitted, index, name + c.clock.Format(pictureUs));
                } else {
                    AVFrame *black = r.Black(graph.InputSize(i).width, graph.InputSize(i).height, graph.InputSize(i).format);
                    bool unread = false;
                    for (const ClipGap &g : r.LeftOut()) unread = unread || (g.fromUs <= t && t < g.toUs);
                    ok = black && graph.Push(i, black, index,
                                             name + c.clock.Format(t) + (unread ? "  not read" : "  no recording"));
                }
            } else {
                ok = graph.Push(i, blank, index, "");
            }
            if (!ok) return Fail(kExitFailed, "cannot feed the filter graph");
        }
        GpsBlock gps;
        int64_t fixUs = 0;
        std::string text = c.clock.Format(t);
        for (const auto &r : readers) {
            if (r->Fix(gps, fixUs) && fixUs <= t + frameUs && t - fixUs < 3000000) {
                text += "   " + Text(gps);
                break;
            }
        }
        if (!graph.Push(graph.Inputs() - 1, line, index, text)) return Fail(kExitFailed, "cannot feed the filter graph");
        for (;;) {
            const int rc = graph.Pull(stacked);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
            if (rc < 0) return Fail(kExitFailed, "the filter graph failed: " + AvError(rc));
            stacked->pict_type = AV_PICTURE_TYPE_NONE;
            const bool ok = encoder.Encode(stacked, write, error);
            av_frame_unref(stacked);
            if (!ok) return Fail(kExitFailed, error);
        }
        ++index;
        lastShownUs = t + frameUs;
        bar.Update(static_cast<uint64_t>((t - fromUs) / 1000));
    }
    if (!encoder.Encode(nullptr, write, error)) return Fail(kExitFailed, error);
    bar.Done();
    if (toUs - lastShownUs > kClipGapUs) gaps.push_back({lastShownUs, toUs, {}, {}});
    if (written == 0) return Fail(kExitFailed, "no pictures in the window to make a mosaic of");
    if (!writer.Finish()) return Fail(kExitFailed, writer.Error());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    for (const ClipGap &g : gaps) {
        std::fprintf(Out(), "no recording on any channel %s to %s (%s), cut\n", c.clock.Format(g.fromUs).c_str(),
                     c.clock.Format(g.toUs).c_str(), FormatDuration(g.toUs - g.fromUs).c_str());
    }
    std::fprintf(Out(),
                 "wrote %s: mosaic of %zu channels, %dx%d, %llu frames at %d frames/s, %llu GPS cues; "
                 "encoded at %.1f frames/s (libx264, preset %s, crf %s)\n",
                 o.output.c_str(), readers.size(), graph.Width(), graph.Height(),
                 static_cast<unsigned long long>(written), rate, static_cast<unsigned long long>(subtitles.Cues()),
                 seconds > 0 ? static_cast<double>(written) / seconds : 0.0, kPreset, kCrf);
    CliError leftOut;
    for (const auto &r : readers) {
        for (const ClipGap &g : r->LeftOut()) {
            std::fprintf(stderr, "avfile: channel %d: left out %s to %s: %s, %s\n", r->Channel() + 1,
                         c.clock.Format(std::max(g.fromUs, fromUs)).c_str(), c.clock.Format(std::min(g.toUs, toUs)).c_str(),
                         BaseName(g.leftOut).c_str(), g.reason.c_str());
        }
        if (!leftOut) leftOut = r->LeftOutError();
    }
    if (leftOut) {
        return Fail(leftOut.code, "the mosaic leaves out recordings it cannot read (see above)" +
                                      std::string(leftOut.code == kExitPassword ? "; give --password to include them" : ""));
    }
    return {};
}
