// The folder check of one folder: its own record files and, depth first,
// its day folders named with dashes, until a record file opens.
#include <memory>

#include "recfile/rec_file.h"
#include "search/dir_enum.h"
#include "search/path_join.h"
#include "search/rec_search.h"

int32_t CRecSearch::CheckFolder(const char *folder, const PasswordEntry *passwords,
                                int32_t passwordCount, int32_t checkPassword,
                                unsigned char *terminalInfo, unsigned char *ioName,
                                int32_t) {
    char path[AVFILE_MAX_PATH];
    if (!JoinPath(path, {folder, "*.*"})) return 1;
    CDirEnum found(path);
    if (!found.Started()) return 1;
    int32_t result = 1;
    ChannelList channels;
    do {
        const plat::DirEntry &entry = found.Entry();
        if (entry.isDir) {
            int32_t day[3];
            if (!ParseDashedDayName(entry.name, day)) continue;
            const char separator[2] = {plat::kPathSep, '\0'};
            if (!JoinPath(path, {folder, entry.name, separator})) continue;
            result = CheckFolder(path, passwords, passwordCount, checkPassword,
                                 terminalInfo, ioName, 0);
            if (result == 0 || result == 2) return result;
            continue;
        }
        if (!JoinPath(path, {folder, entry.name})) continue;
        if (GetRecordName(path) == nullptr) continue;
        channels.clear();
        GetChannels(path, channels);
        const int32_t channel = channels.empty() ? 0 : channels[0];
        int32_t opened = 0;
        std::unique_ptr<CRecFile> file(
            OpenFile(path, channel, passwords, passwordCount, checkPassword, &opened));
        if (opened == 0 && file != nullptr) {
            file->GetTerminalInfo(terminalInfo);
            file->GetIOName(ioName);
            file->Close();
            return 0;
        }
        result = opened != 0 ? opened : 1;
    } while (found.Next());
    return result;
}
