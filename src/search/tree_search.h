// The walks over a recording tree behind the search and check exports: a
// folder, then depth first its video and alarm sub-folders (and, for the
// folder check, its day folders).
#pragma once

#include <cstdint>

#include "search/rec_search.h"

// File search of an existing folder and of its video and alarm sub-folders,
// depth first; a "stop" from the host ends only the folder being reported.
void SearchFileTree(CFileSearchJNQ &search, const char *folder, int32_t user,
                    SearchFileCallback callback);
// The same walk with the event search of each folder.
void SearchEventTree(CFileSearchJNQ &search, const char *folder, int32_t user,
                     SearchFileCallback callback);

// Folder check of an existing folder: the folder itself, its video and alarm
// sub-folders, then each of its folders whose name begins with "20", until a
// record file opens (0). Otherwise the result of the last check made: 1, or
// 2 for an encrypted file that no password opened.
int32_t CheckFolderTree(CFileSearchJNQ &search, const char *folder,
                        const PasswordEntry *passwords, int32_t passwordCount,
                        int32_t checkPassword, unsigned char *terminalInfo,
                        unsigned char *ioName);
