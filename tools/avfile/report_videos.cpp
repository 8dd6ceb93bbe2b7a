#include "report_videos.h"

#include <algorithm>
#include <map>

#include "damaged_copy.h"
#include "export_job.h"

CliError MakeChannelVideos(const CommandContext &c, const std::vector<ReportSource> &sources,
                           const ReportWindow & /*window*/, const std::string &dir, std::vector<ChannelVideo> &videos,
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
