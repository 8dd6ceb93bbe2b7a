#include "recfile/des.h"
#include "recfile/frame_cipher.h"
#include "recsim/recsim.h"

namespace recsim {

void EncipherBlocks(const uint8_t *key, uint8_t *data, size_t blocks) {
    // Enciphering runs the rounds with the subkeys in the opposite order to
    // deciphering: round 1's subkey first.
    DesKeySchedule deciphering;
    DesDecryptSchedule(key, deciphering);
    DesKeySchedule enciphering;
    for (int round = 0; round < 16; ++round) {
        enciphering.words[2 * round] = deciphering.words[2 * (15 - round)];
        enciphering.words[2 * round + 1] = deciphering.words[2 * (15 - round) + 1];
    }
    for (size_t i = 0; i < blocks; ++i) DesCryptBlock(enciphering, data + 8 * i);
}

std::vector<uint8_t> EncipherKeyFrame(const std::array<uint8_t, 8> &fileKey,
                                      const std::vector<uint8_t> &payload, bool *enciphered) {
    const bool region =
        KeyFrameIsEnciphered(payload.data(), static_cast<uint32_t>(payload.size()));
    if (enciphered) *enciphered = region;
    if (!region) return payload;
    // The recorder enciphers the whole region in its frame buffer and stores
    // the payload's own bytes of it.
    std::vector<uint8_t> buffer = payload;
    if (buffer.size() < kKeyFrameCipherEnd) buffer.resize(kKeyFrameCipherEnd, 0);
    EncipherBlocks(fileKey.data(), buffer.data() + kKeyFrameCipherOffset, kKeyFrameCipherBlocks);
    buffer.resize(payload.size());
    return buffer;
}

void AppendWatermark(std::vector<uint8_t> &block, uint8_t high) {
    const uint32_t tag = (static_cast<uint32_t>(high) << 24) | ('q' << 16) | ('n' << 8) | 'j';
    const uint32_t w = tag + static_cast<uint32_t>(block.size());
    for (int i = 0; i < 4; ++i) block.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

}  // namespace recsim
