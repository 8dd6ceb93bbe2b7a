// The order a folder's names are listed in: as NTFS lists a folder, in the
// byte order of the names in upper case, a name before any longer name it
// begins; names that differ only in case (a case-sensitive file system holds
// both) in byte order, so that a listing is the same every time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

// One name of a listing; small, as the sort moves it about.
struct ListedName {
    uint64_t head[2];    // the first 16 characters in upper case, as numbers
                         // that order as they do
    uint32_t at;         // first character in the listing's names
    uint16_t length;     // of the name
    unsigned char type;  // the folder entry's d_type
};

ListedName MakeListedName(const char *name, size_t length, uint32_t at, unsigned char type);

// Sorts into listing order; `names` holds the names the items point into.
// May throw std::bad_alloc.
void SortAsListed(std::vector<ListedName> &items, const char *names);

}  // namespace plat
