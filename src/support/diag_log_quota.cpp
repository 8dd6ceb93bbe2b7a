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

// Lists the log files with their local DOS times and sizes into `entries`
// and their total into `total`. Returns true when the listing ran out of
// time, so that later files were counted with size 0.
bool ListLogFiles(const char *folder, std::vector<LogEntry> &entries, uint64_t &total) {
    char pattern[AVFILE_MAX_PATH];
    if (!JoinPath(folder, "*.*", pattern)) return false;
    const uint32_t start = plat::TickCount();
    bool overrun = false;
    plat::DirEntry found{};
    plat::DirSearch *search = plat::FindFirst(pattern, &found);
    if (search == nullptr) return false;
    do {
        char path[AVFILE_MAX_PATH];
        if (!found.isDir && IsLogFileName(found.name) && JoinPath(folder, found.name, path) &&
            plat::IsRegularFile(path)) {
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

}  // namespace

bool IsLogFileName(const char *name) {
    static const char kSuffix[] = ".log";
    const size_t length = name ? std::strlen(name) : 0;
    const size_t suffix = sizeof kSuffix - 1;
    if (length < suffix) return false;
    for (size_t i = 0; i < suffix; ++i) {
        char c = name[length - suffix + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kSuffix[i]) return false;
    }
    return true;
}

void EnforceLogQuota(const char *folder, int32_t quotaMiB) {
    if (folder == nullptr || folder[0] == '\0' || quotaMiB <= 0) return;
    const uint64_t limit = static_cast<uint64_t>(quotaMiB) * 1048576u;
    try {
        std::vector<LogEntry> entries;
        uint64_t total = 0;
        const bool overrun = ListLogFiles(folder, entries, total);
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
