// The GPS track inside a Matroska or MP4 file: a subtitle stream with one
// cue per fix (time, position, speed, course) that players show under the
// picture and ffprobe lists, the start position as the file's `location`
// (ISO 6709), and chapters for the stretches of continuous recording.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "container_writer.h"

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVPacket;

// "+31.8463+121.5083/" of a position.
std::string Iso6709(double latitude, double longitude);
// The text of one cue: "2015-01-09 10:49:29  31.846333 N 121.508333 E  22.2 km/h  80°".
std::string GpsCueText(const std::string &time, const GpsBlock &gps);

class CGpsSubtitles : public CContainerAddOn {
public:
    CGpsSubtitles() = default;
    ~CGpsSubtitles() override;
    CGpsSubtitles(const CGpsSubtitles &) = delete;
    CGpsSubtitles &operator=(const CGpsSubtitles &) = delete;

    // The position the file's `location` names; before the file starts.
    void SetStartPosition(const GpsBlock &gps);
    // One fix at `timeUs` on the file's time line (microseconds from its
    // start); `time` is the fix's time as shown. A cue lasts until the next
    // fix, two seconds at most.
    bool AddFix(const std::string &time, const GpsBlock &gps, int64_t timeUs);
    // A chapter beginning at `timeUs` on the file's time line.
    bool AddChapter(int64_t timeUs, const std::string &title);

    bool AddStreams(AVFormatContext *format, bool mp4) override;
    bool Finish(AVFormatContext *format, int64_t endUs) override;
    const std::string &Error() const override { return m_error; }
    uint64_t Cues() const { return m_cues; }

private:
    bool WriteCue(int64_t endUs);
    bool Failed(const std::string &what, int code = 0);

    AVFormatContext *m_format = nullptr;
    AVStream *m_stream = nullptr;
    AVCodecContext *m_encoder = nullptr;
    AVPacket *m_packet = nullptr;
    std::string m_error;
    std::string m_location;
    std::string m_pendingText;  // the cue waiting for its end
    int64_t m_pendingUs = -1;
    int64_t m_lastCueUs = -1;
    uint64_t m_cues = 0;
    struct Chapter {
        int64_t timeUs;
        std::string title;
    };
    std::vector<Chapter> m_chapters;
    unsigned char m_buffer[1024] = {};
};
