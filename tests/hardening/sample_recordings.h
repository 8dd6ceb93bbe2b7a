// Recordings of the recorder simulator in the variants a card holds, shared
// by the hardening tests and the fuzzers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recsim/recsim.h"

struct SampleRecording {
    std::string label;
    std::vector<uint8_t> bytes;
    recsim::WrittenFile written;
};

// Small recordings (a few kilobytes): plain, encrypted, with samples, access
// unit delimiters and three audio channels, NTSC without index, with the
// information list behind the index, with a short main AVI header.
const std::vector<SampleRecording> &SampleRecordings();

// One recording of more than 64 KiB holding every chunk kind: key and other
// video frames (some behind access unit delimiters, key frames enciphered),
// audio of two channels, text chunks with and without samples, a chunk the
// reader does not know, a JUNK chunk before the movie list, and idx1.
const SampleRecording &EveryChunkKindRecording();

// The plan of the small files in the recording trees that the fault tests
// walk again for every failing step: 2 s at 5 frames a second, key frames
// of 400 bytes and others of 60.
recsim::RecordingPlan TreeFilePlan();

// Writes the bytes to a file, replacing it; false when it cannot.
bool WriteBytes(const std::string &path, const uint8_t *data, size_t size);
inline bool WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    return WriteBytes(path, bytes.data(), bytes.size());
}
