// info and frames: what a record file holds, summed up or frame by frame.
#include <algorithm>
#include <cstdio>
#include <string>

#include <filesystem>
#include <vector>

#include "card_files.h"
#include "commands.h"
#include "console.h"
#include "damaged_copy.h"
#include "gps_summary.h"
#include "record_file.h"
#include "stream_params.h"
#include "text_output.h"
#include "track_point.h"

namespace {

// The version of info's JSON shape (README, "info --json").
constexpr int kInfoSchema = 1;

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
    uint64_t videoBytes = 0;
    int64_t firstUs = 0, lastUs = 0;
    uint64_t intervalMin = 0, intervalMax = 0, intervalSum = 0, intervals = 0;
};

// Counts the frames; `keyFrame` gets a copy of the first key frame.
Census Count(CRecordFile &file, std::vector<unsigned char> &keyFrame) {
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
            n.videoBytes += static_cast<uint64_t>(frame.length);
            if (frame.type == FRAME_TYPE_I) {
                if (n.keyFrames == 0 && frame.data && frame.length > 0) keyFrame.assign(frame.data, frame.data + frame.length);
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

namespace {

std::string Number(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string JsonTime(const CClock &clock, int64_t shownUs) { return JsonQuoted(clock.FormatShown(shownUs)); }

// What info gathers of one record file: what the file shows without the
// library (size, damage, header times, GPS text) and, when it opens, what
// the library reads (audio, frames, the stream's parameters).
struct FileReport {
    std::string path;
    uint64_t size = 0;
    FileVerdict verdict;
    salvage::ScanResult scan;
    bool opened = false, passwordNeeded = false;
    RecFileInfo info{};
    AvWaveFormatEx wave{};
    int audioChannel = -1;
    bool encrypted = false;
    Census census;
    StreamParams stream;
    GpsSummary gps;
    int64_t startUs = 0, stopUs = 0;
};

CliError Gather(const CommandContext &c, const std::string &path, FileReport &r) {
    r.path = path;
    CRecordFile file(c.lib);
    const int own = ChannelOfName(path);
    const int audio = FindAudioChannel(c.lib, path, c.options.password, c.options.channel);
    const CliError e = file.Open(path, audio >= 0 ? audio : (own >= 0 ? own : 0), c.options.password);
    // An encrypted recording without its password still shows what is
    // stored plain: the header, the times and the GPS text.
    if (e && !(e.code == kExitPassword && !c.options.password)) return e;
    std::error_code ec;
    r.size = std::filesystem::file_size(path, ec);
    bool walked = false;
    r.scan = salvage::ExamineFile(path.c_str(), &walked);
    r.verdict = Judge(r.scan, walked);
    std::vector<GpsText> texts;
    if (ReadGpsText(ReadablePath(path), texts)) r.gps = SummariseGps(texts);
    if (e) {
        r.passwordNeeded = r.encrypted = true;
        r.startUs = static_cast<int64_t>(r.scan.startSeconds) * 1000000;
        r.stopUs = static_cast<int64_t>(r.scan.stopSeconds) * 1000000;
        r.info.durationMs = static_cast<uint32_t>(r.stopUs > r.startUs ? (r.stopUs - r.startUs) / 1000 : 0);
        r.info.frameRate = static_cast<uint8_t>(r.scan.microsPerFrame ? (1000000 + r.scan.microsPerFrame / 2) / r.scan.microsPerFrame : 0);
        if (r.scan.headerIntact) {
            // The recording header: alarm flag, and the audio recorded (a
            // separate file's one channel as twice its index, a composite
            // file's as a mask, whose first channel is shown).
            const uint8_t *h = r.scan.recordingHeader;
            r.info.alarm = static_cast<int8_t>(h[3]) == 1;
            int audioChannel = -1;
            if (h[4] == 1) {
                for (int bit = 3; bit >= 0; --bit) {
                    if (h[2] & (1u << bit)) audioChannel = bit;
                }
            } else {
                audioChannel = h[2] / 2;
            }
            r.audioChannel = audioChannel;
        }
        return {};
    }
    r.opened = true;
    r.info = file.Info();
    r.wave = file.WaveFormat();
    r.audioChannel = file.AudioChannel();
    r.encrypted = file.Encrypted();
    r.startUs = r.info.startTimeUs;
    r.stopUs = r.info.stopTimeUs;
    std::vector<unsigned char> keyFrame;
    r.census = Count(file, keyFrame);
    r.stream = ReadStreamParams(keyFrame.data(), keyFrame.size());
    return {};
}

double Seconds(const FileReport &r) { return static_cast<double>(r.stopUs - r.startUs) / 1e6; }
uint64_t VideoFrames(const FileReport &r) { return r.census.keyFrames + r.census.otherFrames; }
double MeasuredFrameRate(const FileReport &r) {
    return Seconds(r) > 0 ? static_cast<double>(VideoFrames(r)) / Seconds(r) : 0.0;
}
double VideoBitRate(const FileReport &r) {
    return Seconds(r) > 0 ? static_cast<double>(r.census.videoBytes) * 8 / Seconds(r) : 0.0;
}

std::string StreamText(const FileReport &r) {
    if (r.passwordNeeded) return "encrypted (password needed)";
    const StreamParams &p = r.stream;
    if (!p.known) return p.why;
    char text[128];
    std::snprintf(text, sizeof text, "%s %s, level %d.%d, %dx%d", p.codec.c_str(), p.profile.c_str(), p.level / 10,
                  p.level % 10, p.width, p.height);
    return text;
}

std::string OffsetLine(const GpsSummary &g) {
    if (g.offsetFixes == 0) return "not measured (no GPS sentence with a UTC date and time)";
    const int64_t s = (g.offsetUs < 0 ? -g.offsetUs : g.offsetUs) / 1000000;
    char text[160];
    std::snprintf(text, sizeof text, "recorder clock %lld:%02lld:%02lld %s GPS time: zone %s (from %zu sentences)",
                  static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60),
                  g.offsetUs < 0 ? "behind" : "ahead of", OffsetText(NearestQuarterHour(g.offsetUs)).c_str(),
                  g.offsetFixes);
    return text;
}

std::string FixText(const CClock &clock, const GpsText &t) {
    char text[96];
    std::snprintf(text, sizeof text, "  %.6f %.6f", t.rmc.gps.latitude, t.rmc.gps.longitude);
    return clock.FormatShown(PointTimeUs(clock, t)) + text;
}

void PrintText(const CommandContext &c, const FileReport &r) {
    const CClock &k = c.clock;
    const int own = ChannelOfName(r.path);
    std::fprintf(Out(), "File            %s\n", r.path.c_str());
    std::fprintf(Out(), "Size            %llu bytes\n", static_cast<unsigned long long>(r.size));
    std::fprintf(Out(), "State           %s\n", Describe(r.verdict).c_str());
    std::fprintf(Out(), "Times           %s\n", k.Label().c_str());
    std::fprintf(Out(), "Start           %s\n", k.Format(r.startUs).c_str());
    std::fprintf(Out(), "Stop            %s (%s)\n", k.Format(r.stopUs).c_str(),
                 FormatDuration(static_cast<int64_t>(r.info.durationMs) * 1000).c_str());
    const std::string channel = own >= 0 ? std::to_string(own + 1) : "not in the name";
    if (r.audioChannel >= 0) {
        std::fprintf(Out(), "Channel         %s, audio of channel %d\n", channel.c_str(), r.audioChannel + 1);
        std::fprintf(Out(), "Recording       %s\n", r.info.alarm ? "alarm" : "normal");
    } else {
        std::fprintf(Out(), "Channel         %s\n", channel.c_str());
    }
    std::fprintf(Out(), "Frame rate      %u per second", r.info.frameRate);
    if (r.opened) std::fprintf(Out(), " (measured %s)", Number(MeasuredFrameRate(r), 2).c_str());
    std::fprintf(Out(), "\n");
    std::fprintf(Out(), "Encrypted       %s\n", r.passwordNeeded ? "yes: encrypted (password needed)"
                                                 : r.encrypted ? "yes (opened with its password)" : "no");
    std::fprintf(Out(), "Video           %s\n", StreamText(r).c_str());
    if (r.opened) {
        const Census &n = r.census;
        std::fprintf(Out(), "Bit rate        video %s kbit/s, file %s kbit/s\n", Number(VideoBitRate(r) / 1000, 1).c_str(),
                     Number(Seconds(r) > 0 ? static_cast<double>(r.size) * 8 / Seconds(r) / 1000 : 0.0, 1).c_str());
        std::fprintf(Out(), "Audio           %s\n", AudioDescription(r.wave).c_str());
        std::fprintf(Out(), "Video frames    %llu (%llu key frames, %llu others)\n",
                     static_cast<unsigned long long>(VideoFrames(r)), static_cast<unsigned long long>(n.keyFrames),
                     static_cast<unsigned long long>(n.otherFrames));
        std::fprintf(Out(), "Key frames      %s\n", IntervalText(n).c_str());
        std::fprintf(Out(), "Audio frames    %llu (%llu bytes)\n", static_cast<unsigned long long>(n.audioFrames),
                     static_cast<unsigned long long>(n.audioBytes));
        std::fprintf(Out(), "Side data       %llu records, %llu GPS fixes\n", static_cast<unsigned long long>(n.sideData),
                     static_cast<unsigned long long>(n.gpsFixes));
        if (VideoFrames(r)) {
            std::fprintf(Out(), "First frame     %s\n", k.Format(n.firstUs).c_str());
            std::fprintf(Out(), "Last frame      %s\n", k.Format(n.lastUs).c_str());
        }
    }
    const GpsSummary &g = r.gps;
    std::fprintf(Out(), "GPS             %llu fixes", static_cast<unsigned long long>(g.fixes));
    if (g.fixes) {
        std::fprintf(Out(), ", %s km, top %s km/h, mean %s km/h", Number(g.distanceM / 1000, 3).c_str(),
                     Number(g.topKmh, 1).c_str(), Number(g.meanKmh, 1).c_str());
    }
    std::fprintf(Out(), "\n");
    if (g.fixes) {
        std::fprintf(Out(), "First fix       %s\n", FixText(k, g.first).c_str());
        std::fprintf(Out(), "Last fix        %s\n", FixText(k, g.last).c_str());
    }
    std::fprintf(Out(), "Clock offset    %s\n", OffsetLine(g).c_str());
}

std::string JsonFix(const CClock &clock, const GpsText &t) {
    char pos[96];
    std::snprintf(pos, sizeof pos, ", \"latitude\": %.7f, \"longitude\": %.7f}", t.rmc.gps.latitude, t.rmc.gps.longitude);
    return "{\"time\": " + JsonTime(clock, PointTimeUs(clock, t)) +
           ", \"timeUs\": " + std::to_string(PointTimeUs(clock, t)) + pos;
}

// The info object; its members are described with the schema number in
// the README, and a member a file cannot tell is null, never left out.
std::string Json(const CommandContext &c, const FileReport &r) {
    const CClock &k = c.clock;
    const int own = ChannelOfName(r.path);
    const Census &n = r.census;
    char buffer[1024];
    std::string j = "{\"schema\": " + std::to_string(kInfoSchema) + ", \"file\": " + JsonQuoted(r.path) +
                    ", \"size\": " + std::to_string(r.size) + ",\n \"damage\": {" + JsonMembers(r.verdict) + "},\n" +
                    " \"clock\": " + JsonQuoted(k.Label()) + ", \"utc\": " + (k.Utc() ? "true" : "false") +
                    ", \"start\": " + JsonQuoted(k.Format(r.startUs)) + ", \"stop\": " + JsonQuoted(k.Format(r.stopUs)) +
                    ", \"startUs\": " + std::to_string(k.Shown(r.startUs)) + ", \"stopUs\": " +
                    std::to_string(k.Shown(r.stopUs)) + ", \"durationMs\": " + std::to_string(r.info.durationMs) +
                    ", \"channel\": " + std::to_string(own >= 0 ? own + 1 : 0) + ", \"audioChannel\": " +
                    (r.audioChannel >= 0 ? std::to_string(r.audioChannel + 1) : "null") + ", \"alarm\": " +
                    (r.audioChannel >= 0 ? (r.info.alarm ? "true" : "false") : "null") +
                    ", \"frameRate\": " + std::to_string(r.info.frameRate) + ", \"encrypted\": " +
                    (r.encrypted ? "true" : "false") + ", \"passwordNeeded\": " + (r.passwordNeeded ? "true" : "false");
    if (r.opened) {
        std::snprintf(buffer, sizeof buffer,
                      ",\n \"measuredFrameRate\": %.3f, \"videoBitRate\": %.0f,\n \"video\": ", MeasuredFrameRate(r),
                      VideoBitRate(r));
        j += buffer;
        if (r.stream.known) {
            std::snprintf(buffer, sizeof buffer, "{\"codec\": \"%s\", \"profile\": %s, \"level\": %d, \"width\": %d, \"height\": %d}",
                          r.stream.codec.c_str(), JsonQuoted(r.stream.profile).c_str(), r.stream.level, r.stream.width,
                          r.stream.height);
            j += buffer;
        } else {
            j += "null";
        }
        std::snprintf(buffer, sizeof buffer,
                      ",\n \"audio\": {\"formatTag\": %u, \"channels\": %u, \"samplesPerSec\": %u, \"bitsPerSample\": %u, "
                      "\"blockAlign\": %u},\n \"frames\": {\"key\": %llu, \"other\": %llu, \"audio\": %llu, "
                      "\"audioBytes\": %llu, \"sideData\": %llu},\n \"keyFrameInterval\": %.3f",
                      r.wave.wFormatTag, r.wave.nChannels, r.wave.nSamplesPerSec, r.wave.wBitsPerSample, r.wave.nBlockAlign,
                      static_cast<unsigned long long>(n.keyFrames), static_cast<unsigned long long>(n.otherFrames),
                      static_cast<unsigned long long>(n.audioFrames), static_cast<unsigned long long>(n.audioBytes),
                      static_cast<unsigned long long>(n.sideData),
                      n.intervals ? static_cast<double>(n.intervalSum) / static_cast<double>(n.intervals) : 0.0);
        j += buffer;
        j += ", \"firstFrame\": " + (VideoFrames(r) ? JsonQuoted(k.Format(n.firstUs)) : std::string("null"));
        j += ", \"lastFrame\": " + (VideoFrames(r) ? JsonQuoted(k.Format(n.lastUs)) : std::string("null"));
        j += ", \"gpsFixes\": " + std::to_string(n.gpsFixes);
    } else {
        j += ",\n \"measuredFrameRate\": null, \"videoBitRate\": null, \"video\": null, \"audio\": null, \"frames\": null, "
             "\"keyFrameInterval\": null, \"firstFrame\": null, \"lastFrame\": null, \"gpsFixes\": " +
             std::to_string(r.gps.fixes);
    }
    const GpsSummary &g = r.gps;
    std::snprintf(buffer, sizeof buffer,
                  ",\n \"gps\": {\"texts\": %llu, \"fixes\": %llu, \"distanceM\": %.1f, \"topSpeedKmh\": %.2f, "
                  "\"meanSpeedKmh\": %.2f, ",
                  static_cast<unsigned long long>(g.texts), static_cast<unsigned long long>(g.fixes), g.distanceM,
                  g.topKmh, g.meanKmh);
    j += buffer;
    j += "\"first\": " + (g.fixes ? JsonFix(k, g.first) : std::string("null"));
    j += ", \"last\": " + (g.fixes ? JsonFix(k, g.last) : std::string("null"));
    if (g.offsetFixes) {
        j += ", \"clockOffsetS\": " + std::to_string(g.offsetUs / 1000000) + ", \"clockZone\": " +
             JsonQuoted(OffsetText(NearestQuarterHour(g.offsetUs))) + ", \"offsetSentences\": " +
             std::to_string(g.offsetFixes) + "}}";
    } else {
        j += ", \"clockOffsetS\": null, \"clockZone\": null, \"offsetSentences\": 0}}";
    }
    return j;
}

}  // namespace

CliError RunInfo(const CommandContext &c) {
    if (c.options.paths.empty()) return Fail(kExitUsage, "info takes one or more record files");
    CliError first;
    bool any = false;
    if (c.options.json) std::fprintf(Out(), "[");
    for (const std::string &path : c.options.paths) {
        FileReport r;
        CliError e = Gather(c, path, r);
        if (!e && r.passwordNeeded) {
            e = Fail(kExitPassword, path + ": encrypted recording: shown what is stored plain; give its password with "
                                           "--password for the rest");
        }
        const bool shown = !e || r.passwordNeeded;
        if (c.options.json) {
            std::string entry = shown ? Json(c, r)
                                      : "{\"schema\": " + std::to_string(kInfoSchema) + ", \"file\": " + JsonQuoted(path) +
                                            ", \"error\": " + JsonQuoted(e.message) + ", \"exitCode\": " +
                                            std::to_string(e.code) + "}";
            std::fprintf(Out(), "%s\n%s", any ? "," : "", entry.c_str());
        } else if (shown) {
            if (any) std::fprintf(Out(), "\n");
            PrintText(c, r);
        }
        any = true;
        if (e) {
            // Each file's trouble is told as it comes; the first decides the exit code.
            if (!first) first = e;
            else std::fprintf(stderr, "avfile: %s\n", e.message.c_str());
        }
    }
    if (c.options.json) std::fprintf(Out(), "\n]\n");
    return first;
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
