#include "gps_subtitles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "track_point.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

constexpr AVRational kMilliseconds = {1, 1000};
constexpr AVRational kMicroseconds = {1, 1000000};
constexpr int64_t kLongestCueUs = 2000000;

// The style the subtitle encoders start from: white text at the bottom.
const char kSubtitleHeader[] =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\r\n"
    "Style: Default,Sans,14,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

std::string Iso6709(double latitude, double longitude) {
    char text[48];
    std::snprintf(text, sizeof text, "%+08.4f%+09.4f/", latitude, longitude);
    return text;
}

std::string GpsCueText(const std::string &time, const GpsBlock &gps) {
    char text[160];
    const double lat = gps.latitude, lon = gps.longitude;
    int n = std::snprintf(text, sizeof text, "%s  %.6f %c %.6f %c  %.1f km/h", time.c_str(), std::fabs(lat),
                          lat < 0 ? 'S' : 'N', std::fabs(lon), lon < 0 ? 'W' : 'E', SpeedKmh(gps));
    if (HasCourse(gps) && n > 0 && static_cast<size_t>(n) < sizeof text) {
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  %u\xc2\xb0", static_cast<unsigned>(gps.course));
    }
    return text;
}

CGpsSubtitles::~CGpsSubtitles() {
    avcodec_free_context(&m_encoder);
    av_packet_free(&m_packet);
}

bool CGpsSubtitles::Failed(const std::string &what, int code) {
    if (m_error.empty()) m_error = what + (code ? ": " + AvError(code) : std::string());
    return false;
}

void CGpsSubtitles::SetStartPosition(const GpsBlock &gps) {
    if (m_location.empty() && IsDrawable(gps)) m_location = Iso6709(gps.latitude, gps.longitude);
}

bool CGpsSubtitles::AddStreams(AVFormatContext *format, bool mp4) {
    m_format = format;
    if (!m_location.empty()) av_dict_set(&format->metadata, "location", m_location.c_str(), 0);
    m_packet = av_packet_alloc();
    m_stream = avformat_new_stream(format, nullptr);
    if (!m_packet || !m_stream) return Failed("out of memory");
    m_stream->time_base = kMilliseconds;
    av_dict_set(&m_stream->metadata, "title", "GPS", 0);
    av_dict_set(&m_stream->metadata, "language", "eng", 0);
    if (!mp4) {
        // Matroska's SubRip cues are the plain text.
        m_stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
        m_stream->codecpar->codec_id = AV_CODEC_ID_SUBRIP;
        return true;
    }
    // MP4's timed text has a header of its own: its encoder writes it.
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
    if (!codec) return Failed("this FFmpeg has no subtitle encoder for the GPS cues");
    m_encoder = avcodec_alloc_context3(codec);
    if (!m_encoder) return Failed("out of memory");
    m_encoder->time_base = kMilliseconds;
    m_encoder->subtitle_header = static_cast<uint8_t *>(av_mallocz(sizeof kSubtitleHeader));
    if (!m_encoder->subtitle_header) return Failed("out of memory");
    std::memcpy(m_encoder->subtitle_header, kSubtitleHeader, sizeof kSubtitleHeader);
    m_encoder->subtitle_header_size = static_cast<int>(sizeof kSubtitleHeader - 1);
    int rc = avcodec_open2(m_encoder, codec, nullptr);
    if (rc < 0) return Failed("cannot start the subtitle encoder", rc);
    rc = avcodec_parameters_from_context(m_stream->codecpar, m_encoder);
    if (rc < 0) return Failed("cannot describe the subtitle stream", rc);
    return true;
}

bool CGpsSubtitles::AddFix(const std::string &time, const GpsBlock &gps, int64_t timeUs) {
    if (!m_error.empty()) return false;
    if (!IsDrawable(gps)) return true;
    SetStartPosition(gps);
    if (timeUs <= m_lastCueUs) return true;  // a fix read twice
    if (m_pendingUs >= 0 && !WriteCue(timeUs)) return false;
    m_pendingText = GpsCueText(time, gps);
    m_pendingUs = timeUs;
    m_lastCueUs = timeUs;
    return true;
}

bool CGpsSubtitles::WriteCue(int64_t endUs) {
    const int64_t startUs = m_pendingUs;
    m_pendingUs = -1;
    if (!m_stream) return true;  // fixes before the first picture
    const int64_t durationUs = std::clamp<int64_t>(endUs - startUs, 1000, kLongestCueUs);
    int size = 0;
    if (m_encoder) {
        // The encoder takes the text as an ASS dialogue line.
        std::string line = "0,0,Default,,0,0,0,," + m_pendingText;
        AVSubtitleRect rect{};
        AVSubtitleRect *rects[1] = {&rect};
        rect.type = SUBTITLE_ASS;
        rect.ass = line.data();
        AVSubtitle subtitle{};
        subtitle.num_rects = 1;
        subtitle.rects = rects;
        subtitle.end_display_time = static_cast<uint32_t>(durationUs / 1000);
        size = avcodec_encode_subtitle(m_encoder, m_buffer, sizeof m_buffer, &subtitle);
        if (size < 0) return Failed("cannot encode a GPS cue", size);
    } else {
        size = static_cast<int>(std::min(m_pendingText.size(), sizeof m_buffer));
        std::memcpy(m_buffer, m_pendingText.data(), static_cast<size_t>(size));
    }
    m_packet->data = m_buffer;
    m_packet->size = size;
    m_packet->stream_index = m_stream->index;
    m_packet->pts = m_packet->dts = av_rescale_q(startUs, kMicroseconds, m_stream->time_base);
    m_packet->duration = av_rescale_q(durationUs, kMicroseconds, m_stream->time_base);
    m_packet->flags = AV_PKT_FLAG_KEY;
    // Written straight through, as the pictures are (container_writer.cpp):
    // a cue goes in when the next fix ends it, a second behind the pictures
    // of its time, which neither container minds.
    const int rc = av_write_frame(m_format, m_packet);
    av_packet_unref(m_packet);
    if (rc < 0) return Failed("cannot write a GPS cue", rc);
    ++m_cues;
    return true;
}

bool CGpsSubtitles::AddChapter(int64_t timeUs, const std::string &title) {
    m_chapters.push_back({timeUs, title});
    return true;
}

bool CGpsSubtitles::Finish(AVFormatContext *format, int64_t endUs) {
    if (!m_error.empty()) return false;
    // MP4 writes its metadata at the end: a position first known after the
    // header still gets there.
    if (!m_location.empty() && !av_dict_get(format->metadata, "location", nullptr, 0)) {
        av_dict_set(&format->metadata, "location", m_location.c_str(), 0);
    }
    if (m_pendingUs >= 0 && m_pendingUs < endUs && !WriteCue(std::min(endUs, m_pendingUs + 1000000))) return false;
    for (size_t i = 0; i < m_chapters.size(); ++i) {
        const int64_t end = i + 1 < m_chapters.size() ? m_chapters[i + 1].timeUs : endUs;
        if (end <= m_chapters[i].timeUs) continue;
        // The muxers take the chapters the context holds when the file ends;
        // freeing the context frees them.
        AVChapter *chapter = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (!chapter) return Failed("out of memory");
        chapter->id = static_cast<int64_t>(format->nb_chapters) + 1;
        chapter->time_base = kMicroseconds;
        chapter->start = m_chapters[i].timeUs;
        chapter->end = end;
        if (av_dynarray_add_nofree(&format->chapters, reinterpret_cast<int *>(&format->nb_chapters), chapter) < 0) {
            av_free(chapter);
            return Failed("out of memory");
        }
        av_dict_set(&chapter->metadata, "title", m_chapters[i].title.c_str(), 0);
    }
    return true;
}
