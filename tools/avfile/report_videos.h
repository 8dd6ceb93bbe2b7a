// The videos of an incident report: one MP4 per channel, its H.264 frames
// stream-copied from the record files. Everything that makes a report's
// videos goes through MakeChannelVideos, so that a cut to the exact window
// can take the place of whole recordings here alone.
#pragma once

#include <string>
#include <vector>

#include "commands.h"
#include "report_model.h"

// Writes DIR/channel-N.mp4 for every channel of `sources` and describes
// each in `videos` (channel order). `window` is what was asked for; this
// version copies the whole recordings that overlap it. Each video is
// written under a temporary name and moved into place when complete; the
// names of those in place are added to `written` as they are, so that a
// failure later can take them away again.
CliError MakeChannelVideos(const CommandContext &c, const std::vector<ReportSource> &sources,
                           const ReportWindow &window, const std::string &dir, std::vector<ChannelVideo> &videos,
                           std::vector<std::string> &written);
