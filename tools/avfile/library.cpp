#include "library.h"

#include <vector>

#include "os/host_os.h"

namespace {

template <typename Fn>
bool Bind(void *module, const char *name, Fn &fn, std::string *missing) {
    fn = reinterpret_cast<Fn>(hostos::FindExport(module, name));
    if (!fn && missing->empty()) *missing = name;
    return fn != nullptr;
}

bool BindAll(void *m, AvFileLibrary &l, std::string *missing) {
    Bind(m, "AVFILE_Initialize", l.Initialize, missing);
    Bind(m, "AVFILE_UnInitialize", l.UnInitialize, missing);
    Bind(m, "AVFILE_CheckWaterMark", l.CheckWaterMark, missing);
    Bind(m, "AVFILE_FECopyFile", l.CopyFile, missing);
    Bind(m, "AVFILE_SearchDay", l.SearchDay, missing);
    Bind(m, "AVFILE_SearchFile", l.SearchFile, missing);
    Bind(m, "AVFILE_SearchEvent", l.SearchEvent, missing);
    Bind(m, "AVFILE_CheckFileName", l.CheckFileName, missing);
    Bind(m, "AVFILE_CheckFolder", l.CheckFolder, missing);
    Bind(m, "AVFILE_FEOpenFile", l.OpenFile, missing);
    Bind(m, "AVFILE_FECloseFile", l.CloseFile, missing);
    Bind(m, "AVFILE_FEGetWaveFormat", l.GetWaveFormat, missing);
    Bind(m, "AVFILE_FEGetFileInfo", l.GetFileInfo, missing);
    Bind(m, "AVFILE_FEGetTerminalInfo", l.GetTerminalInfo, missing);
    Bind(m, "AVFILE_FEGetIOName", l.GetIOName, missing);
    Bind(m, "AVFILE_FESeekBegin", l.SeekBegin, missing);
    Bind(m, "AVFILE_FEReadFrame", l.ReadFrame, missing);
    Bind(m, "AVFILE_FESeekIFrame", l.SeekIFrame, missing);
    Bind(m, "AVFILE_FEBackwardIFrame", l.BackwardIFrame, missing);
    Bind(m, "AVFILE_FEForwardIFrame", l.ForwardIFrame, missing);
    return missing->empty();
}

}  // namespace

namespace {

// The first copy of the library in the folders the program looks in before
// the system's: its own, those of the library path variable, and the
// library folder relative to its own; empty when none holds one.
std::string FirstCopy(const std::string &name) {
    std::vector<std::string> folders;
    const std::string own = hostos::ProgramFolder();
    if (!own.empty()) folders.push_back(own);
    for (const std::string &folder : hostos::LibraryPathFolders()) folders.push_back(folder);
#ifdef AVFILE_LIBRARY_RELATIVE_DIR
    if (!own.empty()) folders.push_back(own + AVFILE_LIBRARY_RELATIVE_DIR + "/");
#endif
    for (const std::string &folder : folders) {
        if (hostos::FileExists(folder + name)) return folder + name;
    }
    return {};
}

}  // namespace

bool LoadAvFileLibrary(const std::string &explicitPath, AvFileLibrary &library, std::string *error) {
    const std::string name = hostos::SharedLibraryFileName();
    std::string path = explicitPath;
    if (path.empty()) path = FirstCopy(name);
    // None found: the system's own search by name.
    if (path.empty()) path = name;
    std::string reason;
    void *module = hostos::LoadSharedLibrary(path, &reason);
    if (!module) {
        *error = "cannot load the record file library " + path + ": " + reason;
        return false;
    }
    std::string missing;
    if (!BindAll(module, library, &missing)) {
        *error = path + " lacks the export " + missing;
        hostos::UnloadSharedLibrary(module);
        return false;
    }
    library.path = hostos::LoadedLibraryPath(module, reinterpret_cast<void *>(library.Initialize));
    if (library.path.empty()) library.path = path;
    library.version = hostos::LibraryVersion(library.path);
    return true;
}
