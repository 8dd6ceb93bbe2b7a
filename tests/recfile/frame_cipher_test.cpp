#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "recfile/des.h"
#include "recfile/frame_cipher.h"

namespace {

const unsigned char kFileKey[8] = {'k', 'e', 'y', '#', '2', '0', '1', '5'};

// A buffer of `capacity` bytes that begins with `head` and continues with a
// counting pattern.
std::vector<unsigned char> Frame(const std::vector<unsigned char> &head, uint32_t capacity) {
    std::vector<unsigned char> buffer(capacity);
    for (uint32_t i = 0; i < capacity; ++i) buffer[i] = static_cast<unsigned char>(i * 7 + 3);
    std::memcpy(buffer.data(), head.data(), head.size());
    return buffer;
}

// What deciphering `blocks` blocks from byte 24 makes of a buffer.
std::vector<unsigned char> Deciphered(std::vector<unsigned char> buffer, int32_t blocks) {
    DesDecryptBlocks(kFileKey, buffer.data() + 24, blocks);
    return buffer;
}

const std::vector<unsigned char> kSps = {0, 0, 0, 1, 0x67, 0x42};
const std::vector<unsigned char> kAudSps = {0, 0, 0, 1, 0x09, 0x10, 0, 0, 0, 1, 0x67};
const std::vector<unsigned char> kSlice = {0, 0, 0, 1, 0x65, 0x88};
const std::vector<unsigned char> kAudSlice = {0, 0, 0, 1, 0x09, 0x10, 0, 0, 0, 1, 0x65};
// NAL reference bits above the unit type do not matter.
const std::vector<unsigned char> kSpsOtherRef = {0, 0, 0, 1, 0x27, 0x42};

struct FrameCase {
    const char *what;
    std::vector<unsigned char> head;
    uint32_t length;
    uint32_t capacity;
    int32_t blocksDeciphered;  // 0: the frame stays as stored
};

void PrintTo(const FrameCase &c, std::ostream *os) { *os << c.what; }

class KeyFrameRule : public ::testing::TestWithParam<FrameCase> {};

TEST_P(KeyFrameRule, DeciphersExactlyTheRegion) {
    const FrameCase &c = GetParam();
    std::vector<unsigned char> frame = Frame(c.head, c.capacity);
    const std::vector<unsigned char> expected =
        c.blocksDeciphered ? Deciphered(frame, c.blocksDeciphered) : frame;
    EXPECT_EQ(DecryptKeyFrame(kFileKey, frame.data(), c.length, c.capacity),
              c.blocksDeciphered != 0);
    EXPECT_EQ(frame, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, KeyFrameRule,
    ::testing::Values(
        FrameCase{"sps", kSps, 4000, 4000, 32},
        FrameCase{"sps_other_ref_bits", kSpsOtherRef, 4000, 4000, 32},
        FrameCase{"delimiter_then_sps", kAudSps, 4000, 4000, 32},
        FrameCase{"slice", kSlice, 4000, 4000, 0},
        FrameCase{"delimiter_then_slice", kAudSlice, 4000, 4000, 0},
        // The region is whole blocks from byte 24 also when the payload ends
        // inside it; the frame buffer behind the payload takes the rest.
        FrameCase{"short_payload_in_frame_buffer", kSps, 100, 512000, 32},
        FrameCase{"exactly_280", kSps, 280, 280, 32},
        // A buffer that ends inside the region: only the blocks it holds.
        FrameCase{"buffer_ends_inside_region", kSps, 100, 100, 9},
        FrameCase{"buffer_without_a_block", kSps, 30, 31, 0},
        // Too short to show the unit type: nothing read beyond the payload.
        FrameCase{"four_bytes", kSps, 4, 512000, 0},
        FrameCase{"delimiter_cut_before_second_unit", kAudSps, 10, 512000, 0},
        FrameCase{"delimiter_with_sps_type_byte", kAudSps, 11, 512000, 32}),
    [](const ::testing::TestParamInfo<FrameCase> &info) { return info.param.what; });

TEST(KeyFrameRule, NullPayloadIsLeftAlone) {
    EXPECT_FALSE(DecryptKeyFrame(kFileKey, nullptr, 400, 400));
    EXPECT_FALSE(KeyFrameIsEnciphered(nullptr, 400));
}

}  // namespace
