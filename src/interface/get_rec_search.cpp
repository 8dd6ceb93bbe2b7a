#include <new>

#include "search/rec_search.h"

CFileSearchJNQ *GetRecSearch() {
    // A function-local static is created once even when two threads make
    // their first call at the same moment. The object is never released.
    static CFileSearchJNQ *const search = new (std::nothrow) CFileSearchJNQ();
    return search;
}
