#include "os/host_os.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "pending_output.h"

namespace hostos {

void *LoadSharedLibrary(const std::string &path, std::string *error) {
    // Bind everything now: a library missing an export must fail here, not
    // in the middle of an export.
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library && error) {
        const char *reason = dlerror();
        *error = reason ? reason : "cannot load " + path;
    }
    return library;
}

void UnloadSharedLibrary(void *library) { dlclose(library); }

void *FindExport(void *library, const char *name) { return dlsym(library, name); }

std::string LoadedLibraryPath(void *, void *anExport) {
    Dl_info info = {};
    if (!anExport || dladdr(anExport, &info) == 0 || !info.dli_fname) return {};
    return std::filesystem::path(info.dli_fname).lexically_normal().string();
}

std::string LibraryVersion(const std::string &path) {
    std::error_code ec;
    const std::string file = std::filesystem::canonical(path, ec).filename().string();
    if (ec) return {};
    const size_t so = file.rfind(".so.");
    return so == std::string::npos ? std::string() : file.substr(so + 4);
}

#ifndef AVFILE_LIBRARY_NAME
#define AVFILE_LIBRARY_NAME "libavfile_vsk.so"
#endif
const char *SharedLibraryFileName() { return AVFILE_LIBRARY_NAME; }

bool FileExists(const std::string &path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::vector<std::string> LibraryPathFolders() {
    std::vector<std::string> folders;
    const char *variable = std::getenv("LD_LIBRARY_PATH");
    std::string list = variable ? variable : "";
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find_first_of(":;", start);
        if (end == std::string::npos) end = list.size();
        if (end > start) folders.push_back(list.substr(start, end - start) + "/");
        start = end + 1;
    }
    return folders;
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string folder(path, static_cast<size_t>(n));
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace hostos

namespace hostos {

std::FILE *SeparateStandardOutput() {
    std::fflush(stdout);
    const int own = dup(STDOUT_FILENO);
    if (own < 0) return nullptr;
    std::FILE *out = fdopen(own, "w");
    const int null = open("/dev/null", O_WRONLY);
    if (!out || null < 0 || dup2(null, STDOUT_FILENO) < 0) {
        if (out) std::fclose(out);
        else close(own);
        if (null >= 0) close(null);
        return nullptr;
    }
    close(null);
    return out;
}

}  // namespace hostos

namespace {

void RemovePendingOutput(const char *path) { unlink(path); }

void OnInterrupt(int signal) {
    ForEachPendingOutput(RemovePendingOutput);
    // The default action once this handler returns: the parent sees the
    // program end by the signal.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

namespace hostos {

void RemovePendingOutputsOnInterrupt() {
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int s : signals) sigaddset(&action.sa_mask, s);
    for (int s : signals) {
        struct sigaction old = {};
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

}  // namespace hostos

namespace hostos {

std::string TemporaryFolder() {
    std::error_code ec;
    std::string folder = std::filesystem::temp_directory_path(ec).string();
    if (ec || folder.empty()) return {};
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::FILE *CreateExclusiveFile(const std::string &path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    std::FILE *file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        unlink(path.c_str());
    }
    return file;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

}  // namespace hostos
