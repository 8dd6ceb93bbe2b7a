// Matroska (.mkv) and MP4 (.mp4) output through the muxers of FFmpeg's
// libavformat. The recorder's H.264 frames are stream-copied, never
// re-encoded, at their own times; the PCM audio goes alongside as PCM in
// Matroska and, since MP4 players expect it, encoded to AAC in MP4. Like
// every export the file is written under a temporary name and moved into
// place only when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "avfile/avfile.h"
#include "pending_output.h"

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// Streams and metadata that go into the file beside the pictures and sound
// (the GPS cues): added before the file's header is written, ended before
// its trailer.
class CContainerAddOn {
public:
    virtual ~CContainerAddOn() = default;
    virtual bool AddStreams(AVFormatContext *format, bool mp4) = 0;
    // `endUs`: where the pictures end on the file's time line.
    virtual bool Finish(AVFormatContext *format, int64_t endUs) = 0;
    virtual const std::string &Error() const = 0;
};

class CContainerWriter {
public:
    CContainerWriter() = default;
    // An output not finished is removed.
    ~CContainerWriter();
    CContainerWriter(const CContainerWriter &) = delete;
    CContainerWriter &operator=(const CContainerWriter &) = delete;

    // True for the extensions this writer handles (".mkv", ".mp4").
    static bool Handles(const std::string &target);
    // Null where this build writes Matroska and MP4; otherwise why it cannot.
    static const char *Unavailable();

    // Starts the output for `target`. `originUs` is the time that becomes
    // 0 in the file; `audio` the recording's audio format, or null for a
    // file without sound.
    bool Open(const std::string &target, int64_t originUs, const AvWaveFormatEx *audio);
    // The time the recording began, as the file's creation time
    // ("2015-01-09T10:49:29Z"); one without the 'Z', of no known zone, as
    // its date tag instead. Before the first frame.
    void SetCreationTime(const std::string &utc) { m_creationTime = utc; }
    // A chapter from `startUs` to `endUs` (times as AddVideo takes them),
    // shown by players as a mark to jump to; before the first frame.
    void AddChapter(int64_t startUs, int64_t endUs, std::string title) {
        m_chapters.push_back({startUs, endUs, std::move(title)});
    }
    // Further streams; before the first frame. The add-on outlives the writer's use of it.
    void SetAddOn(CContainerAddOn *addOn) { m_addOn = addOn; }
    // Adds one video frame (an Annex B access unit) at `timeUs`, lasting
    // `durationUs`. Frames before the first key frame are passed over: no
    // decoder could start on them.
    bool AddVideo(const unsigned char *data, size_t length, bool keyFrame, int64_t timeUs,
                  int64_t durationUs);
    // Marks where the audio of the next recording file begins; the audio
    // that follows counts from `timeUs`.
    void BeginAudio(int64_t timeUs);
    // Adds PCM audio bytes in the format given to Open.
    bool AddAudio(const unsigned char *data, size_t length);
    // Ends the file and moves it into place.
    bool Finish();

    const std::string &Error() const { return m_error; }
    bool HasAudio() const { return m_audioWanted; }
    uint64_t VideoFrames() const { return m_videoFrames; }

private:
    bool Start(const unsigned char *keyFrame, size_t length);
    bool AddChapters();
    bool AddVideoStream(const unsigned char *keyFrame, size_t length);
    bool AddAudioStream();
    bool EncodeAudio(const unsigned char *data, size_t length);
    bool SendAudioFrame(bool last);
    bool Drain(bool flush);
    bool Write(AVPacket *packet);
    bool Failed(const std::string &what, int code = 0);
    void Release();

    struct Chapter {
        int64_t startUs, endUs;
        std::string title;
    };
    std::string m_target, m_temp, m_error, m_creationTime;
    std::vector<Chapter> m_chapters;
    bool m_standardOutput = false;
    CPendingOutput m_pending;  // m_temp while it exists
    bool m_mp4 = false;
    int64_t m_originUs = 0;
    AvWaveFormatEx m_wave{};
    bool m_audioWanted = false;
    bool m_started = false;
    AVFormatContext *m_format = nullptr;
    AVStream *m_video = nullptr;
    AVStream *m_audio = nullptr;
    AVCodecContext *m_encoder = nullptr;  // AAC, MP4 only
    AVFrame *m_frame = nullptr;           // AAC input being filled
    AVPacket *m_packet = nullptr;
    int m_frameFill = 0;                  // samples in m_frame
    int64_t m_audioNext = 0;              // next audio sample's time, in samples
    int64_t m_skipSamples = 0;            // of the next file's sound, passed over
    int64_t m_lastVideoUs = -1;
    uint64_t m_videoFrames = 0;
    // Matroska of a stream whose configuration the muxer would store as
    // is: the pictures are given to it with lengths in place of the start
    // codes, converted here (faster than the muxer does) into m_units.
    bool m_lengthPrefixed = false;
    uint8_t *m_units = nullptr;
    size_t m_unitsCapacity = 0;
    CContainerAddOn *m_addOn = nullptr;
};
