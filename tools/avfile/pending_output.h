// The temporary files of the outputs being written, for a signal handler to
// remove: an export interrupted by Ctrl-C or a termination request leaves
// no half-written file behind either.
#pragma once

#include <string>

// Marks one temporary file as pending while it exists. The marks live in a
// few fixed slots that a signal handler may read at any moment.
class CPendingOutput {
public:
    CPendingOutput() = default;
    ~CPendingOutput() { Clear(); }
    CPendingOutput(const CPendingOutput &) = delete;
    CPendingOutput &operator=(const CPendingOutput &) = delete;

    // Marks `path` (before the file is created); replaces an earlier mark.
    // A path too long for a slot, or no slot free, goes unmarked.
    void Set(const std::string &path);
    // The file is gone or in place under its final name.
    void Clear();

private:
    int m_slot = -1;
};

// Calls `action` with every pending path. Safe in a signal handler as long
// as `action` is.
void ForEachPendingOutput(void (*action)(const char *path));
