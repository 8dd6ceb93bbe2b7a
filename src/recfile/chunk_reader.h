// The sequential chunk reader: a resumable scanner that finds the recorder's
// chunk identifiers ("0Ndc", "0Ndb", "0Nwb", "0Ntx") in the file's bytes and
// copies each chunk's payload out, and the ways it is positioned.
#pragma once

#include <cstdint>

#include "recfile/avi_records.h"

// Kinds of chunk the scanner reports.
enum ChunkKind : int32_t {
    CHUNK_VIDEO = 1,
    CHUNK_AUDIO = 2,
    CHUNK_TEXT = 3,
};

// A reader with its 2048-byte window, zeroed, without a file; null when
// memory runs out. FreeChunkReader also closes its file.
AviChunkReader *CreateChunkReader();
void FreeChunkReader(AviChunkReader *reader);

// Positions a reader whose file is open on the list that follows the header
// list, bounded by that list's size. Its outcome is not reported: a reader
// it cannot place finds nothing.
void SetUpReader(AviChunkReader *reader);

// Makes the reader stop at the end of the movie list (moviEnd, its offset +
// 8 + size; 0 when the file has none), wherever the set-up placed it: a
// list between the header list and the movie list does not bound it, and
// the index behind the movie list is never read as chunks.
void BoundToMovieList(AviChunkReader *reader, uint32_t moviEnd);

// Finds the next chunk and copies its payload to dest. Returns the payload
// length (> 0) with kind set; 0 at the end bound or for an empty chunk; -1
// when the declared length exceeds capacity (the reader then stays on that
// chunk) or for a null reader; -2 when the file yields no more bytes, and
// from then on until the reader is repositioned: a chunk cut off by a failed
// read is never resumed.
int32_t ReadChunk(AviChunkReader *reader, unsigned char *dest, uint32_t capacity,
                  int32_t *kind);

// Places the reader at an absolute file offset (a chunk header); scanning
// starts afresh there and still ends at the end of the movie list. 0; -1
// for a null reader, and when the file cannot be placed there, which parks
// the reader as ParkReader does.
int32_t RepositionReader(AviChunkReader *reader, uint32_t offset);

// Leaves the reader at the end of the data: every read finds nothing until
// the next repositioning.
void ParkReader(AviChunkReader *reader);

// Copies the video entry at the index cursor and moves the cursor on; -1
// (nothing copied) without an index or when the cursor reached frameCount.
int32_t NextIndexEntry(AviIndex *index, IndexEntry *entry);
