#include "recfile/des.h"

#include <array>

namespace {

// Bit positions below count from 1 at the most significant bit, as the
// standard's tables do.

constexpr unsigned char kPc1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr unsigned char kPc2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr unsigned char kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr unsigned char kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                  26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                  3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr unsigned char kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

using SpTables = std::array<std::array<uint32_t, 64>, 8>;

// Each substitution box combined with the permutation P: entry x of table j
// is P applied to box j's output for the 6-bit input x, standing in its
// place among the eight 4-bit outputs.
constexpr SpTables MakeSpTables() {
    SpTables tables{};
    for (int box = 0; box < 8; ++box) {
        for (uint32_t x = 0; x < 64; ++x) {
            const uint32_t row = ((x >> 4) & 2) | (x & 1);
            const uint32_t column = (x >> 1) & 15;
            const uint32_t sOut = static_cast<uint32_t>(kSBox[box][row * 16 + column])
                                  << (28 - 4 * box);
            uint32_t permuted = 0;
            for (int bit = 0; bit < 32; ++bit) {
                if ((sOut >> (32 - kP[bit])) & 1) permuted |= 1u << (31 - bit);
            }
            tables[box][x] = permuted;
        }
    }
    return tables;
}

constexpr SpTables kSp = MakeSpTables();

constexpr uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }
constexpr uint32_t Rotr(uint32_t v, int n) { return (v >> n) | (v << (32 - n)); }

uint32_t LoadBig(const unsigned char *p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

void StoreBig(uint32_t v, unsigned char *p) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Exchanges the bits of `b` selected by `mask` with the bits of `a`
// selected by `mask` << `shift`. Applied twice it changes nothing.
inline void SwapBits(uint32_t &a, uint32_t &b, int shift, uint32_t mask) {
    const uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// The initial permutation as five bit-group exchanges over the two halves.
inline void InitialPermutation(uint32_t &left, uint32_t &right) {
    SwapBits(left, right, 4, 0x0f0f0f0fu);
    SwapBits(left, right, 16, 0x0000ffffu);
    SwapBits(right, left, 2, 0x33333333u);
    SwapBits(right, left, 8, 0x00ff00ffu);
    SwapBits(left, right, 1, 0x55555555u);
}

// The final permutation: the same exchanges in reverse order.
inline void FinalPermutation(uint32_t &left, uint32_t &right) {
    SwapBits(left, right, 1, 0x55555555u);
    SwapBits(right, left, 8, 0x00ff00ffu);
    SwapBits(right, left, 2, 0x33333333u);
    SwapBits(left, right, 16, 0x0000ffffu);
    SwapBits(left, right, 4, 0x0f0f0f0fu);
}

// The cipher function f of one round. The expansion's eight 6-bit groups
// are taken from the half rotated left by one bit: groups 2, 4, 6 and 8
// stand at bits 24, 16, 8 and 0 of it, groups 1, 3, 5 and 7 at the same
// places after a further rotation right by four.
inline uint32_t RoundFunction(uint32_t half, uint32_t keyOdd, uint32_t keyEven) {
    const uint32_t rotated = Rotl(half, 1);
    const uint32_t odd = Rotr(rotated, 4) ^ keyOdd;
    const uint32_t even = rotated ^ keyEven;
    return kSp[0][(odd >> 24) & 63] ^ kSp[2][(odd >> 16) & 63] ^ kSp[4][(odd >> 8) & 63] ^
           kSp[6][odd & 63] ^ kSp[1][(even >> 24) & 63] ^ kSp[3][(even >> 16) & 63] ^
           kSp[5][(even >> 8) & 63] ^ kSp[7][even & 63];
}

// Bit p (1 to 64) of the 8-byte key.
inline uint32_t KeyBit(const unsigned char *key, int p) {
    return (key[(p - 1) / 8] >> (7 - (p - 1) % 8)) & 1u;
}

// PC-2 as lookups: table k < 4 takes positions 7k + 1 to 7k + 7 of C, table
// 4 + k the same positions of D (PC-2 numbers them 29 to 56), as a 7-bit
// value with the first position in its highest bit. An entry holds the two
// schedule words those bits contribute to: subkey groups 1, 3, 5 and 7 in
// the first word, groups 2, 4, 6 and 8 in the second, one group in the low
// six bits of each byte.
using Pc2Tables = std::array<std::array<std::array<uint32_t, 2>, 128>, 8>;

constexpr Pc2Tables MakePc2Tables() {
    Pc2Tables tables{};
    for (int out = 0; out < 48; ++out) {
        const int position = kPc2[out] - 1;  // 0 to 55 over C then D
        const int table = position / 7;
        const int bitInValue = 6 - position % 7;
        const int group = out / 6;
        const uint32_t bit = 1u << (24 - 8 * (group / 2) + (5 - out % 6));
        for (uint32_t v = 0; v < 128; ++v) {
            if ((v >> bitInValue) & 1) tables[table][v][group & 1] |= bit;
        }
    }
    return tables;
}

constexpr Pc2Tables kPc2Tables = MakePc2Tables();

}  // namespace

void DesDecryptSchedule(const unsigned char *key, DesKeySchedule &schedule) {
    // PC-1 into the two 28-bit halves C and D, position 1 in bit 27.
    uint32_t c = 0;
    uint32_t d = 0;
    for (int i = 0; i < 28; ++i) {
        c = (c << 1) | KeyBit(key, kPc1[i]);
        d = (d << 1) | KeyBit(key, kPc1[28 + i]);
    }
    for (int round = 0; round < 16; ++round) {
        // Both halves rotate left by the round's shift.
        const int n = kShifts[round];
        c = ((c << n) | (c >> (28 - n))) & 0x0fffffffu;
        d = ((d << n) | (d >> (28 - n))) & 0x0fffffffu;
        // PC-2, seven bits of a half per table.
        uint32_t odd = 0;
        uint32_t even = 0;
        for (int chunk = 0; chunk < 4; ++chunk) {
            const int shift = 21 - 7 * chunk;
            const auto &fromC = kPc2Tables[chunk][(c >> shift) & 127];
            const auto &fromD = kPc2Tables[4 + chunk][(d >> shift) & 127];
            odd |= fromC[0] | fromD[0];
            even |= fromC[1] | fromD[1];
        }
        // Deciphering takes round 16's subkey first.
        schedule.words[2 * (15 - round)] = odd;
        schedule.words[2 * (15 - round) + 1] = even;
    }
}

void DesCryptBlock(const DesKeySchedule &schedule, unsigned char *block) {
    uint32_t left = LoadBig(block);
    uint32_t right = LoadBig(block + 4);
    InitialPermutation(left, right);
    for (int round = 0; round < 16; ++round) {
        const uint32_t next = left ^ RoundFunction(right, schedule.words[2 * round],
                                                   schedule.words[2 * round + 1]);
        left = right;
        right = next;
    }
    // The halves leave the last round exchanged.
    FinalPermutation(right, left);
    StoreBig(right, block);
    StoreBig(left, block + 4);
}

int32_t DesDecryptBlocks(const unsigned char *key, unsigned char *data, int32_t blockCount) {
    if (data == nullptr || blockCount < 1) return 0;
    DesKeySchedule schedule;
    DesDecryptSchedule(key, schedule);
    for (int32_t i = 0; i < blockCount; ++i) DesCryptBlock(schedule, data + 8 * i);
    return 1;
}
