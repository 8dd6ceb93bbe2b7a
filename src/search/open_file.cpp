// Opening a record file through the search object: any path ending in ".avi"
// becomes a record file object, which is kept only when its open succeeds.
#include <cstring>
#include <new>

#include "recfile/file_avi_vsk.h"
#include "search/rec_search.h"

namespace {

bool EndsInAvi(const char *path) {
    const size_t length = std::strlen(path);
    if (length < 4) return false;
    const char *tail = path + length - 4;
    const char lower[] = ".avi";
    for (int i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

}  // namespace

CRecFile *CFileSearchJNQ::OpenFile(const char *path, int32_t channel,
                                   const PasswordEntry *passwords, int32_t passwordCount,
                                   int32_t checkPassword, int32_t *result) {
    int32_t ignored = 0;
    int32_t &outcome = result ? *result : ignored;
    if (path == nullptr || !EndsInAvi(path)) {
        outcome = 1;
        return nullptr;
    }
    CFileAviVsk *file = new (std::nothrow) CFileAviVsk();
    if (file == nullptr || !file->Ready()) {
        delete file;
        outcome = 1;
        return nullptr;
    }
    outcome = file->Open(path, channel, passwords, passwordCount, checkPassword);
    if (outcome == 0) return file;
    delete file;
    return nullptr;
}
