// A directory enumeration that is closed however the walk over it ends.
#pragma once

#include "platform/platform.h"

class CDirEnum {
public:
    // Starts enumerating the entries matching the pattern (a folder path
    // followed by a name pattern). The searches go by names and the folder
    // flag alone: sizes and times are not fetched.
    explicit CDirEnum(const char *pattern)
        : m_search(plat::FindFirst(pattern, &m_entry, plat::Listing::kNamesOnly)) {}
    ~CDirEnum() {
        if (m_search) plat::FindClose(m_search);
    }
    CDirEnum(const CDirEnum &) = delete;
    CDirEnum &operator=(const CDirEnum &) = delete;

    // False when the enumeration could not start (nothing matched, or the
    // folder cannot be read).
    bool Started() const { return m_search != nullptr; }
    const plat::DirEntry &Entry() const { return m_entry; }
    // Entries still to come after this one, where the system tells; 0
    // otherwise.
    size_t Ahead() const { return m_search ? plat::EntriesAhead(m_search) : 0; }
    // Moves to the next entry; false at the end.
    bool Next() { return m_search && plat::FindNext(m_search, &m_entry); }

private:
    plat::DirEntry m_entry{};
    plat::DirSearch *m_search;
};
