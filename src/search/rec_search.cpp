// The search object's lifetime and its hook for every record file found.
#include "search/rec_search.h"

CRecSearch::~CRecSearch() = default;
CFileSearchJNQ::~CFileSearchJNQ() = default;

void CRecSearch::OnRecordFound(const RecFileEntry &) {}
