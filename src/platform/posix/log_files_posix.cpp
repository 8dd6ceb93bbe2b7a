// POSIX side of the log file services, with the Windows behaviour the log
// relies on: appends always land at the end, a move never replaces an
// existing file, and last-write times are turned into local DOS times.
#include "platform/log_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "avfile/avfile.h"

namespace plat {

namespace {

// The path with every '\' turned into '/', in a fixed buffer; false when it
// does not fit.
bool Native(const char *path, char (&out)[AVFILE_MAX_PATH]) {
    if (path == nullptr) return false;
    const size_t length = std::strlen(path);
    if (length >= sizeof out) return false;
    for (size_t i = 0; i <= length; ++i) out[i] = path[i] == '\\' ? '/' : path[i];
    return true;
}

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;  // 1970 in 1601 units

}  // namespace

struct LogFile {
    int fd;
};

LogFile *OpenLogFile(const char *path) {
    char native[AVFILE_MAX_PATH];
    if (!Native(path, native)) return nullptr;
    const int fd = open(native, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    auto *file = new (std::nothrow) LogFile{fd};
    if (file == nullptr) close(fd);
    return file;
}

uint32_t LogFileSize(LogFile *file) {
    struct stat st {};
    if (file == nullptr || fstat(file->fd, &st) != 0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));
}

bool AppendToLogFile(LogFile *file, const void *data, uint32_t bytes) {
    if (file == nullptr) return false;
    if (lseek(file->fd, 0, SEEK_END) < 0) return false;
    const char *p = static_cast<const char *>(data);
    while (bytes > 0) {
        const ssize_t n = write(file->fd, p, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        bytes -= static_cast<uint32_t>(n);
    }
    return true;
}

void CloseLogFile(LogFile *file) {
    if (file == nullptr) return;
    close(file->fd);
    delete file;
}

bool RenameFile(const char *from, const char *to) {
    char source[AVFILE_MAX_PATH], destination[AVFILE_MAX_PATH];
    if (!Native(from, source) || !Native(to, destination)) return false;
    // A hard link never replaces an existing name; the old name is dropped
    // once the new one stands.
    if (link(source, destination) == 0) {
        unlink(source);
        return true;
    }
    if (errno == EEXIST) return false;
    // File systems without hard links: test for the destination first.
    if (access(destination, F_OK) == 0) return false;
    return std::rename(source, destination) == 0;
}

bool RemoveFile(const char *path) {
    char native[AVFILE_MAX_PATH];
    if (!Native(path, native)) return false;
    return unlink(native) == 0;
}

bool CreateFolderTree(const char *path) {
    char native[AVFILE_MAX_PATH];
    if (!Native(path, native) || native[0] == '\0') return false;
    struct stat st {};
    // Every level from the root down; the separator after a level is cut
    // for the call and put back afterwards.
    const size_t length = std::strlen(native);
    for (size_t i = 1; i <= length; ++i) {
        if (native[i] != '/' && native[i] != '\0') continue;
        const char kept = native[i];
        native[i] = '\0';
        if (stat(native, &st) != 0) {
            if (mkdir(native, 0755) != 0 && errno != EEXIST) return false;
        }
        native[i] = kept;
    }
    return stat(native, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const char *path) {
    char native[AVFILE_MAX_PATH];
    struct stat st {};
    if (!Native(path, native) || lstat(native, &st) != 0) return false;
    return S_ISREG(st.st_mode);
}

uint32_t MeasureFileSize(const char *path) {
    char native[AVFILE_MAX_PATH];
    if (!Native(path, native)) return 0;
    const int fd = open(native, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const off_t end = lseek(fd, 0, SEEK_END);
    close(fd);
    return end < 0 ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(end));
}

bool FileTimeToLocalDosDateTime(uint64_t fileTime, uint16_t *dosDate, uint16_t *dosTime) {
    if (dosDate == nullptr || dosTime == nullptr || fileTime < kUnixEpochAsFileTime) {
        return false;
    }
    const time_t seconds = static_cast<time_t>((fileTime - kUnixEpochAsFileTime) / 10000000u);
    struct tm tm {};
    if (localtime_r(&seconds, &tm) == nullptr) return false;
    const int year = tm.tm_year + 1900;
    if (year < 1980 || year > 2107) return false;
    *dosDate = static_cast<uint16_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    *dosTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return true;
}

}  // namespace plat
