// The day search: the folders of the recording root whose names are dates.
#include "search/day_search.h"

#include <cstring>

#include "search/dir_enum.h"
#include "search/path_join.h"
#include "search/rec_search.h"

int32_t SearchDayFolders(const char *root, int32_t user, SearchDayCallback callback) {
    char pattern[AVFILE_MAX_PATH];
    if (!JoinPath(pattern, {root, "20*"})) return 0;
    CDirEnum days(pattern);
    if (!days.Started()) return 0;
    do {
        const plat::DirEntry &entry = days.Entry();
        if (!entry.isDir) continue;
        RecDayInfo info{};
        int32_t day[3];
        if (!ParseDayName(entry.name, day)) continue;
        info.year = day[0];
        info.month = day[1];
        info.day = day[2];
        // The day path ends with the separator the root is written with:
        // '\' when the text has any, '/' otherwise.
        const bool backslash =
            std::strchr(root, '\\') != nullptr || std::strchr(entry.name, '\\') != nullptr;
        if (!JoinPath(info.path, {root, entry.name, backslash ? "\\" : "/"})) continue;
        if (callback == nullptr) continue;
        callback(&info, user);
        if (std::memcmp(info.path, "stop", 4) == 0) return 1;
    } while (days.Next());
    return 0;
}
