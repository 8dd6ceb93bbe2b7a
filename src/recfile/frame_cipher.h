// Which bytes of a video key frame the recorder enciphers, and deciphering
// them with the file's key. Only key frames that begin with a sequence
// parameter set carry an enciphered region: the 256 bytes after the first 24,
// counted from the payload's first byte, access unit delimiter included.
#pragma once

#include <cstdint>

inline constexpr uint32_t kKeyFrameCipherOffset = 24;
inline constexpr int32_t kKeyFrameCipherBlocks = 32;
inline constexpr uint32_t kKeyFrameCipherEnd = kKeyFrameCipherOffset + 8 * kKeyFrameCipherBlocks;

// True when the key frame's payload begins with a sequence parameter set
// behind a 4-byte start code (NAL type 7 at byte 4), or behind a 6-byte
// access unit delimiter (NAL type 9 at byte 4, type 7 at byte 10). Bytes
// beyond `length` are never looked at: a payload too short to show the unit
// type carries no enciphered region.
bool KeyFrameIsEnciphered(const unsigned char *payload, uint32_t length);

// Deciphers the enciphered region of a key frame in place with the 8-byte
// file key. `capacity` is the size of the buffer holding the payload: the
// region is always deciphered as whole blocks from byte 24, also where a short
// payload ends inside it, as far as the buffer reaches (the frame buffer of a
// record file always holds the whole region). Returns true when the frame
// carried a region and it was deciphered.
bool DecryptKeyFrame(const unsigned char *fileKey, unsigned char *payload, uint32_t length,
                     uint32_t capacity);
