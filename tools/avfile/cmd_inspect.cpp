// info and frames: what a record file holds, summed up or frame by frame.
#include <algorithm>
#include <cstdio>
#include <string>

#include "commands.h"
#include "console.h"
#include "record_file.h"
#include "text_output.h"
#include "track_point.h"

namespace {

CliError OpenOne(const CommandContext &c, CRecordFile &file) {
    if (c.options.paths.size() != 1) return Fail(kExitUsage, c.options.command + " takes one record file");
    const std::string &path = c.options.paths[0];
    const int own = ChannelOfName(path);
    const int audio = FindAudioChannel(c.lib, path, c.options.password, c.options.channel);
    if (CliError e = file.Open(path, audio >= 0 ? audio : (own >= 0 ? own : 0), c.options.password)) return e;
    return {};
}

const char *TypeName(int32_t type) {
    switch (type) {
    case FRAME_TYPE_I: return "I";
    case FRAME_TYPE_P: return "P";
    case FRAME_TYPE_AUDIO: return "audio";
    case FRAME_TYPE_SIDEDATA: return "side";
    default: return "?";
    }
}

std::string AudioDescription(const AvWaveFormatEx &w) {
    char text[96];
    const std::string kind = w.wFormatTag == 1 ? "PCM" : "format tag " + std::to_string(w.wFormatTag);
    std::snprintf(text, sizeof text, "%s, %u channel%s, %u Hz, %u bits", kind.c_str(), w.nChannels,
                  w.nChannels == 1 ? "" : "s", w.nSamplesPerSec, w.wBitsPerSample);
    return text;
}

struct Census {
    uint64_t keyFrames = 0, otherFrames = 0, audioFrames = 0, audioBytes = 0, sideData = 0, gpsFixes = 0;
    int64_t firstUs = 0, lastUs = 0;
    uint64_t intervalMin = 0, intervalMax = 0, intervalSum = 0, intervals = 0;
};

Census Count(CRecordFile &file) {
    Census n;
    AvFrameInfo frame{};
    uint64_t video = 0, lastKey = 0;
    bool anyKey = false;
    while (file.Next(frame)) {
        switch (frame.type) {
        case FRAME_TYPE_I:
        case FRAME_TYPE_P:
            if (video == 0) n.firstUs = frame.timeUs;
            n.lastUs = frame.timeUs;
            if (frame.type == FRAME_TYPE_I) {
                if (anyKey) {
                    const uint64_t d = video - lastKey;
                    n.intervalMin = n.intervals ? std::min(n.intervalMin, d) : d;
                    n.intervalMax = std::max(n.intervalMax, d);
                    n.intervalSum += d;
                    ++n.intervals;
                }
                anyKey = true;
                lastKey = video;
                ++n.keyFrames;
            } else {
                ++n.otherFrames;
            }
            ++video;
            break;
        case FRAME_TYPE_AUDIO:
            ++n.audioFrames;
            n.audioBytes += static_cast<uint64_t>(frame.length);
            break;
        case FRAME_TYPE_SIDEDATA: {
            ++n.sideData;
            GpsBlock gps;
            if (GpsFromSideData(frame.data, frame.length, &gps)) ++n.gpsFixes;
            break;
        }
        }
    }
    return n;
}

std::string IntervalText(const Census &n) {
    if (n.intervals == 0) return n.keyFrames ? "one key frame" : "no key frames";
    if (n.intervalMin == n.intervalMax) return "every " + std::to_string(n.intervalMin) + " frames";
    char text[64];
    std::snprintf(text, sizeof text, "every %.1f frames (%llu to %llu)",
                  static_cast<double>(n.intervalSum) / static_cast<double>(n.intervals),
                  static_cast<unsigned long long>(n.intervalMin), static_cast<unsigned long long>(n.intervalMax));
    return text;
}

}  // namespace

CliError RunInfo(const CommandContext &c) {
    CRecordFile file(c.lib);
    if (CliError e = OpenOne(c, file)) return e;
    const RecFileInfo info = file.Info();
    const AvWaveFormatEx wave = file.WaveFormat();
    const Census n = Count(file);
    const int own = ChannelOfName(file.Path());
    const std::string clock = c.clock.Label();
    if (c.options.json) {
        std::fprintf(Out(), "{\"file\": %s, \"clock\": %s, \"start\": %s, \"stop\": %s, \"startUs\": %lld, \"stopUs\": %lld, "
                    "\"durationMs\": %u, \"channel\": %d, \"audioChannel\": %d, \"alarm\": %s, \"frameRate\": %u, "
                    "\"encrypted\": %s,\n \"audio\": {\"formatTag\": %u, \"channels\": %u, \"samplesPerSec\": %u, "
                    "\"bitsPerSample\": %u, \"blockAlign\": %u},\n \"frames\": {\"key\": %llu, \"other\": %llu, "
                    "\"audio\": %llu, \"audioBytes\": %llu, \"sideData\": %llu},\n \"keyFrameInterval\": %.3f, "
                    "\"firstFrame\": %s, \"lastFrame\": %s, \"gpsFixes\": %llu}\n",
                    JsonQuoted(file.Path()).c_str(), JsonQuoted(clock).c_str(),
                    JsonQuoted(c.clock.Format(info.startTimeUs)).c_str(),
                    JsonQuoted(c.clock.Format(info.stopTimeUs)).c_str(),
                    static_cast<long long>(c.clock.Shown(info.startTimeUs)),
                    static_cast<long long>(c.clock.Shown(info.stopTimeUs)), info.durationMs, own >= 0 ? own + 1 : 0,
                    file.AudioChannel() + 1, info.alarm ? "true" : "false", info.frameRate,
                    file.Encrypted() ? "true" : "false", wave.wFormatTag, wave.nChannels, wave.nSamplesPerSec,
                    wave.wBitsPerSample, wave.nBlockAlign, static_cast<unsigned long long>(n.keyFrames),
                    static_cast<unsigned long long>(n.otherFrames), static_cast<unsigned long long>(n.audioFrames),
                    static_cast<unsigned long long>(n.audioBytes), static_cast<unsigned long long>(n.sideData),
                    n.intervals ? static_cast<double>(n.intervalSum) / static_cast<double>(n.intervals) : 0.0,
                    n.keyFrames + n.otherFrames ? JsonQuoted(c.clock.Format(n.firstUs)).c_str() : "null",
                    n.keyFrames + n.otherFrames ? JsonQuoted(c.clock.Format(n.lastUs)).c_str() : "null",
                    static_cast<unsigned long long>(n.gpsFixes));
        return {};
    }
    std::fprintf(Out(), "File            %s\n", file.Path().c_str());
    std::fprintf(Out(), "Times           %s\n", clock.c_str());
    std::fprintf(Out(), "Start           %s\n", c.clock.Format(info.startTimeUs).c_str());
    std::fprintf(Out(), "Stop            %s (%s)\n", c.clock.Format(info.stopTimeUs).c_str(),
                FormatDuration(static_cast<int64_t>(info.durationMs) * 1000).c_str());
    std::fprintf(Out(), "Channel         %s, audio of channel %d\n",
                own >= 0 ? std::to_string(own + 1).c_str() : "not in the name", file.AudioChannel() + 1);
    std::fprintf(Out(), "Recording       %s\n", info.alarm ? "alarm" : "normal");
    std::fprintf(Out(), "Frame rate      %u per second\n", info.frameRate);
    std::fprintf(Out(), "Encrypted       %s\n", file.Encrypted() ? "yes (opened with its password)" : "no");
    std::fprintf(Out(), "Audio           %s\n", AudioDescription(wave).c_str());
    std::fprintf(Out(), "Video frames    %llu (%llu key frames, %llu others)\n",
                static_cast<unsigned long long>(n.keyFrames + n.otherFrames),
                static_cast<unsigned long long>(n.keyFrames), static_cast<unsigned long long>(n.otherFrames));
    std::fprintf(Out(), "Key frames      %s\n", IntervalText(n).c_str());
    std::fprintf(Out(), "Audio frames    %llu (%llu bytes)\n", static_cast<unsigned long long>(n.audioFrames),
                static_cast<unsigned long long>(n.audioBytes));
    std::fprintf(Out(), "Side data       %llu records, %llu GPS fixes\n", static_cast<unsigned long long>(n.sideData),
                static_cast<unsigned long long>(n.gpsFixes));
    if (n.keyFrames + n.otherFrames) {
        std::fprintf(Out(), "First frame     %s\n", c.clock.Format(n.firstUs).c_str());
        std::fprintf(Out(), "Last frame      %s\n", c.clock.Format(n.lastUs).c_str());
    }
    return {};
}

CliError RunFrames(const CommandContext &c) {
    CRecordFile file(c.lib);
    if (CliError e = OpenOne(c, file)) return e;
    const AvWaveFormatEx wave = file.WaveFormat();
    const int64_t start = file.Info().startTimeUs;
    if (!c.options.json) std::fprintf(Out(), "# %s (times: %s)\n", file.Path().c_str(), c.clock.Label().c_str());
    AvFrameInfo frame{};
    uint64_t index = 0, audioBytes = 0;
    while (file.Next(frame)) {
        // The library gives audio frames no time of their own; theirs is
        // where their samples fall after the start of the recording.
        int64_t t = frame.timeUs;
        if (frame.type == FRAME_TYPE_AUDIO) {
            t = start + (wave.nAvgBytesPerSec ? static_cast<int64_t>(audioBytes * 1000000 / wave.nAvgBytesPerSec) : 0);
            audioBytes += static_cast<uint64_t>(frame.length);
        }
        GpsBlock gps{};
        const bool fix = frame.type == FRAME_TYPE_SIDEDATA && GpsFromSideData(frame.data, frame.length, &gps);
        if (c.options.json) {
            std::fprintf(Out(), "{\"index\": %llu, \"type\": \"%s\", \"time\": %s, \"timeUs\": %lld, \"length\": %d",
                        static_cast<unsigned long long>(index), TypeName(frame.type),
                        JsonQuoted(c.clock.Format(t)).c_str(), static_cast<long long>(c.clock.Shown(t)),
                        frame.length);
            if (fix) {
                std::fprintf(Out(), ", \"latitude\": %.6f, \"longitude\": %.6f, \"speedKmh\": %.2f, \"course\": %u",
                            gps.latitude, gps.longitude, SpeedKmh(gps), gps.course);
            }
            std::fprintf(Out(), "}\n");
        } else {
            std::fprintf(Out(), "%8llu  %-5s  %s  %7d", static_cast<unsigned long long>(index), TypeName(frame.type),
                        c.clock.Format(t).c_str(), frame.length);
            if (fix) {
                std::fprintf(Out(), "  %.6f %.6f  %.1f km/h  %u deg", gps.latitude, gps.longitude, SpeedKmh(gps), gps.course);
            }
            std::fprintf(Out(), "\n");
        }
        ++index;
    }
    return {};
}
