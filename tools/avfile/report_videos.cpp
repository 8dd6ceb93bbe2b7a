#include "report_videos.h"

#include <algorithm>
#include <map>

#include "clip_job.h"
#include "damaged_copy.h"
#include "export_job.h"

CliError MakeChannelVideos(const CommandContext &c, const std::vector<ReportSource> &sources,
                           const ReportWindow &window, const std::string &dir, std::vector<ChannelVideo> &videos,
                           std::vector<std::string> &written) {
    std::map<int, std::vector<const ReportSource *>> byChannel;
    for (const ReportSource &s : sources) byChannel[s.channel].push_back(&s);
    for (auto &[channel, files] : byChannel) {
        std::stable_sort(files.begin(), files.end(),
                         [](const ReportSource *a, const ReportSource *b) { return a->startUs < b->startUs; });
        ChannelVideo video;
        video.channel = channel;
        video.file = "channel-" + std::to_string(channel + 1) + ".mp4";
        video.originUs = files.front()->startUs;
        if (window.given) {
            // The window cut out by the clip code: from the key frame at or
            // before its start to the last frame before its end, real time
            // kept between recordings so that every channel plays on one clock.
            ClipRequest clip;
            for (const ReportSource *s : files) {
                clip.files.push_back({ReadablePath(s->path), s->startUs, s->startUs + s->durationUs});
            }
            clip.fromUs = window.fromUs;
            clip.toUs = window.toUs;
            clip.channel = channel;
            clip.output = dir + video.file;
            clip.password = c.options.password;
            clip.clock = c.clock;
            clip.keepGaps = true;
            clip.progress = c.options.progress;
            clip.trackName = "channel " + std::to_string(channel + 1);
            ClipResult result;
            if (CliError e = RunClip(c.lib, clip, result)) return e;
            written.push_back(clip.output);
            if (result.leftOut) return result.leftOut;
            video.originUs = result.firstUs;
            for (const ReportSource *s : files) {
                const int64_t from = std::max(s->startUs, result.firstUs);
                const int64_t to = std::min(s->startUs + s->durationUs, window.toUs);
                if (to > from) video.spans.push_back({from, to});
            }
            video.videoFrames = result.videoFrames;
            video.audio = result.audio;
            videos.push_back(std::move(video));
            continue;
        }
        ExportRequest request;
        for (const ReportSource *s : files) {
            request.files.push_back(ReadablePath(s->path));
            video.spans.push_back({s->startUs, s->startUs + s->durationUs});
        }
        request.output = dir + video.file;
        request.password = c.options.password;
        request.clock = c.clock;
        // The page plays every channel on one clock: a gap stays real time.
        request.keepGaps = true;
        ExportResult result;
        if (CliError e = RunExport(c.lib, request, result)) return e;
        written.push_back(request.output);
        video.videoFrames = result.videoFrames;
        video.audio = result.audio;
        videos.push_back(std::move(video));
    }
    return {};
}
