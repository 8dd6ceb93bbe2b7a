#include "os/host_os.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <filesystem>

#include "pending_output.h"

namespace {

std::string LastErrorText() {
    const DWORD code = GetLastError();
    char text[512] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                   sizeof text, nullptr);
    std::string reason(text, n);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

// The tool's text ends its lines in '\n' on every system, on its standard
// streams as in its files: set before main runs.
const bool g_binaryStreams = [] {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

}  // namespace

namespace hostos {

void *LoadSharedLibrary(const std::string &path, std::string *error) {
    // No message box for a DLL that fails to load: the reason goes to the caller.
    const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Loaded by name, the DLL is searched for in the program's folder, the
    // system's folders and PATH, never in the working folder.
    SetDllDirectoryA("");
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library && error) *error = LastErrorText();
    SetErrorMode(mode);
    return reinterpret_cast<void *>(library);
}

void UnloadSharedLibrary(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }

void *FindExport(void *library, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string LoadedLibraryPath(void *library, void *) {
    char path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(library), path, sizeof path);
    return n == 0 || n >= sizeof path ? std::string() : std::string(path, n);
}

std::string LibraryVersion(const std::string &path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::string data(size, '\0');
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&info), &length) || !info ||
        length < sizeof *info) {
        return {};
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS));
}

#ifndef AVFILE_LIBRARY_NAME
#define AVFILE_LIBRARY_NAME "libavfile_vsk.dll"
#endif
const char *SharedLibraryFileName() { return AVFILE_LIBRARY_NAME; }

bool FileExists(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> LibraryPathFolders() { return {}; }

std::string ProgramFolder() {
    char path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return {};
    std::string folder(path, n);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool StandardErrorIsTerminal() {
    // A console, not merely a character device (the null device is one).
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::FILE *SeparateStandardOutput() {
    std::fflush(stdout);
    const int own = _dup(_fileno(stdout));
    if (own < 0) return nullptr;
    std::FILE *out = _fdopen(own, "wb");
    const int null = _open("NUL", _O_WRONLY | _O_BINARY);
    if (!out || null < 0 || _dup2(null, _fileno(stdout)) < 0) {
        if (out) std::fclose(out);
        else _close(own);
        if (null >= 0) _close(null);
        return nullptr;
    }
    _close(null);
    return out;
}

}  // namespace hostos

namespace {

HANDLE g_mainThread = nullptr;

// A pending output is still open in the main thread, which Windows does not
// let anyone delete: the handle open on that path is closed first.
void RemovePendingOutput(const char *path) {
    if (DeleteFileA(path)) return;
    char full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return;
    for (int fd = 3; fd < 2048; ++fd) {
        const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
        if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) continue;
        char open[MAX_PATH * 2];
        const DWORD m = GetFinalPathNameByHandleA(h, open, sizeof open, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (m == 0 || m >= sizeof open) continue;
        const char *name = std::strncmp(open, "\\\\?\\", 4) == 0 ? open + 4 : open;
        if (_stricmp(name, full) == 0) CloseHandle(h);
    }
    DeleteFileA(path);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    // The exit codes a POSIX shell gives the signals of the same meaning:
    // interrupt 130, hang-up (the console closed) 129, termination 143.
    UINT code = 130;
    if (event == CTRL_CLOSE_EVENT) code = 129;
    else if (event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) code = 143;
    // The main thread stops where it is: nothing more is written.
    if (g_mainThread) SuspendThread(g_mainThread);
    ForEachPendingOutput(RemovePendingOutput);
    TerminateProcess(GetCurrentProcess(), code);
    return TRUE;
}

}  // namespace

namespace hostos {

void RemovePendingOutputsOnInterrupt() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_mainThread,
                    THREAD_SUSPEND_RESUME, FALSE, 0);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string TemporaryFolder() {
    char path[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof path, path);
    if (n == 0 || n >= sizeof path) return {};
    std::string folder(path, n);
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::FILE *CreateExclusiveFile(const std::string &path) {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileA(path.c_str());
        return nullptr;
    }
    std::FILE *file = _fdopen(fd, "wb");
    if (!file) {
        _close(fd);
        DeleteFileA(path.c_str());
    }
    return file;
}

unsigned long ProcessId() { return static_cast<unsigned long>(GetCurrentProcessId()); }

}  // namespace hostos
