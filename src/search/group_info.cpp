// The recording a group of record files describes, read from the files
// themselves: start, length, alarm flag, io names and composite byte.
#include <cstring>
#include <memory>

#include "recfile/rec_file.h"
#include "search/rec_search.h"

int32_t CRecSearch::FillGroupInfo(RecGroupInfo *group) {
    if (group == nullptr || group->count < 1 || group->count > 16) return 0;

    // The representative file is the first one with a recorded length, or
    // the last one; the files after it are not opened.
    std::unique_ptr<CRecFile> file;
    RecFileInfo info{};
    int32_t k = 0;
    for (;; ++k) {
        int32_t result = 0;
        file.reset(OpenFile(group->paths[k], group->channels[0], nullptr, 0, 0, &result));
        if (result != 0 || file == nullptr) return 0;
        file->GetFileInfo(&info);
        if (group->count == 1 || k == group->count - 1 || info.durationMs != 0) break;
        file->Close();
        file.reset();
    }
    file->GetIOName(group->ioName);
    const int32_t composite = file->GetComposite();
    file->Close();
    file.reset();

    if (info.startTime.wYear != 0) {
        group->startTime = info.startTime;
    } else {
        GetStartTime(group->paths[k], &group->startTime);
    }
    group->durationMs = info.durationMs;
    group->alarm = info.alarm != 0 ? info.alarm : (IsAlarmRecord(group->paths[k]) ? 1 : 0);

    // A single-file group carries its file's composite byte in byte 255 of
    // its path slot, where the path leaves that byte free. It is the byte of
    // the file opened here, whatever other threads open meanwhile.
    if (group->count == 1 && composite != 0 && strnlen(group->paths[0], 255) < 255) {
        group->paths[0][255] = static_cast<char>(composite & 0xff);
    }
    return 1;
}
