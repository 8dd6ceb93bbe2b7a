#include <atomic>
#include <new>

#include "search/rec_search.h"

namespace {
std::atomic<CFileSearchJNQ *> g_search{nullptr};
}  // namespace

CFileSearchJNQ *GetRecSearch() {
    // Made on the first call that finds none, so a call that ran out of
    // memory leaves the next one to try again. Two threads may both make
    // one: the first to publish its object wins, the other deletes its
    // own. The object is never released.
    CFileSearchJNQ *search = g_search.load(std::memory_order_acquire);
    if (search != nullptr) return search;
    CFileSearchJNQ *made = new (std::nothrow) CFileSearchJNQ();
    if (made == nullptr) return nullptr;
    if (g_search.compare_exchange_strong(search, made, std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
        return made;
    }
    delete made;  // another thread's object came first; `search` holds it
    return search;
}
