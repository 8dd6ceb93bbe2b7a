// Win32 implementation of the platform layer: each function calls the Windows
// service its declaration names.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>

// <windows.h> maps CopyFile to CopyFileA; the platform layer has a CopyFile
// of its own.
#undef CopyFile

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/fault_injection.h"

namespace plat {

namespace {

DebugSink g_debugSink = nullptr;
TickSource g_tickSource = nullptr;
LocalTimeSource g_localTimeSource = nullptr;

uint64_t FromFileTime(const FILETIME &ft) {
    return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

// The Win32 calls take their buffer sizes as DWORD.
DWORD BufferSize(size_t size) {
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

void ToEntry(const WIN32_FIND_DATAA &data, DirEntry *entry) {
    // cFileName holds MAX_PATH characters, the size of DirEntry::name.
    static_assert(sizeof data.cFileName == sizeof entry->name, "name buffer size");
    std::memcpy(entry->name, data.cFileName, sizeof entry->name);
    entry->name[sizeof entry->name - 1] = '\0';
    entry->isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry->size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    entry->lastWrite = FromFileTime(data.ftLastWriteTime);
}

// The long form of a module's file path.
bool ModulePath(HMODULE module, char *out, size_t size) {
    if (out == nullptr || size == 0) return false;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    const DWORD m = GetLongPathNameA(path, out, BufferSize(size));
    if (m != 0 && m < size) return true;
    if (n >= size) return false;
    std::memcpy(out, path, n + 1);
    return true;
}

}  // namespace

// ---- Directory enumeration ----

struct DirSearch {
    HANDLE handle;
};

// FindFirstFileA gives sizes and times with every entry: a listing of
// names only costs the same.
DirSearch *FindFirst(const char *pattern, DirEntry *entry, Listing) {
    if (pattern == nullptr || entry == nullptr) return nullptr;
    if (fault::ShouldFail(fault::kEnumerate)) return nullptr;
    WIN32_FIND_DATAA data;
    const HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    auto *search = new (std::nothrow) DirSearch{handle};
    if (search == nullptr) {
        ::FindClose(handle);
        return nullptr;
    }
    ToEntry(data, entry);
    return search;
}

bool FindNext(DirSearch *search, DirEntry *entry) {
    if (search == nullptr || entry == nullptr) return false;
    if (fault::ShouldFail(fault::kEnumerate)) return false;
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(search->handle, &data)) return false;
    ToEntry(data, entry);
    return true;
}

size_t EntriesAhead(const DirSearch *) { return 0; }

void FindClose(DirSearch *search) {
    if (search == nullptr) return;
    ::FindClose(search->handle);
    delete search;
}

// ---- Files ----

bool PathExists(const char *path) { return path != nullptr && _access(path, 0) == 0; }

bool CopyFile(const char *source, const char *destination, bool failIfExists) {
    if (source == nullptr || destination == nullptr) return false;
    return CopyFileA(source, destination, failIfExists ? TRUE : FALSE) != 0;
}

struct ReadFile {
    FILE *stream;                    // null for a file served from memory
    const fault::ServedFile *served;
    uint64_t servedPos;              // the served file's position
};

ReadFile *OpenRead(const char *path) {
    if (path == nullptr || fault::ShouldFail(fault::kOpen)) return nullptr;
    if (const fault::ServedFile *served = fault::Served(path)) {
        return new (std::nothrow) ReadFile{nullptr, served, 0};
    }
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return nullptr;
    auto *file = new (std::nothrow) ReadFile{f, nullptr, 0};
    if (file == nullptr) std::fclose(f);
    return file;
}

size_t Read(ReadFile *file, void *buffer, size_t bytes) {
    if (file == nullptr || fault::ShouldFail(fault::kRead)) return 0;
    if (const fault::ServedFile *served = file->served) {
        if (buffer == nullptr || file->servedPos >= served->size) return 0;
        const size_t n = std::min(bytes, static_cast<size_t>(served->size - file->servedPos));
        std::memcpy(buffer, served->data + file->servedPos, n);
        file->servedPos += n;
        return n;
    }
    return std::fread(buffer, 1, bytes, file->stream);
}

bool Seek(ReadFile *file, int64_t offset) {
    if (file == nullptr || offset < 0 || fault::ShouldFail(fault::kSeek)) return false;
    if (file->served != nullptr) {
        file->servedPos = static_cast<uint64_t>(offset);
        return true;
    }
    return _fseeki64(file->stream, offset, SEEK_SET) == 0;
}

int64_t Tell(ReadFile *file) {
    if (file == nullptr) return -1;
    if (file->served != nullptr) return static_cast<int64_t>(file->servedPos);
    return _ftelli64(file->stream);
}

// The C library's stream buffers the reads: the hint changes nothing.
void ReadAhead(ReadFile *, size_t) {}

bool FileSize(ReadFile *file, uint64_t *size) {
    if (file == nullptr || size == nullptr || fault::ShouldFail(fault::kSize)) return false;
    if (file->served != nullptr) {
        *size = file->served->size;
        return true;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file->stream)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER bytes{};
    if (!GetFileSizeEx(handle, &bytes) || bytes.QuadPart < 0) return false;
    *size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
}

void CloseRead(ReadFile *file) {
    if (file == nullptr) return;
    if (file->stream != nullptr) std::fclose(file->stream);
    delete file;
}

// ---- Profile files ----

int32_t ProfileInt(const char *section, const char *key, int32_t defaultValue,
                   const char *file) {
    if (section == nullptr || key == nullptr || file == nullptr) return defaultValue;
    // The service returns the value's 32 bits unsigned; a negative value
    // comes back as its two's complement.
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, defaultValue, file));
}

size_t ProfileString(const char *section, const char *key, const char *defaultValue,
                     char *out, size_t size, const char *file) {
    if (out == nullptr || size == 0) return 0;
    if (section == nullptr || key == nullptr || file == nullptr) {
        // Without a section or key the service would list names instead.
        const char *value = defaultValue ? defaultValue : "";
        const size_t n = std::min(std::strlen(value), size - 1);
        std::memcpy(out, value, n);
        out[n] = '\0';
        return n;
    }
    return GetPrivateProfileStringA(section, key, defaultValue ? defaultValue : "", out,
                                    BufferSize(size), file);
}

// ---- Time ----

static_assert(sizeof(SYSTEMTIME) == sizeof(AvSystemTime), "SYSTEMTIME layout");

void LocalTime(AvSystemTime *out) {
    if (out == nullptr) return;
    if (g_localTimeSource) {
        g_localTimeSource(out);
        return;
    }
    SYSTEMTIME st;
    GetLocalTime(&st);
    std::memcpy(out, &st, sizeof st);
}

uint32_t TickCount() {
    if (g_tickSource) return g_tickSource();
    return GetTickCount();
}

void SetTickSource(TickSource source) { g_tickSource = source; }
void SetLocalTimeSource(LocalTimeSource source) { g_localTimeSource = source; }

bool FileTimeToSystemTime(uint64_t fileTime, AvSystemTime *out) {
    if (out == nullptr) return false;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(fileTime);
    ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    SYSTEMTIME st;
    if (!::FileTimeToSystemTime(&ft, &st)) return false;
    std::memcpy(out, &st, sizeof st);
    return true;
}

bool SystemTimeToFileTime(const AvSystemTime *in, uint64_t *fileTime) {
    if (in == nullptr || fileTime == nullptr) return false;
    // Some implementations of the service accept 29 February of any year;
    // an impossible date must fail everywhere.
    const unsigned y = in->wYear;
    const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    if (in->wMonth == 2 && in->wDay == 29 && !leap) return false;
    SYSTEMTIME st;
    std::memcpy(&st, in, sizeof st);
    FILETIME ft;
    if (!::SystemTimeToFileTime(&st, &ft)) return false;
    *fileTime = FromFileTime(ft);
    return true;
}

// ---- Module and paths ----

bool OwnModulePath(char *out, size_t size) {
    // Without GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT the call takes a
    // reference on the module that is never given back: the library stays
    // loaded until the process ends, whatever the host frees.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&OwnModulePath), &module)) {
        return false;
    }
    return ModulePath(module, out, size);
}

bool ExecutablePath(char *out, size_t size) { return ModulePath(nullptr, out, size); }

bool FullPath(const char *path, char *out, size_t size) {
    if (path == nullptr || out == nullptr || size == 0) return false;
    const DWORD n = GetFullPathNameA(path, BufferSize(size), out, nullptr);
    return n != 0 && n < size;
}

// ---- Debugger output ----

void DebugOutput(const char *text) {
    if (text == nullptr) return;
    OutputDebugStringA(text);
    if (g_debugSink) g_debugSink(text);
}

// A debugger or a viewer of debug output may be listening at any time.
bool DebugOutputListened() { return true; }

void SetDebugSink(DebugSink sink) { g_debugSink = sink; }

// ---- Recursive lock ----

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(RecursiveLock),
              "lock storage too small for a critical section");

namespace {
CRITICAL_SECTION *Section(unsigned char *storage) {
    return reinterpret_cast<CRITICAL_SECTION *>(storage);
}
}  // namespace

RecursiveLock::RecursiveLock() { InitializeCriticalSection(Section(storage_)); }
RecursiveLock::~RecursiveLock() { DeleteCriticalSection(Section(storage_)); }
void RecursiveLock::Enter() { EnterCriticalSection(Section(storage_)); }
void RecursiveLock::Leave() { LeaveCriticalSection(Section(storage_)); }

}  // namespace plat
