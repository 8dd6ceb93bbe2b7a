// The names are sorted by their first 16 characters in upper case with a
// radix sort of those 16 bytes (the bytes all names share take no pass:
// recorder names differ in a few places only), and names that agree in all
// 16 then by the rest of the name.
#include "platform/posix/listing_order.h"

#include <algorithm>
#include <cstring>

namespace plat {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a name's words are read little-endian");

namespace {

// Up to eight characters in upper case as one number that orders as they do
// byte by byte, a name's end counting as below any character. The letters
// of all eight are raised at once: a byte gets 0x20 taken off where its low
// seven bits lie in 'a'..'z' and its top bit is clear.
uint64_t UpperWord(const char *p, size_t length) {
    uint64_t word = 0;
    std::memcpy(&word, p, length < 8 ? length : 8);
    constexpr uint64_t kOnes = 0x0101010101010101ull, kTops = 0x80 * kOnes;
    const uint64_t low = word & ~kTops;
    const uint64_t fromA = low + (0x80 - 'a') * kOnes;      // top bit: at least 'a'
    const uint64_t pastZ = low + (0x80 - 'z' - 1) * kOnes;  // top bit: past 'z'
    word ^= ((fromA ^ pastZ) & ~word & kTops) >> 2;
    return __builtin_bswap64(word);  // the first character the most significant
}

bool SameHead(const ListedName &a, const ListedName &b) {
    return a.head[0] == b.head[0] && a.head[1] == b.head[1];
}

// The order of two names whose first 16 characters agree in upper case:
// the rest eight characters at a time, read as the head was.
bool AfterTheHeadBefore(const char *names, const ListedName &a, const ListedName &b) {
    const char *x = names + a.at, *y = names + b.at;
    const auto rest = [](const char *name, size_t length, size_t at) {
        return length > at ? UpperWord(name + at, length - at) : 0;
    };
    for (size_t at = 16; at < std::max(a.length, b.length); at += 8) {
        const uint64_t p = rest(x, a.length, at), q = rest(y, b.length, at);
        if (p != q) return p < q;
    }
    return std::strcmp(x, y) < 0;  // equal but for case
}

// Byte `k` of the 16-byte head, 0 the least significant.
unsigned HeadByte(const ListedName &item, int k) {
    return static_cast<unsigned>(item.head[k < 8 ? 1 : 0] >> (8 * (k % 8))) & 0xffu;
}

}  // namespace

ListedName MakeListedName(const char *name, size_t length, uint32_t at, unsigned char type) {
    const size_t rest = length > 8 ? length - 8 : 0;
    return {{UpperWord(name, length), UpperWord(name + length - rest, rest)},
            at,
            static_cast<uint16_t>(length),
            type};
}

void SortAsListed(std::vector<ListedName> &items, const char *names) {
    const size_t n = items.size();
    if (n < 2) return;
    // A stable pass per byte of the head that not all names share, the
    // least significant byte first.
    std::vector<uint32_t> counts(16 * 256, 0);
    for (const ListedName &item : items) {
        for (int k = 0; k < 16; ++k) ++counts[256 * k + HeadByte(item, k)];
    }
    std::vector<ListedName> sorted(n);
    for (int k = 0; k < 16; ++k) {
        uint32_t *count = counts.data() + 256 * k;
        if (count[HeadByte(items[0], k)] == n) continue;  // every name has this byte
        uint32_t place = 0;
        for (int b = 0; b < 256; ++b) {
            const uint32_t c = count[b];
            count[b] = place;
            place += c;
        }
        for (const ListedName &item : items) sorted[count[HeadByte(item, k)]++] = item;
        items.swap(sorted);
    }
    // Names that agree in the head: by the rest.
    for (size_t first = 0; first < n;) {
        size_t end = first + 1;
        while (end < n && SameHead(items[first], items[end])) ++end;
        if (end - first > 1) {
            std::sort(items.begin() + static_cast<std::ptrdiff_t>(first),
                      items.begin() + static_cast<std::ptrdiff_t>(end),
                      [names](const ListedName &a, const ListedName &b) {
                          return AfterTheHeadBefore(names, a, b);
                      });
        }
        first = end;
    }
}

}  // namespace plat
