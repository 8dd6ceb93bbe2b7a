#include "support/module_paths.h"

#include <cstring>

#include "platform/platform.h"

namespace {

char g_appPath[AVFILE_MAX_PATH];
char g_exeBaseName[AVFILE_MAX_PATH];
bool g_exeBaseNameDone = false;
char g_ownName[AVFILE_MAX_PATH];
bool g_ownNameDone = false;

void CopyBounded(char *out, size_t size, const char *text, size_t length) {
    if (length >= size) length = size - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

// Length of the folder part of a path, separator included.
size_t FolderLength(const char *path) {
    size_t cut = 0;
    for (size_t i = 0; path[i]; ++i) {
        if (plat::IsPathSep(path[i])) cut = i + 1;
    }
    return cut;
}

// The part after the last separator and before the last full stop; the whole
// name when it holds no full stop.
void BaseName(const char *path, char *out, size_t size) {
    const char *name = path + FolderLength(path);
    const char *dot = std::strrchr(name, '.');
    CopyBounded(out, size, name, dot ? static_cast<size_t>(dot - name) : std::strlen(name));
}

}  // namespace

const char *GetAppPath() {
    if (g_appPath[0]) return g_appPath;
    char module[AVFILE_MAX_PATH] = {};
    char folder[AVFILE_MAX_PATH] = {};
    if (plat::OwnModulePath(module, sizeof module)) {
        CopyBounded(folder, sizeof folder, module, FolderLength(module));
        char ini[AVFILE_MAX_PATH] = {};
        const size_t folderLen = std::strlen(folder);
        static const char kIni[] = "AppPath.INI";
        if (folderLen + sizeof kIni <= sizeof ini) {
            std::memcpy(ini, folder, folderLen);
            std::memcpy(ini + folderLen, kIni, sizeof kIni);
            if (plat::ProfileInt("APPPATH", "SRC_TYPE", 0, ini) != 0) {
                char append[AVFILE_MAX_PATH] = {};
                plat::ProfileString("APPPATH", "APPEND", "", append, sizeof append, ini);
                if (append[0] == '\0') {
                    CopyBounded(g_appPath, sizeof g_appPath, folder, folderLen);
                    return g_appPath;
                }
                char joined[2 * AVFILE_MAX_PATH] = {};
                std::memcpy(joined, folder, folderLen);
                std::memcpy(joined + folderLen, append, std::strlen(append) + 1);
                char full[AVFILE_MAX_PATH] = {};
                if (std::strlen(joined) < AVFILE_MAX_PATH &&
                    plat::FullPath(joined, full, sizeof full)) {
                    CopyBounded(g_appPath, sizeof g_appPath, full, std::strlen(full));
                    return g_appPath;
                }
            }
        }
    }
    char exe[AVFILE_MAX_PATH] = {};
    if (plat::ExecutablePath(exe, sizeof exe)) {
        CopyBounded(g_appPath, sizeof g_appPath, exe, FolderLength(exe));
    }
    return g_appPath;
}

const char *GetExeBaseName() {
    if (!g_exeBaseNameDone) {
        char exe[AVFILE_MAX_PATH] = {};
        if (plat::ExecutablePath(exe, sizeof exe)) {
            BaseName(exe, g_exeBaseName, sizeof g_exeBaseName);
        }
        g_exeBaseNameDone = true;
    }
    return g_exeBaseName;
}

const char *GetOwnModuleName() {
    if (!g_ownNameDone) {
        char module[AVFILE_MAX_PATH] = {};
        if (plat::OwnModulePath(module, sizeof module)) {
            const char *name = module + FolderLength(module);
            const char *dot = std::strrchr(name, '.');
            // Without a full stop the name without extension is empty.
            CopyBounded(g_ownName, sizeof g_ownName, name,
                        dot ? static_cast<size_t>(dot - name) : 0);
        }
        g_ownNameDone = true;
    }
    return g_ownName;
}

void ResetModulePathCachesForTest() {
    g_appPath[0] = '\0';
    g_exeBaseName[0] = '\0';
    g_exeBaseNameDone = false;
    g_ownName[0] = '\0';
    g_ownNameDone = false;
}
