// Win32 side of the log file services.
#include "platform/log_files.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <new>

#include "avfile/avfile.h"

namespace plat {

struct LogFile {
    HANDLE handle;
};

LogFile *OpenLogFile(const char *path) {
    if (path == nullptr) return nullptr;
    const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    auto *file = new (std::nothrow) LogFile{handle};
    if (file == nullptr) CloseHandle(handle);
    return file;
}

uint32_t LogFileSize(LogFile *file) {
    if (file == nullptr) return 0;
    const DWORD size = GetFileSize(file->handle, nullptr);
    return size == INVALID_FILE_SIZE ? 0 : static_cast<uint32_t>(size);
}

bool AppendToLogFile(LogFile *file, const void *data, uint32_t bytes) {
    if (file == nullptr) return false;
    SetFilePointer(file->handle, 0, nullptr, FILE_END);
    DWORD written = 0;
    return WriteFile(file->handle, data, bytes, &written, nullptr) && written == bytes;
}

void CloseLogFile(LogFile *file) {
    if (file == nullptr) return;
    CloseHandle(file->handle);
    delete file;
}

bool RenameFile(const char *from, const char *to) {
    return from != nullptr && to != nullptr && MoveFileA(from, to) != 0;
}

bool RemoveFile(const char *path) { return path != nullptr && DeleteFileA(path) != 0; }

bool CreateFolderTree(const char *path) {
    if (path == nullptr || path[0] == '\0') return false;
    wchar_t wide[AVFILE_MAX_PATH];
    const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, AVFILE_MAX_PATH);
    if (n <= 0) return false;
    // Every level from the drive or share down; the separator after a level
    // is cut for the call and put back afterwards.
    const size_t length = static_cast<size_t>(n - 1);
    for (size_t i = 1; i <= length; ++i) {
        if (wide[i] != L'\\' && wide[i] != L'/' && wide[i] != L'\0') continue;
        if (wide[i - 1] == L':' || wide[i - 1] == L'\\' || wide[i - 1] == L'/') continue;
        const wchar_t kept = wide[i];
        wide[i] = L'\0';
        if (!PathFileExistsW(wide)) CreateDirectoryW(wide, nullptr);
        wide[i] = kept;
    }
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsRegularFile(const char *path) {
    if (path == nullptr) return false;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                          FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

uint32_t MeasureFileSize(const char *path) {
    if (path == nullptr) return 0;
    const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    const DWORD end = SetFilePointer(handle, 0, nullptr, FILE_END);
    CloseHandle(handle);
    return end == INVALID_SET_FILE_POINTER ? 0 : static_cast<uint32_t>(end);
}

bool FileTimeToLocalDosDateTime(uint64_t fileTime, uint16_t *dosDate, uint16_t *dosTime) {
    if (dosDate == nullptr || dosTime == nullptr) return false;
    FILETIME utc, local;
    utc.dwLowDateTime = static_cast<DWORD>(fileTime);
    utc.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    if (!FileTimeToLocalFileTime(&utc, &local)) return false;
    WORD date = 0, time = 0;
    if (!FileTimeToDosDateTime(&local, &date, &time)) return false;
    *dosDate = date;
    *dosTime = time;
    return true;
}

}  // namespace plat
