// Loading the idx1 chunk into an AviIndex.
#pragma once

#include <cstdint>

#include "recfile/avi_records.h"

// Reads the idx1 chunk at chunkOffset with the given size field through the
// index's own file: video entries of stream 0 to the front in file order,
// text entries from the back, each tagged with the number of video entries
// before it; everything else is dropped. Only the entries the file really
// holds are allocated, whatever the size field claims. False when memory
// runs out.
bool LoadIndexEntries(AviIndex &index, uint32_t chunkOffset, uint32_t chunkSize);
