// The exported functions: thin wrappers that check their handle or path and
// forward to the record file object or the search object. Nothing is thrown
// across this boundary; an exhausted heap is a failure like any other.
#include <cstring>
#include <exception>

#include "avfile/avfile.h"
#include "platform/platform.h"
#include "recfile/rec_file.h"
#include "search/day_search.h"
#include "search/rec_search.h"
#include "search/tree_search.h"

namespace {

CRecFile *FromHandle(AvFileHandle handle) { return static_cast<CRecFile *>(handle); }

// A password list the host gave without entries, or without a list, is an
// empty list: a null list with a positive count is never read.
void NormalisePasswords(const PasswordEntry *&passwords, int32_t &count) {
    if (passwords == nullptr || count <= 0) {
        passwords = nullptr;
        count = 0;
    }
}

// Runs an operation, turning any escaping exception into result 1.
template <typename F>
int32_t Guarded(F &&operation) {
    try {
        return operation();
    } catch (...) {
        return 1;
    }
}

}  // namespace

extern "C" {

AVFILE_API int32_t AVFILE_CALL AVFILE_Initialize(void) { return 0; }

AVFILE_API int32_t AVFILE_CALL AVFILE_UnInitialize(void) { return 0; }

AVFILE_API int32_t AVFILE_CALL AVFILE_CheckWaterMark(const unsigned char *data,
                                                     int32_t length) {
    if (data == nullptr || length < 4) return 1;
    const unsigned char *t = data + length - 4;
    const uint32_t w = static_cast<uint32_t>(t[0]) | static_cast<uint32_t>(t[1]) << 8 |
                       static_cast<uint32_t>(t[2]) << 16 | static_cast<uint32_t>(t[3]) << 24;
    const uint32_t d = w - static_cast<uint32_t>(length) + 4u;
    const char low[3] = {static_cast<char>(d & 0xff), static_cast<char>((d >> 8) & 0xff),
                         static_cast<char>((d >> 16) & 0xff)};
    return std::strncmp(low, "jnq", 3) == 0 ? 0 : 1;
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FECopyFile(const char *source,
                                                 const char *destination,
                                                 int32_t failIfExists) {
    if (source == nullptr || destination == nullptr) return 1;
    return plat::CopyFile(source, destination, (failIfExists & 0xff) != 0) ? 0 : 1;
}

AVFILE_API int32_t AVFILE_CALL AVFILE_SearchDay(const char *root, int32_t user,
                                                SearchDayCallback dayCallback) {
    if (root == nullptr || !plat::PathExists(root)) return 1;
    // Without a callback there is nothing to report and the host cannot
    // stop the walk: the result is the one a walk would give.
    if (dayCallback == nullptr) return 0;
    return Guarded([&] { return SearchDayFolders(root, user, dayCallback); });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_SearchFile(const char *folder, int32_t user,
                                                 SearchFileCallback fileCallback) {
    // Without a callback nothing would be reported: no file is opened.
    if (folder == nullptr || fileCallback == nullptr || !plat::PathExists(folder)) return 1;
    CFileSearchJNQ *search = GetRecSearch();
    if (search == nullptr) return 1;
    Guarded([&] {
        SearchFileTree(*search, folder, user, fileCallback);
        return int32_t{1};
    });
    return 1;
}

AVFILE_API int32_t AVFILE_CALL AVFILE_SearchEvent(const char *folder, int32_t user,
                                                  SearchFileCallback fileCallback) {
    if (folder == nullptr || !plat::PathExists(folder)) return 1;
    CFileSearchJNQ *search = GetRecSearch();
    if (search == nullptr) return 1;
    Guarded([&] {
        SearchEventTree(*search, folder, user, fileCallback);
        return int32_t{1};
    });
    return 1;
}

AVFILE_API int32_t AVFILE_CALL AVFILE_CheckFileName(const char *path) {
    CFileSearchJNQ *search = GetRecSearch();
    if (search == nullptr) return 1;
    return search->GetRecordName(path) != nullptr ? 0 : 1;
}

AVFILE_API int32_t AVFILE_CALL AVFILE_CheckFolder(const char *folder,
                                                  const PasswordEntry *passwords,
                                                  int32_t passwordCount,
                                                  int32_t checkPassword,
                                                  unsigned char *terminalInfo,
                                                  unsigned char *ioName) {
    if (folder == nullptr || !plat::PathExists(folder)) return 1;
    CFileSearchJNQ *search = GetRecSearch();
    if (search == nullptr) return 1;
    NormalisePasswords(passwords, passwordCount);
    return Guarded([&] {
        return CheckFolderTree(*search, folder, passwords, passwordCount, checkPassword,
                               terminalInfo, ioName);
    });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEOpenFile(const char *path, int32_t channel,
                                                 const PasswordEntry *passwords,
                                                 int32_t passwordCount,
                                                 int32_t checkPassword,
                                                 AvFileHandle *handle) {
    // Nowhere to hand the object to: nothing is opened.
    if (path == nullptr || handle == nullptr) return 1;
    CFileSearchJNQ *search = GetRecSearch();
    if (search == nullptr) return 1;
    NormalisePasswords(passwords, passwordCount);
    return Guarded([&] {
        int32_t result = 0;
        CRecFile *file = search->OpenFile(path, channel, passwords, passwordCount,
                                          checkPassword, &result);
        if (file == nullptr) return result;
        *handle = file;
        return int32_t{0};
    });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FECloseFile(AvFileHandle handle) {
    if (handle == nullptr) return 1;
    delete FromHandle(handle);
    return 0;
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetWaveFormat(AvFileHandle handle,
                                                      AvWaveFormatEx *format,
                                                      uint32_t *frameSize,
                                                      int32_t *codec,
                                                      int32_t *codecParam) {
    if (handle == nullptr) return 1;
    return FromHandle(handle)->GetWaveFormat(format, frameSize, codec, codecParam);
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetFileInfo(AvFileHandle handle,
                                                    RecFileInfo *info) {
    if (handle == nullptr || info == nullptr) return 1;
    return FromHandle(handle)->GetFileInfo(info);
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetTerminalInfo(AvFileHandle handle,
                                                        unsigned char *terminalInfo) {
    if (handle == nullptr) return 1;
    return FromHandle(handle)->GetTerminalInfo(terminalInfo);
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEGetIOName(AvFileHandle handle,
                                                  unsigned char *ioName) {
    if (handle == nullptr) return 1;
    return FromHandle(handle)->GetIOName(ioName);
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FESeekBegin(AvFileHandle handle) {
    if (handle == nullptr) return 1;
    return Guarded([&] { return FromHandle(handle)->SeekBegin(); });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEReadFrame(AvFileHandle handle,
                                                  AvFrameInfo *frame,
                                                  const AvFrameInfo *request) {
    if (handle == nullptr || frame == nullptr) return 1;
    return Guarded([&] { return FromHandle(handle)->ReadFrame(frame, request); });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FESeekIFrame(AvFileHandle handle,
                                                   uint32_t timeUsLow,
                                                   uint32_t timeUsHigh) {
    if (handle == nullptr) return 1;
    const int64_t timeUs =
        static_cast<int64_t>(static_cast<uint64_t>(timeUsHigh) << 32 | timeUsLow);
    return Guarded([&] { return FromHandle(handle)->SeekIFrame(timeUs, 0); });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEBackwardIFrame(AvFileHandle handle,
                                                       AvFrameInfo *frame,
                                                       const AvFrameInfo *request) {
    if (handle == nullptr || frame == nullptr) return 1;
    return Guarded([&] { return FromHandle(handle)->BackwardIFrame(frame, request); });
}

AVFILE_API int32_t AVFILE_CALL AVFILE_FEForwardIFrame(AvFileHandle handle,
                                                      AvFrameInfo *frame,
                                                      const AvFrameInfo *request) {
    if (handle == nullptr || frame == nullptr) return 1;
    return Guarded([&] { return FromHandle(handle)->ForwardIFrame(frame, request); });
}

}  // extern "C"
