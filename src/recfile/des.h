// DES block cipher, deciphering direction, in electronic codebook mode: the
// recorder enciphers a file's key under the master key and a fixed region of
// each key frame under the file's key, one 8-byte block at a time.
#pragma once

#include <cstdint>

// The sixteen 48-bit round subkeys of one key, two words per round. The
// first word of a round holds the subkey's groups 1, 3, 5 and 7, the second
// its groups 2, 4, 6 and 8, one 6-bit group in the low bits of each byte.
struct DesKeySchedule {
    uint32_t words[32];
};

// Builds the subkeys of an 8-byte key (the lowest bit of each byte, the
// parity bit, is ignored) in the order deciphering uses them: round 16's
// subkey first.
void DesDecryptSchedule(const unsigned char *key, DesKeySchedule &schedule);

// Runs one 8-byte block in place through the initial permutation, sixteen
// rounds taking the schedule's subkeys in the order they are stored, and the
// final permutation. With a schedule from DesDecryptSchedule this deciphers.
void DesCryptBlock(const DesKeySchedule &schedule, unsigned char *block);

// Deciphers `blockCount` consecutive 8-byte blocks at `data` in place with
// the 8-byte `key`, each block on its own. Returns 1; returns 0 and does
// nothing when `data` is null or `blockCount` is below 1. The key schedule is
// built per call, so concurrent callers share no state.
int32_t DesDecryptBlocks(const unsigned char *key, unsigned char *data, int32_t blockCount);
