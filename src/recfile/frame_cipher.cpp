#include "recfile/frame_cipher.h"

#include "recfile/des.h"

namespace {

constexpr unsigned char kNalTypeMask = 0x1F;
constexpr unsigned char kNalSequenceParameterSet = 7;
constexpr unsigned char kNalAccessUnitDelimiter = 9;

}  // namespace

bool KeyFrameIsEnciphered(const unsigned char *payload, uint32_t length) {
    if (payload == nullptr || length <= 4) return false;
    const unsigned char first = payload[4] & kNalTypeMask;
    if (first == kNalSequenceParameterSet) return true;
    // A delimiter unit is 6 bytes: start code, NAL header, picture type.
    return first == kNalAccessUnitDelimiter && length > 10 &&
           (payload[10] & kNalTypeMask) == kNalSequenceParameterSet;
}

bool DecryptKeyFrame(const unsigned char *fileKey, unsigned char *payload, uint32_t length,
                     uint32_t capacity) {
    if (!KeyFrameIsEnciphered(payload, length) || capacity < kKeyFrameCipherOffset + 8) {
        return false;
    }
    int32_t blocks = kKeyFrameCipherBlocks;
    if (capacity < kKeyFrameCipherEnd) {
        blocks = static_cast<int32_t>((capacity - kKeyFrameCipherOffset) / 8);
    }
    DesDecryptBlocks(fileKey, payload + kKeyFrameCipherOffset, blocks);
    return true;
}
