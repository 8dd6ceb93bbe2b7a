// The record files of a card as they lie on it, whether or not the
// library's searches list them, each judged by the salvage scanner: sound,
// incomplete (a recording cut short that a repair recovers) or unreadable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library.h"
#include "salvage/salvage_scan.h"

enum class FileState { Sound, Incomplete, Unreadable };

struct FileVerdict {
    FileState state = FileState::Unreadable;
    // Sound: the recording's length by its header; incomplete: what the
    // video frames found give at the header's frame period. Negative when
    // no header tells the frame period.
    double seconds = -1;
    uint64_t bytes = 0;
    uint64_t usableBytes = 0;
    std::string reason;  // what is damaged; empty for a sound file
};

// A sound file is judged from its headers, the movie list's end and idx1's
// first and last entries; any other is walked chunk by chunk.
FileVerdict JudgeFile(const std::string &path);
// The verdict on what ExamineFile gave (`walked`: by Scan).
FileVerdict Judge(const salvage::ScanResult &result, bool walked);
const char *StateName(FileState state);
// "12.3 s", or "? s" when the frame period is not known.
std::string SecondsText(const FileVerdict &verdict);
// "incomplete, 1.2 s recoverable (29886 of 30000 bytes usable, no index)",
// "unreadable (empty file)".
std::string Describe(const FileVerdict &verdict);
// The verdict's fields as JSON members: "state", "seconds" (null when not
// known), "bytes", "usableBytes", "reason" (null for a sound file).
std::string JsonMembers(const FileVerdict &verdict);

// The folders a search looks in for the record files of `dayFolder`: the
// folder itself and its video and alarm folders, those that exist.
std::vector<std::string> FoldersOfDay(const std::string &dayFolder);
// The same for a card: `root` as a day folder, then every day folder the
// day search finds in it.
std::vector<std::string> FoldersOfCard(const AvFileLibrary &library, const std::string &root);
// The files named *.avi (any case) in `folder`, not in its sub-folders, in
// name order, each as `folder` + name.
std::vector<std::string> AviFiles(const std::string &folder);
// The path in one spelling, so that a search's paths and a folder walk's
// compare equal.
std::string SamePath(const std::string &path);
