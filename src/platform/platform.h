// The operating-system services the library uses, behind one narrow
// interface. Everything here has the meaning of the Windows service named in
// its comment; the Win32 implementation calls that service, the POSIX one
// reproduces what the library relies on. Nothing outside src/platform/
// includes an operating-system header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "avfile/avfile.h"

namespace plat {

// Separator the library writes when it composes a path. Both '\' and '/' are
// accepted wherever a path is split.
#ifdef _WIN32
inline constexpr char kPathSep = '\\';
#else
inline constexpr char kPathSep = '/';
#endif

inline bool IsPathSep(char c) { return c == '\\' || c == '/'; }

// ---- Directory enumeration (FindFirstFileA / FindNextFileA / FindClose) ----

struct DirEntry {
    char name[AVFILE_MAX_PATH];  // name only, no folder
    bool isDir;
    uint64_t size;               // bytes; see Listing
    uint64_t lastWrite;          // file time: 100 ns units since 1601, UTC; see Listing
};

struct DirSearch;  // opaque

// What an enumeration fills in. Names and the folder flag come with the
// folder's own entries; on POSIX systems sizes and times cost a query of
// the file system per entry, so a caller that needs only names says so and
// gets size and lastWrite as 0 there (Windows fills them in either way).
enum class Listing { kNamesOnly, kWithSizeAndTime };

// `pattern` is a folder path followed by a name pattern with the Windows
// wildcards '*' and '?' (ASCII case-insensitive; "*.*" matches every name).
// The "." and ".." entries are reported as Windows reports them. Returns null
// when nothing matches or the folder cannot be read.
DirSearch *FindFirst(const char *pattern, DirEntry *entry,
                     Listing listing = Listing::kWithSizeAndTime);
bool FindNext(DirSearch *search, DirEntry *entry);
// How many more entries the enumeration may report, where that is known in
// advance (the POSIX enumeration lists the folder at FindFirst); 0 where
// it is not (Windows). For sizing what a caller collects.
size_t EntriesAhead(const DirSearch *search);
void FindClose(DirSearch *search);

// Windows wildcard match of one name against one pattern (exposed for tests
// and for the POSIX enumeration).
bool WildcardMatch(const char *pattern, const char *name);

// ---- Files ----

// Any kind of entry exists at the path (_access with mode 0).
bool PathExists(const char *path);

// CopyFileA. With failIfExists an existing destination is never replaced;
// nor, either way, is a read-only destination or the source itself.
bool CopyFile(const char *source, const char *destination, bool failIfExists);

// Buffered read-only byte stream (fopen "rb" / fread / fseek / fclose).
// The POSIX stream reads a plain file as long as it was when it was opened.
struct ReadFile;  // opaque
ReadFile *OpenRead(const char *path);
size_t Read(ReadFile *file, void *buffer, size_t bytes);
bool Seek(ReadFile *file, int64_t offset);  // absolute offset
// The position the next Read starts at (ftell); -1 when unknown.
int64_t Tell(ReadFile *file);
// Tells the stream how much the reader is about to take from where it
// stands: the next request to the file system reads at least `bytes` (never
// past the end the file had when it was opened), into a larger buffer for
// that one fill when memory allows. So a reader that knows the size of
// what follows has it in one read. What one fill cannot hold (more than a
// MiB) is read as the requests come. A hint only: reads give the same bytes
// with or without it. 0 withdraws a hint.
void ReadAhead(ReadFile *file, size_t bytes);
// GetFileSizeEx: the size in bytes of the open file into `size`. False when
// it cannot be had (and for anything but a plain file), so that a failure
// is never taken for an empty file.
bool FileSize(ReadFile *file, uint64_t *size);
void CloseRead(ReadFile *file);

// ---- Profile files (GetPrivateProfileIntA / GetPrivateProfileStringA) ----

// Section and key compare case-insensitively; blanks around values are
// trimmed; a missing file, section or key gives the default.
int32_t ProfileInt(const char *section, const char *key, int32_t defaultValue,
                   const char *file);
// Copies at most size - 1 characters and a terminator; returns the count.
size_t ProfileString(const char *section, const char *key,
                     const char *defaultValue, char *out, size_t size,
                     const char *file);

// ---- Time ----

// GetLocalTime.
void LocalTime(AvSystemTime *out);
// GetTickCount: milliseconds since start, wrapping at 2^32.
uint32_t TickCount();
// FileTimeToSystemTime / SystemTimeToFileTime (100 ns units since 1601, no
// time-zone change). Impossible dates fail, as Windows validates them.
bool FileTimeToSystemTime(uint64_t fileTime, AvSystemTime *out);
bool SystemTimeToFileTime(const AvSystemTime *in, uint64_t *fileTime);

// Test hooks: replace the tick and local-time sources (null restores).
using TickSource = uint32_t (*)();
using LocalTimeSource = void (*)(AvSystemTime *);
void SetTickSource(TickSource source);
void SetLocalTimeSource(LocalTimeSource source);

// ---- Module and paths ----

// Full path of this library's own module file, found by an address inside
// it; takes a lasting reference on the module so it is never unloaded before
// the process ends. False when not found.
bool OwnModulePath(char *out, size_t size);
// Full path of the host executable.
bool ExecutablePath(char *out, size_t size);
// GetFullPathNameA: resolves ".\" and "..\" parts.
bool FullPath(const char *path, char *out, size_t size);

// ---- Debugger output (OutputDebugStringA) ----

void DebugOutput(const char *text);
// False when nothing can receive debugger output (POSIX without a sink),
// so that a caller may spare itself composing it.
bool DebugOutputListened();
// Tests capture debugger output through a sink (POSIX discards it otherwise).
using DebugSink = void (*)(const char *text);
void SetDebugSink(DebugSink sink);

// ---- Recursive lock (critical section) ----

class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock &) = delete;
    RecursiveLock &operator=(const RecursiveLock &) = delete;
    void Enter();
    void Leave();

private:
    alignas(16) unsigned char storage_[64];
};

}  // namespace plat
