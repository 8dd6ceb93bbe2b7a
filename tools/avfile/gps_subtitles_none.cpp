// The GPS subtitle stream of a build without FFmpeg's libraries: such a
// build writes no Matroska or MP4 file, so there is no stream to add.
#include "gps_subtitles.h"

CGpsSubtitles::~CGpsSubtitles() = default;

void CGpsSubtitles::SetStartPosition(const GpsBlock &) {}
bool CGpsSubtitles::AddFix(const std::string &, const GpsBlock &, int64_t) { return true; }
bool CGpsSubtitles::AddChapter(int64_t, const std::string &) { return true; }
bool CGpsSubtitles::AddStreams(AVFormatContext *, bool) { return true; }
bool CGpsSubtitles::Finish(AVFormatContext *, int64_t) { return true; }
