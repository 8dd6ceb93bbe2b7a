#include "support/routines.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

void SplitAt(const std::string &text, char separator,
             std::vector<std::string> &pieces) {
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            pieces.emplace_back(text, start);
            return;
        }
        pieces.emplace_back(text, start, at - start);
        start = at + 1;
    }
}

bool IsAllDigits(const std::string &text) {
    for (unsigned char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

int32_t SecondsBetween(const AvSystemTime &first, const AvSystemTime &second) {
    uint64_t a = 0, b = 0;
    if (!plat::SystemTimeToFileTime(&first, &a) ||
        !plat::SystemTimeToFileTime(&second, &b)) {
        return 0;
    }
    const uint64_t magnitude = (a >= b ? a - b : b - a) / 10000000u;
    const int64_t seconds = a >= b ? static_cast<int64_t>(magnitude)
                                   : -static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds)));
}

void DebugTrace(const char *format, ...) {
    if (!plat::DebugOutputListened()) return;
    char line[512] = {};
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, 511, format, args);
    va_end(args);
    size_t len = n < 0 ? 0 : (n > 510 ? 510 : static_cast<size_t>(n));
    line[len] = '\n';
    line[len + 1] = '\0';
    plat::DebugOutput(line);
}

bool HasElapsed(uint32_t storedTick, uint32_t limitMs) {
    // Unsigned subtraction is the elapsed time modulo 2^32, wrap included.
    return static_cast<uint32_t>(plat::TickCount() - storedTick) >= limitMs;
}

void HexDump(char *out, int32_t size, const unsigned char *data, int32_t length) {
    if (size < 0 || out == nullptr) return;
    if (size == 0) return;
    if (length < 0 || data == nullptr) length = 0;
    // Three characters per byte plus spare room for the terminator.
    if (static_cast<int64_t>(length) * 3 + 3 > size) length = (size - 3) / 3;
    if (length < 0) length = 0;
    static const char kHex[] = "0123456789ABCDEF";
    char *p = out;
    for (int32_t i = 0; i < length; ++i) {
        *p++ = kHex[data[i] >> 4];
        *p++ = kHex[data[i] & 15];
        *p++ = ' ';
    }
    *p = '\0';
}
