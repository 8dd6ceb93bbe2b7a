#include "recording_tree.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "os/host_os.h"
#include "clock.h"

namespace {

// The searches hand a 32-bit user value back to their callbacks, too small
// for a pointer on 64-bit hosts: the list being filled is held here for the
// duration of one search on this thread.
thread_local std::vector<DayFolder> *t_days = nullptr;
thread_local std::vector<Recording> *t_recordings = nullptr;

int AVFILE_CALL OnDay(RecDayInfo *day, int32_t) {
    if (!day || !t_days) return 0;
    DayFolder d;
    d.year = day->year;
    d.month = day->month;
    d.day = day->day;
    d.path.assign(day->path, strnlen(day->path, sizeof day->path));
    t_days->push_back(std::move(d));
    return 0;
}

int AVFILE_CALL OnRecording(RecGroupInfo *group, int32_t) {
    if (!group || !t_recordings) return 0;
    Recording r;
    const int count = std::clamp(group->count, 0, 16);
    for (int i = 0; i < count; ++i) {
        // A single-file group may carry a flag byte at the end of its path
        // slot; the path itself ends at its terminator well before.
        const char *slot = group->paths[i];
        r.files.push_back({std::string(slot, strnlen(slot, 255)), group->channels[i]});
    }
    r.start = group->startTime;
    r.startUs = SystemTimeToUs(group->startTime);
    r.durationMs = group->durationMs;
    r.alarm = group->alarm != 0;
    t_recordings->push_back(std::move(r));
    return 0;
}

}  // namespace

std::string AsFolder(std::string path) {
    // The library takes a folder ending in the system's separator.
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += hostos::kFolderSeparator;
    else if (path.back() == '/') path.back() = hostos::kFolderSeparator;
    return path;
}

CliError RequireFolder(const std::string &path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return Fail(kExitMissingPath, path + ": no such folder");
    if (!std::filesystem::is_directory(path, ec)) return Fail(kExitUsage, path + ": not a folder");
    return {};
}

CliError ListDays(const AvFileLibrary &lib, const std::string &root, std::vector<DayFolder> &days) {
    if (CliError e = RequireFolder(root)) return e;
    const std::string folder = AsFolder(root);
    if (folder.size() >= AVFILE_MAX_PATH) return Fail(kExitUsage, root + ": path too long");
    days.clear();
    t_days = &days;
    lib.SearchDay(folder.c_str(), 0, &OnDay);
    t_days = nullptr;
    std::stable_sort(days.begin(), days.end(), [](const DayFolder &a, const DayFolder &b) {
        return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
    });
    return {};
}

CliError ListRecordings(const AvFileLibrary &lib, const std::string &dayFolder,
                        std::vector<Recording> &recordings, bool probeEncryption) {
    if (CliError e = RequireFolder(dayFolder)) return e;
    const std::string folder = AsFolder(dayFolder);
    if (folder.size() >= AVFILE_MAX_PATH) return Fail(kExitUsage, dayFolder + ": path too long");
    recordings.clear();
    t_recordings = &recordings;
    lib.SearchFile(folder.c_str(), 0, &OnRecording);
    t_recordings = nullptr;
    std::stable_sort(recordings.begin(), recordings.end(),
                     [](const Recording &a, const Recording &b) { return a.startUs < b.startUs; });
    if (probeEncryption) {
        for (Recording &r : recordings) {
            if (r.files.empty()) continue;
            AvFileHandle handle = nullptr;
            // With the password check on and no password, only an
            // encrypted file refuses to open, with result 2.
            if (lib.OpenFile(r.files[0].path.c_str(), 0, nullptr, 0, 1, &handle) == 2) r.encrypted = true;
            if (handle) lib.CloseFile(handle);
        }
    }
    return {};
}
