// Encrypted files as the recorder writes them, checked against bytes that do
// not come from the library's DES, key-frame rule or master key: golden
// bytes written out below, and OpenSSL's DES where the build has it. The
// simulator enciphers with the library's own routines, so a fault shared by
// both would pass every round trip; it cannot pass these.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifdef AVFILE_HAVE_OPENSSL_DES
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#endif

#include "avfile/avfile.h"
#include "common/temp_dir.h"
#include "recsim/recsim.h"

namespace {

using Key = std::array<uint8_t, 8>;
using Bytes = std::vector<uint8_t>;

// The built-in master key the README names, and a file key.
const Key kMasterKey = {'D', '5', 'v', '#', 'R', 'o', 'a', 'd'};
const Key kFileKey = {'G', 'o', 'l', 'd', 'e', 'n', 'K', '1'};

Bytes Hex(const char *text) {
    Bytes out;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(text + i, 2), nullptr, 16)));
    }
    return out;
}

// A key frame of `size` bytes: a start code and a sequence parameter set's
// NAL header (behind a 6-byte access unit delimiter with `delimiter`), then
// the bytes (37 i + 11) mod 256, which hold no start code.
Bytes KeyFrame(size_t size, bool delimiter, uint8_t firstUnit = 0x67) {
    Bytes p(size);
    for (size_t i = 0; i < size; ++i) p[i] = static_cast<uint8_t>(37 * i + 11);
    const Bytes head = delimiter ? Bytes{0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, firstUnit}
                                 : Bytes{0, 0, 0, 1, firstUnit};
    std::copy(head.begin(), head.end(), p.begin());
    return p;
}

// "GoldenK1" enciphered under "D5v#Road", as the file stores it.
const Bytes kStoredFileKey = Hex("f759365161328a17");
// Bytes 24 to 279 of KeyFrame(300, ...) enciphered under "GoldenK1": 32 DES
// blocks, each on its own.
const Bytes kRegionOf300 = Hex(
    "cd51ceefbf95fab4a57988943e9d9e5be7424a5a1c2f2e1e17b90d7b53613e16"
    "e64d08af56a846c4b676e8aa2bd0d33060dfc47fcf32c87b7d22b8431243fad5"
    "00b7f32952a8f33b5326592115ec8beb2df6637025e700ad318fe5b0ec4f1121"
    "132e5989bd16ff47822d6ad27efef6ad93911a85b6625d54e5f63f83efd55ff1"
    "43fd2ba13a617d5740390d317108c44c8b582d8762baedc806ef83e65b67f134"
    "83698ba66e120a60c189704960cfce6823fec2a9601dde99a39a5bc30c7f415f"
    "b7fc8084ca308b4d8103d4ed0ee87f8d99c406d52d447a7dd1113b890f97c367"
    "7c89d6a7181312ee7ab195560e472f7a399b8b202ed2117e2b60876fa173361f");
// Bytes 24 to 99 of KeyFrame(100, false): the region is enciphered in a
// buffer zero-filled behind the payload, and only the payload's bytes stored.
const Bytes kRegionOf100 = Hex(
    "cd51ceefbf95fab4a57988943e9d9e5be7424a5a1c2f2e1e17b90d7b53613e16"
    "e64d08af56a846c4b676e8aa2bd0d33060dfc47fcf32c87b7d22b8431243fad5"
    "00b7f32952a8f33b48571ef3");

// What the file must hold for a key frame that carries a region.
Bytes WithRegion(Bytes payload, const Bytes &region) {
    std::copy(region.begin(), region.end(), payload.begin() + 24);
    return payload;
}

struct Frame {
    const char *what;
    Bytes payload;
    bool key;
    Bytes stored;  // as the file must hold it
};

std::vector<Frame> Frames() {
    return {
        {"parameter set first", KeyFrame(300, false), true,
         WithRegion(KeyFrame(300, false), kRegionOf300)},
        // The region is counted from the delimiter's first byte.
        {"delimiter, then parameter set", KeyFrame(300, true), true,
         WithRegion(KeyFrame(300, true), kRegionOf300)},
        {"shorter than the region", KeyFrame(100, false), true,
         WithRegion(KeyFrame(100, false), kRegionOf100)},
        {"slice first", KeyFrame(300, false, 0x65), true, KeyFrame(300, false, 0x65)},
        {"delimiter, then slice", KeyFrame(300, true, 0x65), true, KeyFrame(300, true, 0x65)},
        {"not a key frame", KeyFrame(300, false), false, KeyFrame(300, false)},
        {"the rest of the file", KeyFrame(1800, false, 0x41), false, KeyFrame(1800, false, 0x41)},
    };
}

recsim::FileRecipe EncryptedRecipe(const std::vector<Frame> &frames) {
    recsim::FileRecipe recipe;
    recipe.header.encryption = 0x10;
    recipe.header.stopSeconds = recipe.header.startSeconds + 1;
    recipe.info.fileKey = kFileKey;
    for (const Frame &f : frames) {
        recsim::Chunk c;
        c.kind = recsim::ChunkKind::Video;
        c.key = f.key;
        c.payload = f.payload;
        recipe.chunks.push_back(c);
    }
    return recipe;
}

// The simulator stores the file key and the key frames as the golden bytes
// say, and the library plays that file back to the plain frames.
TEST(GoldenCipher, SimulatorWritesTheGoldenBytesAndTheLibraryReadsThem) {
    const std::vector<Frame> frames = Frames();
    const recsim::FileRecipe recipe = EncryptedRecipe(frames);
    recsim::WrittenFile w;
    const Bytes file = recsim::BuildFile(recipe, &w);
    ASSERT_EQ(w.chunks.size(), frames.size());
    // The file key in the extended main header and in the information block.
    EXPECT_EQ(Bytes(file.begin() + 88, file.begin() + 96), kStoredFileKey);
    ASSERT_NE(w.infoListOffset, 0u);
    EXPECT_EQ(Bytes(file.begin() + w.infoListOffset + 21, file.begin() + w.infoListOffset + 29),
              kStoredFileKey);
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto at = file.begin() + w.chunks[i].offset + 8;
        EXPECT_EQ(Bytes(at, at + static_cast<ptrdiff_t>(frames[i].stored.size())), frames[i].stored)
            << frames[i].what;
    }

    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1025h.avi";
    ASSERT_TRUE(recsim::WriteFile(path, recipe));
    PasswordEntry password{};
    std::memcpy(password.key, kFileKey.data(), 8);
    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, &password, 1, 1, &handle), 0);
    const AvFrameInfo request{};
    for (const Frame &f : frames) {
        AvFrameInfo frame{};
        ASSERT_EQ(AVFILE_FEReadFrame(handle, &frame, &request), 0) << f.what;
        // A key frame is delivered without its delimiter. The block that a
        // short payload ends inside was stored cut, so only the whole blocks
        // before it come back plain.
        const size_t drop = f.key && f.payload[4] == 0x09 ? 6 : 0;
        Bytes expected(f.payload.begin() + static_cast<ptrdiff_t>(drop), f.payload.end());
        Bytes got(frame.data, frame.data + frame.length);
        ASSERT_EQ(got.size(), expected.size()) << f.what;
        if (f.stored != f.payload && f.payload.size() < 280) {
            const size_t whole = 24 + (f.payload.size() - 24) / 8 * 8 - drop;
            expected.resize(whole);
            got.resize(whole);
        }
        EXPECT_EQ(got, expected) << f.what;
    }
    AVFILE_FECloseFile(handle);
}

#ifdef AVFILE_HAVE_OPENSSL_DES
Bytes OpenSslEncipher(const Key &key, Bytes data) {
    DES_cblock keyBlock;
    std::memcpy(keyBlock, key.data(), 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    for (size_t i = 0; i + 8 <= data.size(); i += 8) {
        DES_cblock out;
        DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(&data[i]), &out, &schedule,
                        DES_ENCRYPT);
        std::memcpy(&data[i], out, 8);
    }
    return data;
}

// The documented rule with OpenSSL's DES: the 32 blocks from byte 24 of a
// key frame that begins with a sequence parameter set, enciphered in a
// buffer that reaches byte 280, and the payload's own bytes stored.
Bytes Stored(const Key &fileKey, const Bytes &payload, bool key) {
    const bool sps = payload.size() > 10 && (payload[4] & 0x1F) == 7;
    const bool delimitedSps =
        payload.size() > 10 && (payload[4] & 0x1F) == 9 && (payload[10] & 0x1F) == 7;
    const bool region = key && (sps || delimitedSps);
    if (!region) return payload;
    Bytes buffer = payload;
    buffer.resize(std::max<size_t>(payload.size(), 280), 0);
    const Bytes enciphered =
        OpenSslEncipher(fileKey, Bytes(buffer.begin() + 24, buffer.begin() + 280));
    std::copy(enciphered.begin(), enciphered.end(), buffer.begin() + 24);
    buffer.resize(payload.size());
    return buffer;
}

// The golden bytes above are OpenSSL's.
TEST(GoldenCipher, GoldenBytesAreOpenSslsDes) {
    EXPECT_EQ(OpenSslEncipher(kMasterKey, Bytes(kFileKey.begin(), kFileKey.end())), kStoredFileKey);
    for (const Frame &f : Frames()) {
        EXPECT_EQ(Stored(kFileKey, f.payload, f.key), f.stored) << f.what;
    }
}

// Random keys and key frames of random lengths and forms: what the
// simulator stores is what OpenSSL's DES and the documented rule give.
TEST(GoldenCipher, SimulatorAgreesWithOpenSslOnRandomFrames) {
    std::mt19937 random(20150109);
    for (int trial = 0; trial < 200; ++trial) {
        Key master, fileKey;
        for (uint8_t &b : master) b = static_cast<uint8_t>(0x21 + random() % 94);
        for (uint8_t &b : fileKey) b = static_cast<uint8_t>(random());
        const bool delimiter = trial % 3 == 0;
        const uint8_t unit = trial % 7 == 0 ? 0x65 : 0x67;
        std::vector<Frame> frames = {
            {"random", KeyFrame(12 + random() % 900, delimiter, unit), true, {}}};
        for (uint8_t &b : frames[0].payload) {
            if (&b - frames[0].payload.data() >= 12) b = static_cast<uint8_t>(random() | 1);
        }
        frames.push_back({"the rest", KeyFrame(2000, false, 0x41), false, {}});
        recsim::FileRecipe recipe = EncryptedRecipe(frames);
        recipe.info.fileKey = fileKey;
        recipe.masterKey = master;
        recsim::WrittenFile w;
        const Bytes file = recsim::BuildFile(recipe, &w);
        ASSERT_EQ(Bytes(file.begin() + 88, file.begin() + 96),
                  OpenSslEncipher(master, Bytes(fileKey.begin(), fileKey.end())))
            << "trial " << trial;
        const auto at = file.begin() + w.chunks[0].offset + 8;
        const Bytes &payload = frames[0].payload;
        ASSERT_EQ(Bytes(at, at + static_cast<ptrdiff_t>(payload.size())),
                  Stored(fileKey, payload, true))
            << "trial " << trial << ", " << payload.size() << " bytes";
    }
}
#else
TEST(GoldenCipher, GoldenBytesAreOpenSslsDes) {
    GTEST_SKIP() << "no independent DES implementation in this build (OpenSSL's libcrypto)";
}
#endif

}  // namespace
