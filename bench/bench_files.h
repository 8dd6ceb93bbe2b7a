// What the benchmarks share: where their recordings are, what a recording's
// layout says an open needs at least, how many bytes the process has read,
// and the digest that shows two searches reported the same records.
#pragma once

#include <cstdint>
#include <string>

#include "avfile/avfile.h"

// The folder bench_data wrote (set once by main).
void SetDataDir(const std::string &dir);
std::string DataPath(const std::string &name);
bool DataExists(const std::string &name);

// A record file's layout, read with a plain walk over its top-level chunks.
struct RecordingLayout {
    bool ok = false;
    uint64_t fileSize = 0;
    uint32_t indexOffset = 0;  // of the idx1 chunk's header
    uint32_t indexSize = 0;    // its size field
    // The bytes an open cannot do without: the RIFF header, the header list,
    // the INFO list, the idx1 chunk and the first key frame's chunk.
    uint64_t minimumOpenBytes = 0;
};
RecordingLayout ReadLayout(const std::string &path);

// Bytes the process has had from read calls so far (the kernel's count);
// -1 where the system does not tell.
int64_t BytesReadSoFar();

// Order-sensitive digest of the records a file search reported.
struct SearchDigest {
    uint64_t hash = 1469598103934665603ull;
    uint64_t records = 0;
    void Add(const RecGroupInfo &record);
};
