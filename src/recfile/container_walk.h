// The container walk of a record file: one pass over the top-level chunks
// that takes the recorder's header blocks, the first stream's audio words and
// the idx1 index into an AviIndex.
#pragma once

#include "recfile/avi_records.h"

// Walks a record file from its start through a handle the caller opened
// (null when the open failed, which the walk reports) and keeps: the walk
// leaves it open, positioned anywhere. Null when the file cannot be read, is
// no RIFF/AVI file, carries a recording header whose start is not before its
// stop, or memory runs out. Progress and problems go to standard output.
AviIndex *WalkContainer(plat::ReadFile *file);

// Releases an index and everything it owns; null does nothing.
void FreeAviIndex(AviIndex *index);
