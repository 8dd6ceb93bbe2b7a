// SHA-256 check sums of the files a report names, through OpenSSL's
// libcrypto, so that whoever receives a report can check that what they got
// is what was on the card and what the report wrote.
#pragma once

#include <cstdint>
#include <string>

// The SHA-256 of the file's bytes as 64 lower-case hexadecimal digits, and
// its size. False with the reason in `error` when it cannot be read.
bool Sha256OfFile(const std::string &path, std::string &hex, uint64_t &bytes, std::string &error);
// The version of the library doing the hashing, for the report's table.
std::string CryptoLibraryVersion();
