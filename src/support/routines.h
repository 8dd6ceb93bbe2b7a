// Small text, time and dump routines shared by the subsystems.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avfile/avfile.h"

// Splits text at every separator; empty pieces count and the text after the
// last separator is always a piece ("" gives one empty piece).
void SplitAt(const std::string &text, char separator,
             std::vector<std::string> &pieces);

// True when every character is a decimal digit; true for the empty text.
// Bytes of 0x80 and above are never digits.
bool IsAllDigits(const std::string &text);

// Whole seconds from `second` to `first`, truncated toward zero; positive
// when `first` is later. 0 when either time is not a valid calendar time.
int32_t SecondsBetween(const AvSystemTime &first, const AvSystemTime &second);

// Formats one line (at most 510 characters), appends a line feed and sends it
// to the debugger output.
void DebugTrace(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// True when at least `limitMs` milliseconds have passed since `storedTick`,
// across the wrap of the 32-bit tick counter.
bool HasElapsed(uint32_t storedTick, uint32_t limitMs);

// Writes the bytes as "%02X " groups into out (size bytes, terminated);
// bytes that would not fit are left out. Nothing for a negative size.
void HexDump(char *out, int32_t size, const unsigned char *data, int32_t length);
