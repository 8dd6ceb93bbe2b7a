// H.264 elementary stream (Annex B byte stream): the video frames of a
// recording appended exactly as the library delivers them, start codes
// included, so the file plays in any decoder and equals the recorded stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output_file.h"

class CH264Writer {
public:
    bool Begin(COutputFile &out);
    // Appends one frame. Key frames are counted so the caller can tell a
    // stream that no decoder can start (no key frame at all).
    bool AddFrame(const unsigned char *data, size_t length, bool keyFrame);
    bool Finish() { return m_out->Ok(); }

    uint64_t Frames() const { return m_frames; }
    uint64_t KeyFrames() const { return m_keyFrames; }

private:
    COutputFile *m_out = nullptr;
    uint64_t m_frames = 0;
    uint64_t m_keyFrames = 0;
};
