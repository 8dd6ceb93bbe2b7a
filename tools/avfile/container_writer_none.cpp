// The container writer of a build without FFmpeg's libraries (the Windows
// build): it knows the two extensions, so that they are refused with the
// reason rather than as unknown, and writes nothing.
#include "container_writer.h"

#include <cstring>

#include "text_output.h"

namespace {

const char kUnavailable[] =
    "this build of avfile cannot write .mp4 or .mkv files (it was built without FFmpeg's libraries); "
    ".h264 and .wav carry the video and the sound";

}  // namespace

CContainerWriter::~CContainerWriter() = default;

bool CContainerWriter::Handles(const std::string &target) {
    return HasExtension(target, ".mkv") || HasExtension(target, ".mp4");
}

const char *CContainerWriter::Unavailable() { return kUnavailable; }

bool CContainerWriter::Open(const std::string &target, int64_t, const AvWaveFormatEx *) {
    m_target = target;
    m_error = std::string(kUnavailable) + ": " + target;
    return false;
}

bool CContainerWriter::AddVideo(const unsigned char *, size_t, bool, int64_t, int64_t) { return false; }
void CContainerWriter::BeginAudio(int64_t) {}
bool CContainerWriter::AddAudio(const unsigned char *, size_t) { return false; }
bool CContainerWriter::Finish() { return false; }
