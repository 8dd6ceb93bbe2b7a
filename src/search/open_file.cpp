// Opening a record file through the search object. Record file reading
// arrives with its own work; until then nothing opens.
#include "search/rec_search.h"

CRecFile *CFileSearchJNQ::OpenFile(const char *, int32_t, const PasswordEntry *,
                                   int32_t, int32_t, int32_t *result) {
    if (result) *result = 1;
    return nullptr;
}
