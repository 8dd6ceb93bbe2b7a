// The file search of one folder: list its record files, then report them
// grouped into recordings.
#include <cstring>

#include "search/dir_enum.h"
#include "search/path_join.h"
#include "search/rec_search.h"
#include "support/routines.h"

void CRecSearch::CollectFiles(const char *folder, const char *pattern, RecFileList &entries) {
    CDirEnum files(pattern);
    if (!files.Started()) return;
    entries.reserve(entries.size() + 1 + files.Ahead());
    int32_t accepted = 0;
    ChannelList channels;
    // The folder part of the path is written once; each name after it, the
    // bytes a longer name left behind cleared, so that every entry is as
    // a fresh one would be.
    RecFileEntry entry{};
    const size_t folderLength = std::strlen(folder);
    if (folderLength >= AVFILE_MAX_PATH) return;  // no path would fit
    std::memcpy(entry.path, folder, folderLength);
    size_t pathLength = folderLength;
    do {
        const plat::DirEntry &found = files.Entry();
        if (found.isDir) continue;
        const size_t nameLength = strnlen(found.name, AVFILE_MAX_PATH);
        if (folderLength + nameLength >= AVFILE_MAX_PATH) continue;
        const size_t length = folderLength + nameLength;
        std::memcpy(entry.path + folderLength, found.name, nameLength);
        if (pathLength > length) std::memset(entry.path + length, 0, pathLength - length);
        entry.path[length] = '\0';
        pathLength = length;
        entry.startTime = AvSystemTime{};  // a name without a time leaves it so
        entry.channel = 0;
        // One entry per channel the name gives; a name without a channel
        // gives none.
        channels.clear();
        if (!ReadListedName(entry, channels)) continue;  // no record file
        entry.named = 1;
        OnRecordFound(entry);
        for (int32_t channel : channels) {
            entry.channel = channel;
            entries.push_back(entry);
        }
        ++accepted;
        DebugTrace("%d", accepted);
    } while (files.Next());
}

int32_t CFileSearchJNQ::SearchFolderFiles(const char *folder, int32_t user,
                                          SearchFileCallback callback) {
    char pattern[AVFILE_MAX_PATH];
    if (!JoinPath(pattern, {folder, "*_*-*.avi"})) return 0;
    RecFileList entries;
    CollectFiles(folder, pattern, entries);
    if (!entries.empty()) ReportGroups(entries, user, callback);
    return 0;
}

int32_t CFileSearchJNQ::SearchEventFolder(const char *, int32_t, SearchFileCallback) {
    return 0;
}
