// The master key: every recorder enciphers the key of each of its encrypted
// files under it. A host whose recorder uses another key than the built-in
// one sets it in "AVFILE.INI" beside the library file, section "CRYPT", key
// "MASTERKEY": exactly eight printable ASCII characters.
#pragma once

#include <cstdint>

inline constexpr uint32_t kMasterKeySize = 8;

// The built-in master key, assembled at run time.
void DefaultMasterKey(unsigned char *key);

// Reads "CRYPT"/"MASTERKEY" from the profile file at `profilePath` into
// `key` (8 bytes). Returns false and leaves `key` untouched when the file,
// the section or the key is missing, or the value is not exactly eight
// printable ASCII characters; a value refused sends one DebugTrace line
// saying that the built-in key is used.
bool ReadMasterKey(const char *profilePath, unsigned char *key);

// The master key in use: the one from "AVFILE.INI" in the folder of the
// library file when it is valid, else the built-in key. Worked out once, at
// the first call; safe to call from several threads.
const unsigned char *MasterKey();

// Key preparation of an opened file: when the upper four bits of the
// recording header's encryption byte are set, the stored file key (8 bytes)
// is deciphered in place with the master key; a plain file's key bytes are
// left as stored.
void PrepareFileKey(uint8_t encryption, unsigned char *fileKey);
