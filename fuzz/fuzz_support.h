// What the fuzzers share: a scratch folder of their own, the recorder
// simulator's samples, and a stop that names the broken guarantee.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hardening/sample_recordings.h"

namespace fuzz {

// A folder of this process in the shared memory file system (else below the
// system's temporary folder), created on first use and removed at exit; ends
// with a separator.
const std::string &ScratchFolder();

// Record file, day folder and text samples of the simulator's naming rules
// and RMC sentences.
std::vector<std::string> SampleRecordPaths();
std::vector<std::string> SampleDayNames();
std::vector<std::vector<uint8_t>> SampleTextChunks();

// The host's side of a playback, which a record file input may carry behind
// the file's bytes as a trailer: "HOST", then the channel the host opens,
// the audio channel it asks for and the value its frame record holds in the
// length fields before each read (each a little-endian 32-bit integer).
struct HostChoices {
    int32_t channel = 0;
    int32_t audioChannel = 1;
    int32_t staleLength = 0;
};
constexpr size_t kHostTrailerSize = 16;

// Removes the trailer from the input (shortening `size`) and returns what it
// holds; false, and `size` as it was, when the input has none.
bool TakeHostTrailer(const uint8_t *data, size_t &size, HostChoices &host);
// The file's bytes followed by the trailer.
std::vector<uint8_t> WithHostTrailer(std::vector<uint8_t> file, const HostChoices &host);

// Prints the broken guarantee and aborts, so that the fuzzer keeps the input.
[[noreturn]] void Broken(const std::string &what);

}  // namespace fuzz
