// The file services the diagnostics log needs: one log file opened for
// appending, moving and deleting files, creating the log folder, measuring a
// file and turning a last-write time into a DOS date and time. Each has the
// meaning of the Windows service named in its comment.
#pragma once

#include <cstdint>

namespace plat {

struct LogFile;  // opaque

// CreateFileA for reading and writing, shared for reading and writing,
// created when missing and opened unchanged when present (OPEN_ALWAYS).
// Null on failure.
LogFile *OpenLogFile(const char *path);
// GetFileSize: the file's size in bytes (low 32 bits).
uint32_t LogFileSize(LogFile *file);
// SetFilePointer to the end, then WriteFile. True when every byte was written.
bool AppendToLogFile(LogFile *file, const void *data, uint32_t bytes);
// CloseHandle.
void CloseLogFile(LogFile *file);

// MoveFileA: renames a file; fails when the destination exists, so an
// existing file is never replaced.
bool RenameFile(const char *from, const char *to);
// DeleteFileA.
bool RemoveFile(const char *path);

// Creates a folder and every missing parent (PathFileExistsW, then
// CreateDirectoryW level by level); a folder that exists is left alone.
// True when the folder exists afterwards.
bool CreateFolderTree(const char *path);

// True for a regular file (not a folder, device or other special entry).
bool IsRegularFile(const char *path);

// Size in bytes found by opening the file for reading and seeking its end
// (low 32 bits); 0 when it cannot be opened.
uint32_t MeasureFileSize(const char *path);

// FileTimeToLocalFileTime, then FileTimeToDosDateTime. `fileTime` is in
// 100 ns units since 1601, UTC. False for times a DOS date cannot hold
// (before 1980 or after 2107).
bool FileTimeToLocalDosDateTime(uint64_t fileTime, uint16_t *dosDate, uint16_t *dosTime);

}  // namespace plat
