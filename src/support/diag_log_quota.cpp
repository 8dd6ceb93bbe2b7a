#include "support/diag_log_quota.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/log_files.h"
#include "platform/platform.h"
#include "support/routines.h"

namespace {

constexpr uint32_t kListingBudgetMs = 1000;
constexpr uint32_t kDeletingBudgetMs = 3000;

struct LogEntry {
    std::string path;
    uint16_t dosDate;
    uint16_t dosTime;
    uint32_t size;
};

// Folder followed by name, or false when the path would not fit.
bool JoinPath(const char *folder, const char *name, char (&out)[AVFILE_MAX_PATH]) {
    const int n = std::snprintf(out, sizeof out, "%s%s", folder, name);
    return n > 0 && static_cast<size_t>(n) < sizeof out;
}

// Lists the module's log files with their local DOS times and sizes into
// `entries` and their total into `total`. Returns true when the listing ran
// out of time, so that later files were counted with size 0.
bool ListLogFiles(const char *folder, const char *moduleName, std::vector<LogEntry> &entries,
                  uint64_t &total) {
    char pattern[AVFILE_MAX_PATH];
    if (!JoinPath(folder, "*.*", pattern)) return false;
    const uint32_t start = plat::TickCount();
    bool overrun = false;
    plat::DirEntry found{};
    // The quota goes by the files' last-write times.
    plat::DirSearch *search = plat::FindFirst(pattern, &found, plat::Listing::kWithSizeAndTime);
    if (search == nullptr) return false;
    do {
        char path[AVFILE_MAX_PATH];
        if (!found.isDir && IsLogFileName(found.name, moduleName) &&
            JoinPath(folder, found.name, path) && plat::IsRegularFile(path)) {
            LogEntry entry{path, 0, 0, 0};
            // A time a DOS date cannot hold sorts as the oldest.
            plat::FileTimeToLocalDosDateTime(found.lastWrite, &entry.dosDate, &entry.dosTime);
            if (!overrun) entry.size = plat::MeasureFileSize(path);
            total += entry.size;
            entries.push_back(std::move(entry));
        }
        if (!overrun && HasElapsed(start, kListingBudgetMs)) overrun = true;
    } while (plat::FindNext(search, &found));
    plat::FindClose(search);
    return overrun;
}

// True when `text` is exactly what AVFILE_LOG_TIMES_FORMAT makes of twelve
// values of 0 to 65535 (the fields of two times): the numbers are read, then
// formatted again and compared, so that padding and separators must match.
bool AreLogTimes(const char *text) {
    static const char *const kAfter[12] = {"-", "-", " ", "-", "-", "----",
                                           "-", "-", " ", "-", "-", ".log"};
    int v[12];
    const char *p = text;
    for (int i = 0; i < 12; ++i) {
        while (*p == ' ') ++p;
        int digits = 0, value = 0;
        for (; *p >= '0' && *p <= '9' && digits < 6; ++p, ++digits) {
            value = value * 10 + (*p - '0');
        }
        if (digits == 0 || value > 65535) return false;
        v[i] = value;
        const size_t length = std::strlen(kAfter[i]);
        if (std::strncmp(p, kAfter[i], length) != 0) return false;
        p += length;
    }
    if (*p != '\0') return false;
    char again[96];
    const int n = std::snprintf(again, sizeof again, AVFILE_LOG_TIMES_FORMAT, v[0], v[1], v[2],
                                v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]);
    return n > 0 && static_cast<size_t>(n) < sizeof again && std::strcmp(again, text) == 0;
}

}  // namespace

bool IsLogFileName(const char *name, const char *moduleName) {
    if (name == nullptr || moduleName == nullptr) return false;
    const size_t moduleLength = std::strlen(moduleName);
    // The program name may hold the module's marker too: try each place.
    for (const char *p = std::strstr(name, "----"); p != nullptr; p = std::strstr(p + 1, "----")) {
        const char *module = p + 4;
        if (std::strncmp(module, moduleName, moduleLength) == 0 &&
            std::strncmp(module + moduleLength, "----", 4) == 0 &&
            AreLogTimes(module + moduleLength + 4)) {
            return true;
        }
    }
    return false;
}

void EnforceLogQuota(const char *folder, const char *moduleName, int32_t quotaMiB) {
    if (folder == nullptr || folder[0] == '\0' || moduleName == nullptr || quotaMiB <= 0) return;
    const uint64_t limit = static_cast<uint64_t>(quotaMiB) * 1048576u;
    try {
        std::vector<LogEntry> entries;
        uint64_t total = 0;
        const bool overrun = ListLogFiles(folder, moduleName, entries, total);
        if (total < limit && !overrun) return;
        // Oldest first; DOS times have a resolution of 2 s, so equal times
        // fall back to the name for a stable order.
        std::sort(entries.begin(), entries.end(), [](const LogEntry &a, const LogEntry &b) {
            if (a.dosDate != b.dosDate) return a.dosDate < b.dosDate;
            if (a.dosTime != b.dosTime) return a.dosTime < b.dosTime;
            return a.path < b.path;
        });
        const uint32_t start = plat::TickCount();
        for (const LogEntry &entry : entries) {
            if (plat::RemoveFile(entry.path.c_str())) {
                total -= std::min<uint64_t>(entry.size, total);
                if (!overrun && total < limit) break;
            }
            if (HasElapsed(start, kDeletingBudgetMs)) break;
        }
    } catch (const std::bad_alloc &) {
        // No memory for the listing: the folder stays as it is this time.
    }
}
