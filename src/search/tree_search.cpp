#include "search/tree_search.h"

#include "platform/platform.h"
#include "search/dir_enum.h"
#include "search/path_join.h"

namespace {

constexpr char kSeparator[2] = {plat::kPathSep, '\0'};

using FolderSearch = int32_t (CFileSearchJNQ::*)(const char *, int32_t, SearchFileCallback);

void WalkFolders(CFileSearchJNQ &search, FolderSearch searchFolder, const char *folder,
                 int32_t user, SearchFileCallback callback) {
    (search.*searchFolder)(folder, user, callback);
    char sub[AVFILE_MAX_PATH];
    for (const char *name : {"video", "alarm"}) {
        if (JoinPath(sub, {folder, name, kSeparator}) && plat::PathExists(sub)) {
            WalkFolders(search, searchFolder, sub, user, callback);
        }
    }
}

}  // namespace

void SearchFileTree(CFileSearchJNQ &search, const char *folder, int32_t user,
                    SearchFileCallback callback) {
    WalkFolders(search, &CFileSearchJNQ::SearchFolderFiles, folder, user, callback);
}

void SearchEventTree(CFileSearchJNQ &search, const char *folder, int32_t user,
                     SearchFileCallback callback) {
    WalkFolders(search, &CFileSearchJNQ::SearchEventFolder, folder, user, callback);
}

int32_t CheckFolderTree(CFileSearchJNQ &search, const char *folder,
                        const PasswordEntry *passwords, int32_t passwordCount,
                        int32_t checkPassword, unsigned char *terminalInfo,
                        unsigned char *ioName) {
    char sub[AVFILE_MAX_PATH];
    // A sub-folder that does not exist (or whose path would not fit) holds
    // no record file.
    const auto checkSub = [&]() -> int32_t {
        if (!plat::PathExists(sub)) return 1;
        return CheckFolderTree(search, sub, passwords, passwordCount, checkPassword,
                               terminalInfo, ioName);
    };

    int32_t result = search.CheckFolder(folder, passwords, passwordCount, checkPassword,
                                        terminalInfo, ioName, 1);
    if (result == 0) return 0;
    for (const char *name : {"video", "alarm"}) {
        result = JoinPath(sub, {folder, name, kSeparator}) ? checkSub() : 1;
        if (result == 0) return 0;
    }

    if (!JoinPath(sub, {folder, "20*"})) return result;
    CDirEnum days(sub);
    if (!days.Started()) return result;
    do {
        const plat::DirEntry &entry = days.Entry();
        if (!entry.isDir) continue;
        if (!JoinPath(sub, {folder, entry.name, kSeparator})) continue;
        result = checkSub();
        if (result == 0) return 0;
    } while (days.Next());
    return result;
}
