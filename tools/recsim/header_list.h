// The header list and the INFO list of a record file.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "recsim/byte_sink.h"
#include "recsim/recsim.h"

namespace recsim {

// The streams a file declares: stream 0 is video; stream d (1 and up) is a
// text stream when text chunks carry its digit, an audio stream otherwise.
struct StreamPlan {
    std::vector<ChunkKind> kinds;
    uint32_t videoFrames = 0;
};
StreamPlan PlanStreams(const FileRecipe &recipe);

// "LIST" "hdrl": the extended main AVI header, then one stream list per
// stream, the first one's "strh" and "strf" at their fixed places.
void WriteHeaderList(ByteSink &sink, const FileRecipe &recipe, const StreamPlan &streams,
                     const std::array<uint8_t, 8> &storedKey);

// "LIST" "INFO" with the recording information block in one sub-chunk.
void WriteInfoList(ByteSink &sink, const FileRecipe &recipe, const std::array<uint8_t, 8> &storedKey);

}  // namespace recsim
