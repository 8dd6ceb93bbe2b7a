// The file list of one folder, read once for grouping: each file's alarm
// flag and start time parsed from its name, and orderings that find the
// files starting within a few seconds of a reference without scanning the
// whole list again for every group.
#pragma once

#include <cstdint>
#include <vector>

#include "search/rec_search.h"

class CGroupIndex {
public:
    static constexpr size_t kNone = SIZE_MAX;

    // Takes each entry's alarm flag and start time as the listing read them
    // from its name, or reads the name through the naming rules of `naming`
    // for an entry made otherwise. Entries keep their list positions as
    // indexes.
    void Build(CRecSearch &naming, const RecFileList &entries);

    // The next entry, in list order, that is neither grouped nor reported
    // yet, marked as reported; kNone when none is left.
    size_t NextReference();

    // Takes every open entry that joins the reference's group: the same
    // alarm flag and a start less than 5 s away; an entry whose start is no
    // calendar time joins no group and takes none. Appends their indexes in
    // list order.
    void MergeGroup(size_t reference, std::vector<size_t> &members);

    // Takes the open entries whose path repeats the path of a member.
    void TakeSamePaths(const std::vector<size_t> &members);

    // True for entries taken into another entry's group.
    bool Taken(size_t index) const { return m_state[index] == State::Taken; }

private:
    // How a start time compares: a time read from the name that is a valid
    // calendar time, one that is not (it is near no other time), or none read
    // at all (the comparison then goes on with the time of the previous file
    // looked at, and a reference without one is near no other time).
    enum class Kind : uint8_t { Valid, Invalid, Unread };
    enum class State : uint8_t { Open, Reported, Taken };
    static constexpr uint32_t kUniquePath = UINT32_MAX;

    struct Parsed {
        int32_t alarm;
        Kind kind;
        uint32_t second;  // seconds on a fixed scale, modulo 2^32
        uint32_t pathId;  // equal for equal paths; kUniquePath for a path met once
    };

    // The smallest position at or after p that is still open, in one of the
    // orderings below; removed positions are skipped in amortised constant
    // time.
    class CNextOpen {
    public:
        void Reset(size_t size);
        size_t Find(size_t p);
        void Remove(size_t p) { m_next[p] = static_cast<uint32_t>(p + 1); }
        size_t End() const { return m_next.size() - 1; }

    private:
        std::vector<uint32_t> m_next;
    };

    void Close(size_t index, State state);
    bool Joins(const Parsed &reference, Kind kind, uint32_t second, int32_t alarm) const;
    void TakeInWindow(size_t reference, std::vector<size_t> &members);
    // Marks the entries whose paths the list holds more than once.
    void FindRepeatedPaths(const RecFileList &entries);
    void TakeInListOrder(size_t reference, std::vector<size_t> &members);

    void TakeRange(std::vector<uint32_t> &order, CNextOpen &open, size_t first,
                   size_t last, std::vector<size_t> &members);

    std::vector<Parsed> m_parsed;
    std::vector<State> m_state;
    std::vector<uint32_t> m_position;  // place of each valid entry in m_byTime
    size_t m_openUnread = 0;
    size_t m_cursor = 0;

    CNextOpen m_listOrder;
    // Entries with a valid time, ordered by alarm flag, second and index.
    std::vector<uint32_t> m_byTime;
    // The alarm flag (its sign bit flipped) and second of each, as one
    // number in the same order.
    std::vector<uint64_t> m_byTimeKey;
    CNextOpen m_byTimeOpen;
    // Entries whose path occurs more than once, ordered by path id and index.
    std::vector<uint32_t> m_samePath;
};
