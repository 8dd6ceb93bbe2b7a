// What the fuzzers share: a scratch folder of their own, the recorder
// simulator's samples, and a stop that names the broken guarantee.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hardening/sample_recordings.h"

namespace fuzz {

// A folder of this process below the system's temporary folder, created on
// first use and removed at exit; ends with a separator.
const std::string &ScratchFolder();

// Record file, day folder and text samples of the simulator's naming rules
// and RMC sentences.
std::vector<std::string> SampleRecordPaths();
std::vector<std::string> SampleDayNames();
std::vector<std::vector<uint8_t>> SampleTextChunks();

// Prints the broken guarantee and aborts, so that the fuzzer keeps the input.
[[noreturn]] void Broken(const std::string &what);

}  // namespace fuzz
