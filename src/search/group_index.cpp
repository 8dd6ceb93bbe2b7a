#include "search/group_index.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "platform/platform.h"

void CGroupIndex::CNextOpen::Reset(size_t size) {
    m_next.resize(size + 1);
    std::iota(m_next.begin(), m_next.end(), 0u);
}

size_t CGroupIndex::CNextOpen::Find(size_t p) {
    while (m_next[p] != p) {
        m_next[p] = m_next[m_next[p]];
        p = m_next[p];
    }
    return p;
}

void CGroupIndex::Build(CRecSearch &naming, const RecFileList &entries) {
    const size_t n = entries.size();
    m_parsed.resize(n);
    m_state.assign(n, State::Open);
    m_position.resize(n);
    m_openUnread = 0;
    m_cursor = 0;
    m_byTime.clear();
    m_samePath.clear();

    // Paths met more than once (a list not made by a folder walk may repeat
    // one): a group takes the repeats of its members along. A folder walk's
    // list mostly comes in byte order of its paths already, and then repeats
    // none: seen in the same pass that reads the names.
    bool inOrder = true;
    for (size_t i = 0; i < n; ++i) {
        Parsed &p = m_parsed[i];
        const RecFileEntry &entry = entries[i];
        if (inOrder && i > 0) inOrder = std::strcmp(entries[i - 1].path, entry.path) < 0;
        p.second = 0;
        p.pathId = kUniquePath;
        // What the listing read from the name, or the name read now.
        AvSystemTime start{};
        bool timeRead;
        if (entry.named) {
            p.alarm = entry.alarm;
            timeRead = entry.timeRead != 0;
            if (timeRead) start = entry.startTime;
        } else {
            p.alarm = naming.IsAlarmRecord(entry.path);
            timeRead = naming.GetStartTime(entry.path, &start) != 0;
        }
        uint64_t fileTime = 0;
        if (!timeRead) {
            p.kind = Kind::Unread;
            ++m_openUnread;
        } else if (!plat::SystemTimeToFileTime(&start, &fileTime)) {
            p.kind = Kind::Invalid;
        } else {
            // Whole seconds; the time difference of two files wraps at 32
            // bits, so only the low 32 bits of the second matter.
            p.kind = Kind::Valid;
            p.second = static_cast<uint32_t>(fileTime / 10000000u);
            m_byTime.push_back(static_cast<uint32_t>(i));
        }
    }

    // Sorted on one number per entry that orders as (alarm flag, second)
    // does, the index breaking ties, so that the comparisons read no more
    // than the two items compared.
    struct TimeKey {
        uint64_t key;
        uint32_t index;
    };
    std::vector<TimeKey> keys(m_byTime.size());
    for (size_t k = 0; k < m_byTime.size(); ++k) {
        const Parsed &p = m_parsed[m_byTime[k]];
        const uint64_t alarm = static_cast<uint32_t>(p.alarm) ^ 0x80000000u;  // signed order
        keys[k] = {alarm << 32 | p.second, m_byTime[k]};
    }
    // A folder lists its files channel by channel, each channel in time
    // order: a few ascending runs, merged pairwise (the merge keeps list
    // order among equal keys); a list in no such order is sorted.
    std::vector<size_t> runs{0};
    for (size_t k = 1; k < keys.size(); ++k) {
        if (keys[k].key < keys[k - 1].key) runs.push_back(k);
    }
    runs.push_back(keys.size());
    constexpr size_t kMostRuns = 64;
    if (runs.size() - 1 > kMostRuns) {
        std::sort(keys.begin(), keys.end(), [](const TimeKey &a, const TimeKey &b) {
            return a.key != b.key ? a.key < b.key : a.index < b.index;
        });
    } else {
        const auto byKey = [](const TimeKey &a, const TimeKey &b) { return a.key < b.key; };
        std::vector<TimeKey> merged(keys.size());
        while (runs.size() > 2) {
            std::vector<size_t> next{0};
            for (size_t r = 0; r + 1 < runs.size(); r += 2) {
                const size_t end = r + 2 < runs.size() ? runs[r + 2] : runs[r + 1];
                std::merge(keys.begin() + static_cast<std::ptrdiff_t>(runs[r]),
                           keys.begin() + static_cast<std::ptrdiff_t>(runs[r + 1]),
                           keys.begin() + static_cast<std::ptrdiff_t>(runs[r + 1]),
                           keys.begin() + static_cast<std::ptrdiff_t>(end),
                           merged.begin() + static_cast<std::ptrdiff_t>(runs[r]), byKey);
                next.push_back(end);
            }
            keys.swap(merged);
            runs.swap(next);
        }
    }
    m_byTimeKey.resize(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        m_byTime[k] = keys[k].index;
        m_byTimeKey[k] = keys[k].key;
    }
    for (size_t k = 0; k < m_byTime.size(); ++k) m_position[m_byTime[k]] = static_cast<uint32_t>(k);

    if (!inOrder) FindRepeatedPaths(entries);

    m_listOrder.Reset(n);
    m_byTimeOpen.Reset(m_byTime.size());
}

void CGroupIndex::FindRepeatedPaths(const RecFileList &entries) {
    const size_t n = entries.size();
    std::vector<uint32_t> byPath(n);
    std::iota(byPath.begin(), byPath.end(), 0u);
    std::sort(byPath.begin(), byPath.end(), [&](uint32_t a, uint32_t b) {
        const int c = std::strcmp(entries[a].path, entries[b].path);
        return c != 0 ? c < 0 : a < b;
    });
    for (size_t k = 0; k < n;) {
        size_t end = k + 1;
        while (end < n && std::strcmp(entries[byPath[k]].path, entries[byPath[end]].path) == 0) ++end;
        if (end - k > 1) {
            for (size_t m = k; m < end; ++m) {
                m_parsed[byPath[m]].pathId = static_cast<uint32_t>(k);
                m_samePath.push_back(byPath[m]);
            }
        }
        k = end;
    }
}

void CGroupIndex::Close(size_t index, State state) {
    m_state[index] = state;
    m_listOrder.Remove(index);
    switch (m_parsed[index].kind) {
    case Kind::Valid: m_byTimeOpen.Remove(m_position[index]); break;
    case Kind::Invalid: break;
    case Kind::Unread: --m_openUnread; break;
    }
}

size_t CGroupIndex::NextReference() {
    const size_t p = m_listOrder.Find(m_cursor);
    if (p == m_listOrder.End()) return kNone;
    Close(p, State::Reported);
    m_cursor = p + 1;
    return p;
}

// A time that is not a valid calendar time is near no other (a reference
// without one never gets here: MergeGroup leaves it alone); the difference
// of two valid times is taken as a signed 32-bit count of seconds.
bool CGroupIndex::Joins(const Parsed &reference, Kind kind, uint32_t second,
                        int32_t alarm) const {
    if (alarm != reference.alarm) return false;
    if (kind != Kind::Valid) return false;
    return static_cast<uint32_t>(second - reference.second + 4u) <= 8u;
}

void CGroupIndex::MergeGroup(size_t reference, std::vector<size_t> &members) {
    // A reference without a calendar time forms a group of its own.
    if (m_parsed[reference].kind != Kind::Valid) return;
    const size_t first = members.size();
    if (m_openUnread > 0) {
        TakeInListOrder(reference, members);
    } else {
        TakeInWindow(reference, members);
        std::sort(members.begin() + static_cast<std::ptrdiff_t>(first), members.end());
    }
}

// While a file without a readable time is still open, its comparison takes
// the time of the file looked at before it: walk the open files in order.
void CGroupIndex::TakeInListOrder(size_t reference, std::vector<size_t> &members) {
    const Parsed &ref = m_parsed[reference];
    Kind kind = Kind::Invalid;  // a cleared time until a file's time is read
    uint32_t second = 0;
    for (size_t p = m_listOrder.Find(reference); p != m_listOrder.End();
         p = m_listOrder.Find(p + 1)) {
        const Parsed &candidate = m_parsed[p];
        if (candidate.kind != Kind::Unread) {
            kind = candidate.kind;
            second = candidate.second;
        }
        if (Joins(ref, kind, second, candidate.alarm)) {
            Close(p, State::Taken);
            members.push_back(p);
        }
    }
}

void CGroupIndex::TakeRange(std::vector<uint32_t> &order, CNextOpen &open, size_t first,
                            size_t last, std::vector<size_t> &members) {
    for (size_t k = open.Find(first); k < last; k = open.Find(k + 1)) {
        const size_t index = order[k];
        Close(index, State::Taken);
        members.push_back(index);
    }
}

// Every open file has a time of its own, and the reference a valid one: the
// joining files are those of the same alarm flag whose second lies within
// 4 s of the reference's (modulo 2^32), found in the time ordering.
void CGroupIndex::TakeInWindow(size_t reference, std::vector<size_t> &members) {
    const Parsed ref = m_parsed[reference];
    const uint64_t alarm = static_cast<uint64_t>(static_cast<uint32_t>(ref.alarm) ^ 0x80000000u) << 32;
    const auto takeSeconds = [&](uint32_t from, uint32_t to) {
        const auto begin = m_byTimeKey.begin();
        const auto lo = std::lower_bound(begin, m_byTimeKey.end(), alarm | from);
        const auto hi = std::upper_bound(lo, m_byTimeKey.end(), alarm | to);
        TakeRange(m_byTime, m_byTimeOpen, static_cast<size_t>(lo - begin),
                  static_cast<size_t>(hi - begin), members);
    };
    const uint32_t from = ref.second - 4u, to = ref.second + 4u;
    if (from <= to) {
        takeSeconds(from, to);
    } else {  // the window wraps around the end of the 32-bit range
        takeSeconds(from, UINT32_MAX);
        takeSeconds(0, to);
    }
}

void CGroupIndex::TakeSamePaths(const std::vector<size_t> &members) {
    for (size_t member : members) {
        const uint32_t id = m_parsed[member].pathId;
        if (id == kUniquePath) continue;
        const auto below = [&](uint32_t index, uint32_t pathId) {
            return m_parsed[index].pathId < pathId;
        };
        auto it = std::lower_bound(m_samePath.begin(), m_samePath.end(), id, below);
        for (; it != m_samePath.end() && m_parsed[*it].pathId == id; ++it) {
            if (m_state[*it] == State::Open) Close(*it, State::Taken);
        }
    }
}
