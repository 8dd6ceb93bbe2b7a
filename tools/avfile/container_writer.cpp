#include "container_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "console.h"
#include "text_output.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

#include "stream_params.h"

namespace {

constexpr AVRational kMicroseconds = {1, 1000000};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The sequence and picture parameter sets of a key frame, each behind a
// 4-byte start code: the decoder configuration the muxers store.
std::vector<uint8_t> ParameterSets(const unsigned char *data, size_t length) {
    std::vector<uint8_t> sets;
    size_t i = 0;
    while (i + 3 < length) {
        if (!(data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)) {
            ++i;
            continue;
        }
        const size_t header = i + 3;
        size_t end = header;
        while (end + 2 < length && !(data[end] == 0 && data[end + 1] == 0 && data[end + 2] <= 1)) ++end;
        if (end + 2 >= length) end = length;
        const int type = data[header] & 0x1f;
        if (type == 7 || type == 8) {
            sets.insert(sets.end(), {0, 0, 0, 1});
            sets.insert(sets.end(), data + header, data + end);
        }
        i = end;
    }
    return sets;
}

// Where the next start code (00 00 01) at or after `p` begins, taking one
// zero before it along (a 4-byte start code); `end` when there is none. The
// muxers cut units exactly there.
const unsigned char *NextStartCode(const unsigned char *p, const unsigned char *end) {
    const unsigned char *from = p;
    const unsigned char *at = end;
    for (const unsigned char *q = p + 2; q < end;) {
        q = static_cast<const unsigned char *>(std::memchr(q, 1, static_cast<size_t>(end - q)));
        if (!q) break;
        if (q[-1] == 0 && q[-2] == 0) {
            at = q - 2;
            break;
        }
        ++q;
    }
    if (at > from && at < end && at[-1] == 0) --at;
    return at;
}

// Calls unit(start, size) for each unit of an H.264 picture with start
// codes, cut where the muxers cut them.
template <typename Unit>
void ForEachUnit(const unsigned char *data, size_t length, Unit unit) {
    const unsigned char *end = data + length;
    const unsigned char *start = NextStartCode(data, end);
    for (;;) {
        // The start code's zeros and its 1 (or whatever ends them).
        while (start < end && !*(start++)) {
        }
        if (start == end) break;
        const unsigned char *stop = NextStartCode(start, end);
        unit(start, static_cast<size_t>(stop - start));
        start = stop;
    }
}

// The most bytes LengthPrefixed writes for `length` bytes of a picture: a
// 3-byte start code becomes a 4-byte length, and a unit takes 4 bytes.
size_t LengthPrefixedBound(size_t length) { return length + length / 3 + 8; }

// The units of an H.264 picture with start codes, each behind its length
// in 4 bytes, as the muxers store them, written to `out`
// (LengthPrefixedBound bytes); the bytes written.
size_t LengthPrefixed(const unsigned char *data, size_t length, uint8_t *out) {
    uint8_t *const first = out;
    ForEachUnit(data, length, [&out](const unsigned char *unit, size_t size) {
        *out++ = static_cast<uint8_t>(size >> 24);
        *out++ = static_cast<uint8_t>(size >> 16);
        *out++ = static_cast<uint8_t>(size >> 8);
        *out++ = static_cast<uint8_t>(size);
        std::memcpy(out, unit, size);
        out += size;
    });
    return static_cast<size_t>(out - first);
}

// The decoder configuration record of the parameter sets (with start
// codes), as the muxers build it themselves. Empty where the record would
// need more than the sets' bytes (the profiles above Main carry fields
// read out of the sequence parameter set) or the muxer would refuse it:
// those streams go to the muxer with their start codes.
std::vector<uint8_t> ConfigurationRecord(const std::vector<uint8_t> &sets) {
    std::vector<uint8_t> sps, pps;
    int spsCount = 0, ppsCount = 0;
    bool fits = true;
    ForEachUnit(sets.data(), sets.size(), [&](const unsigned char *unit, size_t size) {
        const int type = unit[0] & 0x1f;
        if (type != 7 && type != 8) return;
        int &count = type == 7 ? spsCount : ppsCount;
        if (size > 0xffff || ++count > (type == 7 ? 31 : 255)) fits = false;
        std::vector<uint8_t> &list = type == 7 ? sps : pps;
        list.push_back(static_cast<uint8_t>(size >> 8));
        list.push_back(static_cast<uint8_t>(size));
        list.insert(list.end(), unit, unit + size);
    });
    if (!fits || sps.size() < 6 || pps.empty()) return {};
    const uint8_t profile = sps[3];
    if (profile != 66 && profile != 77 && profile != 88) return {};
    std::vector<uint8_t> record = {1, sps[3], sps[4], sps[5], 0xff, static_cast<uint8_t>(0xe0 | spsCount)};
    record.insert(record.end(), sps.begin(), sps.end());
    record.push_back(static_cast<uint8_t>(ppsCount));
    record.insert(record.end(), pps.begin(), pps.end());
    return record;
}

}  // namespace

CContainerWriter::~CContainerWriter() {
    Release();
    if (!m_temp.empty()) std::remove(m_temp.c_str());
}

bool CContainerWriter::Handles(const std::string &target) {
    return HasExtension(target, ".mkv") || HasExtension(target, ".mp4");
}

const char *CContainerWriter::Unavailable() { return nullptr; }

bool CContainerWriter::Failed(const std::string &what, int code) {
    if (m_error.empty()) m_error = what + (code ? ": " + AvError(code) : std::string()) + ": " + m_target;
    return false;
}

void CContainerWriter::Release() {
    av_freep(&m_units);
    m_unitsCapacity = 0;
    if (m_format) {
        if (m_format->pb) avio_closep(&m_format->pb);
        avformat_free_context(m_format);
        m_format = nullptr;
    }
    avcodec_free_context(&m_encoder);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
}

bool CContainerWriter::Open(const std::string &target, int64_t originUs, const AvWaveFormatEx *audio) {
    m_target = target;
    // Standard output ("-") streams Matroska as it goes; MP4 is refused
    // before, as its index comes at the end.
    m_standardOutput = target == "-";
    m_temp = m_standardOutput ? std::string() : target + ".partial";
    m_mp4 = HasExtension(target, ".mp4");
    m_originUs = originUs;
    // Problems come back as results; the libraries' own chatter stays off
    // the terminal.
    av_log_set_level(AV_LOG_ERROR);
    m_audioWanted = audio && audio->wFormatTag == 1 && audio->nChannels >= 1 && audio->nChannels <= 8 &&
                    audio->nSamplesPerSec > 0 && (audio->wBitsPerSample == 16 || audio->wBitsPerSample == 8);
    if (m_audioWanted) m_wave = *audio;
    std::string url = m_temp;
    if (m_standardOutput) {
        std::fflush(Out());
        url = "pipe:" + std::to_string(fileno(Out()));
    }
    int rc = avformat_alloc_output_context2(&m_format, nullptr, m_mp4 ? "mp4" : "matroska", url.c_str());
    if (rc < 0 || !m_format) return Failed("cannot set up the muxer", rc);
    m_packet = av_packet_alloc();
    if (!m_packet) return Failed("out of memory");
    if (!m_standardOutput) m_pending.Set(m_temp);
    rc = avio_open(&m_format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return Failed("cannot create " + (m_standardOutput ? std::string("standard output") : m_temp), rc);
    return true;
}

bool CContainerWriter::AddVideoStream(const unsigned char *keyFrame, size_t length) {
    std::vector<uint8_t> sets = ParameterSets(keyFrame, length);
    if (sets.empty()) return Failed("the first key frame carries no parameter sets");
    if (!m_mp4) {
        std::vector<uint8_t> record = ConfigurationRecord(sets);
        m_lengthPrefixed = !record.empty();
        if (m_lengthPrefixed) sets.swap(record);
    }
    m_video = avformat_new_stream(m_format, nullptr);
    if (!m_video) return Failed("out of memory");
    AVCodecParameters *par = m_video->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_H264;
    par->extradata = static_cast<uint8_t *>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata) return Failed("out of memory");
    std::memcpy(par->extradata, sets.data(), sets.size());
    par->extradata_size = static_cast<int>(sets.size());

    // The picture size lives in the sequence parameter set; the parser
    // reads it from the key frame.
    const StreamParams params = ReadStreamParams(keyFrame, length);
    par->width = params.width;
    par->height = params.height;
    if (par->width <= 0 || par->height <= 0) return Failed("cannot read the picture size from the first key frame");
    m_video->time_base = kMicroseconds;
    return true;
}

bool CContainerWriter::AddAudioStream() {
    m_audio = avformat_new_stream(m_format, nullptr);
    if (!m_audio) return Failed("out of memory");
    const int rate = static_cast<int>(m_wave.nSamplesPerSec);
    const int channels = m_wave.nChannels;
    m_audio->time_base = {1, rate};
    if (!m_mp4) {
        AVCodecParameters *par = m_audio->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = m_wave.wBitsPerSample == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
        par->sample_rate = rate;
        av_channel_layout_default(&par->ch_layout, channels);
        par->bits_per_coded_sample = m_wave.wBitsPerSample;
        par->block_align = channels * m_wave.wBitsPerSample / 8;
        par->bit_rate = static_cast<int64_t>(rate) * par->block_align * 8;
        return true;
    }
    const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!aac) return Failed("this FFmpeg has no AAC encoder");
    m_encoder = avcodec_alloc_context3(aac);
    m_frame = av_frame_alloc();
    if (!m_encoder || !m_frame) return Failed("out of memory");
    m_encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_encoder->sample_rate = rate;
    av_channel_layout_default(&m_encoder->ch_layout, channels);
    // AAC carries at most 6144 bits per channel and frame of 1024 samples.
    m_encoder->bit_rate = static_cast<int64_t>(std::min(4 * rate, 64000)) * channels;
    m_encoder->time_base = {1, rate};
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER) m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(m_encoder, aac, nullptr);
    if (rc < 0) return Failed("cannot start the AAC encoder", rc);
    rc = avcodec_parameters_from_context(m_audio->codecpar, m_encoder);
    if (rc < 0) return Failed("cannot describe the AAC stream", rc);
    m_frame->format = AV_SAMPLE_FMT_FLTP;
    m_frame->sample_rate = rate;
    m_frame->nb_samples = m_encoder->frame_size > 0 ? m_encoder->frame_size : 1024;
    rc = av_channel_layout_copy(&m_frame->ch_layout, &m_encoder->ch_layout);
    if (rc >= 0) rc = av_frame_get_buffer(m_frame, 0);
    if (rc < 0) return Failed("cannot allocate the audio frame", rc);
    return true;
}

bool CContainerWriter::AddChapters() {
    if (m_chapters.empty()) return true;
    m_format->chapters = static_cast<AVChapter **>(av_calloc(m_chapters.size(), sizeof(AVChapter *)));
    if (!m_format->chapters) return Failed("out of memory");
    for (const Chapter &c : m_chapters) {
        AVChapter *chapter = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (!chapter) return Failed("out of memory");
        m_format->chapters[m_format->nb_chapters++] = chapter;
        chapter->id = m_format->nb_chapters;
        chapter->time_base = kMicroseconds;
        chapter->start = std::max<int64_t>(c.startUs - m_originUs, 0);
        chapter->end = std::max<int64_t>(c.endUs - m_originUs, chapter->start);
        if (av_dict_set(&chapter->metadata, "title", c.title.c_str(), 0) < 0) return Failed("out of memory");
    }
    return true;
}

bool CContainerWriter::Start(const unsigned char *keyFrame, size_t length) {
    if (!AddVideoStream(keyFrame, length)) return false;
    if (m_audioWanted && !AddAudioStream()) return false;
    if (!AddChapters()) return false;
    // creation_time is UTC in both containers: a time of the recorder's
    // clock whose zone is not known (no 'Z') goes in as the date tag instead.
    if (!m_creationTime.empty()) {
        const bool utc = m_creationTime.back() == 'Z';
        av_dict_set(&m_format->metadata, utc ? "creation_time" : "date", m_creationTime.c_str(), 0);
    }
    if (m_addOn && !m_addOn->AddStreams(m_format, m_mp4)) return Failed(m_addOn->Error());
    // No CRC-32 element in each Matroska cluster: computing it takes more
    // processor time than the rest of a stream copy, and no player needs it.
    AVDictionary *options = nullptr;
    if (!m_mp4) av_dict_set(&options, "write_crc32", "0", 0);
    const int rc = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    if (rc < 0) return Failed("cannot write the file header", rc);
    m_started = true;
    return true;
}

bool CContainerWriter::Write(AVPacket *packet) {
    // Straight to the muxer, in the order given: the recordings' chunks
    // come in time order, pictures and sound side by side, so there is
    // nothing to hold back and sort, and the muxer copies nothing out of
    // the caller's buffers. (Its interleaving queue would copy every
    // picture and allocate for every packet, about a tenth of a stream
    // copy's time.) The packet is left empty.
    const int rc = av_write_frame(m_format, packet);
    av_packet_unref(packet);
    return rc >= 0 || Failed("cannot write", rc);
}

bool CContainerWriter::AddVideo(const unsigned char *data, size_t length, bool keyFrame, int64_t timeUs,
                                int64_t durationUs) {
    if (!m_error.empty()) return false;
    if (!m_started) {
        if (!keyFrame) return true;
        if (!Start(data, length)) return false;
    }
    // The muxers need rising times; frames of recordings given out of order
    // or overlapping keep their order one microsecond apart.
    int64_t t = std::max<int64_t>(timeUs - m_originUs, 0);
    if (t <= m_lastVideoUs) t = m_lastVideoUs + 1;
    m_lastVideoUs = t;
    if (m_lengthPrefixed) {
        // Converted into one buffer kept from picture to picture: the
        // muxer has written the last picture before it is given the next.
        const size_t bound = LengthPrefixedBound(length);
        if (bound > m_unitsCapacity) {
            av_freep(&m_units);
            m_unitsCapacity = 0;
            const size_t capacity = bound + bound / 2;  // room for larger pictures to come
            m_units = static_cast<uint8_t *>(av_malloc(capacity + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!m_units) return Failed("out of memory");
            m_unitsCapacity = capacity;
        }
        const size_t size = LengthPrefixed(data, length, m_units);
        std::memset(m_units + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        m_packet->data = m_units;
        m_packet->size = static_cast<int>(size);
    } else {
        m_packet->data = const_cast<uint8_t *>(data);
        m_packet->size = static_cast<int>(length);
    }
    m_packet->stream_index = m_video->index;
    m_packet->pts = m_packet->dts = av_rescale_q(t, kMicroseconds, m_video->time_base);
    m_packet->duration = av_rescale_q(durationUs, kMicroseconds, m_video->time_base);
    m_packet->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    ++m_videoFrames;
    return Write(m_packet);
}

void CContainerWriter::BeginAudio(int64_t timeUs) {
    if (!m_audioWanted) return;
    // A partly filled AAC frame is closed with silence: the next file's
    // audio starts at its own time.
    if (m_started && m_encoder && m_frameFill > 0) SendAudioFrame(false);
    const int64_t at = av_rescale(std::max<int64_t>(timeUs - m_originUs, 0), m_wave.nSamplesPerSec, 1000000);
    // Files joined end to end: where the sound written so far runs past
    // the next file's start (a file's sound lasting a little longer than
    // its pictures, an AAC frame filled up), the next file's first samples
    // are passed over, so that its sound stays with its pictures.
    m_skipSamples = std::max<int64_t>(m_audioNext - at, 0);
    m_audioNext = std::max(m_audioNext, at);
}

bool CContainerWriter::AddAudio(const unsigned char *data, size_t length) {
    if (!m_audioWanted || !m_started) return m_error.empty();
    if (!m_error.empty()) return false;
    if (m_skipSamples > 0) {
        const size_t frameBytes = static_cast<size_t>(m_wave.nChannels) * (m_wave.wBitsPerSample / 8);
        const size_t skip = static_cast<size_t>(std::min<int64_t>(m_skipSamples, static_cast<int64_t>(length / frameBytes)));
        m_skipSamples -= static_cast<int64_t>(skip);
        data += skip * frameBytes;
        length -= skip * frameBytes;
        if (length < frameBytes) return true;
    }
    if (m_encoder) return EncodeAudio(data, length);
    const int blockAlign = m_wave.nChannels * m_wave.wBitsPerSample / 8;
    const int64_t samples = static_cast<int64_t>(length) / blockAlign;
    if (samples <= 0) return true;
    m_packet->data = const_cast<uint8_t *>(data);
    m_packet->size = static_cast<int>(samples * blockAlign);
    m_packet->stream_index = m_audio->index;
    const AVRational sampleTime = {1, static_cast<int>(m_wave.nSamplesPerSec)};
    m_packet->pts = m_packet->dts = av_rescale_q(m_audioNext, sampleTime, m_audio->time_base);
    m_packet->duration = av_rescale_q(samples, sampleTime, m_audio->time_base);
    m_packet->flags = AV_PKT_FLAG_KEY;
    m_audioNext += samples;
    return Write(m_packet);
}

bool CContainerWriter::EncodeAudio(const unsigned char *data, size_t length) {
    const int channels = m_wave.nChannels;
    const bool eightBit = m_wave.wBitsPerSample == 8;
    const size_t blockAlign = static_cast<size_t>(channels) * (eightBit ? 1 : 2);
    for (size_t at = 0; at + blockAlign <= length; at += blockAlign) {
        if (m_frameFill == 0 && av_frame_make_writable(m_frame) < 0) return Failed("cannot reuse the audio frame");
        for (int c = 0; c < channels; ++c) {
            float sample;
            if (eightBit) {
                sample = (static_cast<int>(data[at + c]) - 128) / 128.0f;
            } else {
                const unsigned char *p = data + at + 2 * c;
                sample = static_cast<int16_t>(p[0] | (p[1] << 8)) / 32768.0f;
            }
            reinterpret_cast<float *>(m_frame->extended_data[c])[m_frameFill] = sample;
        }
        if (++m_frameFill == m_frame->nb_samples && !SendAudioFrame(false)) return false;
    }
    return true;
}

bool CContainerWriter::SendAudioFrame(bool last) {
    const int full = m_frame->nb_samples;
    if (!last) {
        // Silence to the end of the frame.
        for (int c = 0; c < m_wave.nChannels; ++c) {
            float *plane = reinterpret_cast<float *>(m_frame->extended_data[c]);
            std::fill(plane + m_frameFill, plane + full, 0.0f);
        }
        m_frameFill = full;
    }
    m_frame->nb_samples = m_frameFill;
    m_frame->pts = m_audioNext;
    m_audioNext += m_frameFill;
    const int rc = avcodec_send_frame(m_encoder, m_frame);
    m_frame->nb_samples = full;
    m_frameFill = 0;
    if (rc < 0) return Failed("cannot encode audio", rc);
    return Drain(false);
}

bool CContainerWriter::Drain(bool flush) {
    if (flush) avcodec_send_frame(m_encoder, nullptr);
    for (;;) {
        const int rc = avcodec_receive_packet(m_encoder, m_packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return Failed("cannot encode audio", rc);
        av_packet_rescale_ts(m_packet, m_encoder->time_base, m_audio->time_base);
        m_packet->stream_index = m_audio->index;
        if (!Write(m_packet)) return false;
    }
}

bool CContainerWriter::Finish() {
    if (!m_error.empty()) return false;
    if (!m_started) return Failed("no video key frame to start the file with");
    if (m_encoder) {
        if (m_frameFill > 0 && !SendAudioFrame(true)) return false;
        if (!Drain(true)) return false;
    }
    if (m_addOn && !m_addOn->Finish(m_format, m_lastVideoUs + 1)) return Failed(m_addOn->Error());
    int rc = av_write_trailer(m_format);
    if (rc < 0) return Failed("cannot end the file", rc);
    rc = avio_closep(&m_format->pb);
    if (rc < 0) return Failed("cannot write", rc);
    Release();
    if (m_standardOutput) return true;
    if (std::rename(m_temp.c_str(), m_target.c_str()) != 0) return Failed("cannot move into place");
    m_temp.clear();
    m_pending.Clear();
    return true;
}
