// Repair of a record file that a recorder left unfinished: from what the
// salvage scan finds, writes a copy that opens and plays like a finished
// recording.
//
// What the copy holds:
//  - the header blocks in front of the movie list byte for byte, but for the
//    RIFF size, the main AVI header's frame count, the video stream header's
//    length and the recording header's stop time: start + video frames /
//    frame rate, rounded to whole seconds as the header holds them, and at
//    least one second past the start (a reader refuses a recording that
//    does not end after it starts). The incomplete byte stays as stored;
//  - the movie list with its true size and every complete chunk byte for
//    byte (encrypted key frames stay enciphered), a zero pad byte behind an
//    odd-sized one; the torn last chunk and any zero padding are dropped;
//  - the INFO list, when it stood behind a movie list that survived whole;
//  - a new idx1: one entry per chunk, absolute offsets, the key flag on the
//    key frames the scan typed from their payload and on every audio and
//    text chunk, as the recorder writes them.
// JUNK and the trailer behind the chunks are not carried over; a copy of a
// few frames is filled up to 4096 bytes by a JUNK chunk at its end, as a
// reader refuses a record file shorter than its read window.
//
// Memory stays bounded: the input is read through the scanner's window and
// one copy buffer. The scan runs twice, once to count and once to copy; the
// idx1 entries are kept from the copy pass up to kMaxHeldIndexEntries (16
// bytes each, 8 MiB), and beyond that a third scan writes them.
//
// A file without a usable recorder header (the header list or main AVI
// header lost) takes the header blocks in front of the movie list from a
// reference file: a finished recording of the same recorder and channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "salvage/salvage_scan.h"

namespace salvage {

// Where the repaired file's bytes go, in order.
class ByteOutput {
public:
    virtual ~ByteOutput() = default;
    // False when the bytes could not be written: the repair stops.
    virtual bool Write(const uint8_t *data, size_t bytes) = 0;
};

class MemoryOutput final : public ByteOutput {
public:
    bool Write(const uint8_t *data, size_t bytes) override;
    std::vector<uint8_t> bytes;
};

constexpr size_t kMaxHeldIndexEntries = 512 * 1024;

enum class RepairStatus {
    Repaired,          // the copy was written
    Sound,             // the file needs no repair: nothing written
    NothingToSalvage,  // no movie list, or not one complete video frame: nothing written
    NoHeader,          // no usable recorder header and no usable reference: nothing written
    CannotRead,        // the file (or the reference) could not be opened or read on
    WriteFailed,       // the output refused bytes; what it holds is incomplete
    OutOfMemory,
};

struct RepairResult {
    RepairStatus status = RepairStatus::NothingToSalvage;
    ScanResult scan;             // of the damaged file
    bool headerFromReference = false;
    uint32_t videoFrames = 0;    // frames kept
    uint32_t keyFrames = 0;
    uint32_t chunks = 0;         // chunks kept
    uint32_t chunksDropped = 0;  // the torn chunk, when there was one
    int32_t startSeconds = 0;
    int32_t stopSeconds = 0;     // as written into the copy
    uint64_t recoveredMicros = 0;  // video frames × frame period
    uint64_t outputBytes = 0;
};

// Repairs `source` into `out`. `reference` (may be null) gives the header
// blocks when those of `source` are lost. Beyond `maxHeldIndexEntries`
// chunks the idx1 entries are written from a third scan.
RepairResult Repair(ByteSource &source, ByteSource *reference, ByteOutput &out,
                    size_t maxHeldIndexEntries = kMaxHeldIndexEntries);
// The same for files, read through the platform.
RepairResult RepairFile(const char *path, const char *referencePath, ByteOutput &out);

}  // namespace salvage
