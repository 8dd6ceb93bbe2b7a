// The record file library as the avfile tool sees it: loaded at run time
// the way a playback client loads it, its 20 exports looked up by name. The
// tool reaches the recordings through nothing else.
#pragma once

#include <string>

#include "avfile/avfile.h"

struct AvFileLibrary {
    decltype(&AVFILE_Initialize) Initialize = nullptr;
    decltype(&AVFILE_UnInitialize) UnInitialize = nullptr;
    decltype(&AVFILE_CheckWaterMark) CheckWaterMark = nullptr;
    decltype(&AVFILE_FECopyFile) CopyFile = nullptr;
    decltype(&AVFILE_SearchDay) SearchDay = nullptr;
    decltype(&AVFILE_SearchFile) SearchFile = nullptr;
    decltype(&AVFILE_SearchEvent) SearchEvent = nullptr;
    decltype(&AVFILE_CheckFileName) CheckFileName = nullptr;
    decltype(&AVFILE_CheckFolder) CheckFolder = nullptr;
    decltype(&AVFILE_FEOpenFile) OpenFile = nullptr;
    decltype(&AVFILE_FECloseFile) CloseFile = nullptr;
    decltype(&AVFILE_FEGetWaveFormat) GetWaveFormat = nullptr;
    decltype(&AVFILE_FEGetFileInfo) GetFileInfo = nullptr;
    decltype(&AVFILE_FEGetTerminalInfo) GetTerminalInfo = nullptr;
    decltype(&AVFILE_FEGetIOName) GetIOName = nullptr;
    decltype(&AVFILE_FESeekBegin) SeekBegin = nullptr;
    decltype(&AVFILE_FEReadFrame) ReadFrame = nullptr;
    decltype(&AVFILE_FESeekIFrame) SeekIFrame = nullptr;
    decltype(&AVFILE_FEBackwardIFrame) BackwardIFrame = nullptr;
    decltype(&AVFILE_FEForwardIFrame) ForwardIFrame = nullptr;

    std::string path;     // the file loaded, as the system found it
    std::string version;  // its version, or empty when it carries none
};

// Loads the library and looks up every export. `explicitPath` (from
// --library) is tried alone when given. Otherwise the first copy found in
// the program's own folder, then (Linux) the folders of LD_LIBRARY_PATH,
// then ../lib relative to the program's folder; failing those the system
// loads it by name from its own folders (Windows: its DLL search path). The
// working folder is never searched. False with the reason in *error when
// the library cannot be loaded or lacks an export.
bool LoadAvFileLibrary(const std::string &explicitPath, AvFileLibrary &library, std::string *error);

// avfile --version: the program's version, and the version and path of the
// library it loads (`explicitPath` as for LoadAvFileLibrary). Returns the
// exit code.
int PrintVersion(const std::string &explicitPath);
