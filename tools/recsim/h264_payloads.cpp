#include <cstddef>

#include "recsim/recsim.h"

namespace recsim {

namespace {

constexpr uint8_t kNalSps = 0x67;
constexpr uint8_t kNalPps = 0x68;
constexpr uint8_t kNalIdrSlice = 0x65;
constexpr uint8_t kNalSlice = 0x41;
constexpr uint8_t kNalDelimiter = 0x09;

void StartCode(std::vector<uint8_t> &out, uint8_t nalHeader) {
    out.insert(out.end(), {0, 0, 0, 1, nalHeader});
}

// Filler bytes that are never zero, so no start code can appear in them.
void Filler(std::vector<uint8_t> &out, size_t n, uint32_t &state) {
    for (size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        out.push_back(static_cast<uint8_t>(1 + (state >> 16) % 255));
    }
}

std::vector<uint8_t> Frame(size_t size, bool delimiter, uint32_t seed, bool key) {
    std::vector<uint8_t> out;
    uint32_t state = seed * 2654435761u + (key ? 7 : 3);
    if (delimiter) {
        StartCode(out, kNalDelimiter);
        out.push_back(key ? 0x10 : 0x30);
    }
    if (key) {
        StartCode(out, kNalSps);
        Filler(out, 10, state);
        StartCode(out, kNalPps);
        Filler(out, 4, state);
    }
    StartCode(out, key ? kNalIdrSlice : kNalSlice);
    // The slice begins with first_mb_in_slice 0: its first bit is set.
    out.push_back(0x88);
    if (out.size() < size) Filler(out, size - out.size(), state);
    return out;
}

bool IsSlice(uint8_t type) { return type == 1 || type == 5; }
// Units that open a new access unit once a picture's slices have been seen.
bool OpensAccessUnit(uint8_t type) {
    return type == 9 || type == 7 || type == 8 || type == 6 || (type >= 14 && type <= 18);
}

}  // namespace

std::vector<uint8_t> SyntheticKeyFrame(size_t size, bool delimiter, uint32_t seed) {
    return Frame(size, delimiter, seed, true);
}

std::vector<uint8_t> SyntheticFrame(size_t size, bool delimiter, uint32_t seed) {
    return Frame(size, delimiter, seed, false);
}

std::vector<AccessUnit> SplitAccessUnits(const std::vector<uint8_t> &stream) {
    // Start of every NAL unit: the offset of its start code and of its header.
    struct Nal {
        size_t begin;
        size_t header;
    };
    std::vector<Nal> nals;
    for (size_t i = 0; i + 3 < stream.size(); ++i) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            const size_t begin = (i > 0 && stream[i - 1] == 0) ? i - 1 : i;
            nals.push_back({begin, i + 3});
            i += 2;
        }
    }
    std::vector<AccessUnit> units;
    AccessUnit current;
    bool sawSlice = false;
    for (size_t n = 0; n < nals.size(); ++n) {
        const size_t end = n + 1 < nals.size() ? nals[n + 1].begin : stream.size();
        const uint8_t type = stream[nals[n].header] & 0x1F;
        const bool firstSliceOfPicture = IsSlice(type) && nals[n].header + 1 < stream.size() &&
                                         (stream[nals[n].header + 1] & 0x80) != 0;
        if (sawSlice && (OpensAccessUnit(type) || firstSliceOfPicture)) {
            units.push_back(std::move(current));
            current = AccessUnit{};
            sawSlice = false;
        }
        // Every access unit begins with a 4-byte start code.
        if (current.bytes.empty() && nals[n].header - nals[n].begin == 3) current.bytes.push_back(0);
        current.bytes.insert(current.bytes.end(), stream.begin() + nals[n].begin,
                             stream.begin() + end);
        if (type == 7) current.key = true;
        if (IsSlice(type)) sawSlice = true;
    }
    if (!current.bytes.empty()) units.push_back(std::move(current));
    return units;
}

}  // namespace recsim
