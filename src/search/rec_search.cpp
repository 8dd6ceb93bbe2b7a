// The search object's base operations that the searches build on. The
// searches themselves, the grouping and the folder check arrive with the
// recording-tree work; until then they report nothing.
#include "search/rec_search.h"

CRecSearch::~CRecSearch() = default;
CFileSearchJNQ::~CFileSearchJNQ() = default;

int32_t CRecSearch::CheckFolder(const char *, const PasswordEntry *, int32_t,
                                int32_t, unsigned char *, unsigned char *, int32_t) {
    return 1;
}

void CRecSearch::OnRecordFound(const RecFileEntry &) {}

void CRecSearch::FillGroupInfo(RecGroupInfo *) {}

void CRecSearch::CollectFiles(const char *, const char *, RecFileList &) {}

void CRecSearch::GatherByTime(const RecFileEntry &, int32_t, RecFileList &,
                              RecFileList &) {}

int32_t CFileSearchJNQ::SearchFolderFiles(const char *, int32_t, SearchFileCallback) {
    return 0;
}

int32_t CFileSearchJNQ::SearchEventFolder(const char *, int32_t, SearchFileCallback) {
    return 0;
}

int32_t CFileSearchJNQ::ReportGroups(RecFileList &entries, int32_t, SearchFileCallback) {
    return entries.empty() ? 1 : 0;
}

void CFileSearchJNQ::MergeGroup(RecFileList &, size_t, const RecFileEntry &,
                                RecFileList &) {}

void CFileSearchJNQ::AssignChannels(RecGroupInfo *, const RecFileList &) {}
