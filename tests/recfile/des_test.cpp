#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "recfile/des.h"

#ifdef AVFILE_HAVE_OPENSSL_DES
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#endif

namespace {

std::vector<unsigned char> Hex(const std::string &text) {
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

struct DesVector {
    const char *key;
    const char *cipher;
    const char *plain;
};

// The electronic codebook example of FIPS 81 (Appendix B, "Now is the time
// for all "), and single-block answers of the standard's validation tables.
const DesVector kVectors[] = {
    {"0123456789abcdef", "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53",
     "4e6f77206973207468652074696d6520666f7220616c6c20"},
    {"133457799bbcdff1", "85e813540f0ab405", "0123456789abcdef"},
    {"0101010101010101", "95f8a5e5dd31d900", "8000000000000000"},
    {"0101010101010101", "166b40b44aba4bd6", "0000000000000001"},
    {"8001010101010101", "95a8d72813daa94d", "0000000000000000"},
    {"7ca110454a1a6e57", "690f5b0d9a26939b", "01a1d6d039776742"},
};

TEST(DesDecryptBlocks, PublishedVectors) {
    for (const DesVector &v : kVectors) {
        const std::vector<unsigned char> key = Hex(v.key);
        std::vector<unsigned char> data = Hex(v.cipher);
        const int32_t blocks = static_cast<int32_t>(data.size() / 8);
        EXPECT_EQ(DesDecryptBlocks(key.data(), data.data(), blocks), 1) << v.key;
        EXPECT_EQ(data, Hex(v.plain)) << v.key << " " << v.cipher;
    }
}

TEST(DesDecryptBlocks, ParityBitsOfTheKeyAreIgnored) {
    const std::vector<unsigned char> key = Hex("0123456789abcdef");
    std::vector<unsigned char> flipped = key;
    for (unsigned char &b : flipped) b ^= 1;
    std::vector<unsigned char> a = Hex("3fa40e8a984d4815");
    std::vector<unsigned char> b = a;
    DesDecryptBlocks(key.data(), a.data(), 1);
    DesDecryptBlocks(flipped.data(), b.data(), 1);
    EXPECT_EQ(a, b);
}

TEST(DesDecryptBlocks, NoDataOrNoBlocksDoesNothing) {
    const std::vector<unsigned char> key = Hex("0123456789abcdef");
    std::vector<unsigned char> data = Hex("3fa40e8a984d4815");
    const std::vector<unsigned char> before = data;
    EXPECT_EQ(DesDecryptBlocks(key.data(), nullptr, 1), 0);
    EXPECT_EQ(DesDecryptBlocks(key.data(), data.data(), 0), 0);
    EXPECT_EQ(DesDecryptBlocks(key.data(), data.data(), -1), 0);
    EXPECT_EQ(data, before);
}

// Each block is deciphered on its own: no chaining between blocks.
TEST(DesDecryptBlocks, BlocksAreIndependent) {
    const std::vector<unsigned char> key = Hex("0123456789abcdef");
    std::vector<unsigned char> twice = Hex("3fa40e8a984d48153fa40e8a984d4815");
    DesDecryptBlocks(key.data(), twice.data(), 2);
    EXPECT_EQ(std::memcmp(twice.data(), "Now is tNow is t", 16), 0);
}

#ifdef AVFILE_HAVE_OPENSSL_DES
// An independent implementation deciphers random blocks under random keys
// to the same bytes.
TEST(DesDecryptBlocks, AgreesWithAnIndependentImplementation) {
    std::mt19937 random(20150109);
    for (int trial = 0; trial < 2000; ++trial) {
        unsigned char key[8];
        std::vector<unsigned char> data(8 * (1 + trial % 4));
        for (unsigned char &b : key) b = static_cast<unsigned char>(random());
        for (unsigned char &b : data) b = static_cast<unsigned char>(random());
        std::vector<unsigned char> expected(data.size());
        DES_key_schedule schedule;
        DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(key), &schedule);
        for (size_t i = 0; i < data.size(); i += 8) {
            DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(&data[i]),
                            reinterpret_cast<DES_cblock *>(&expected[i]), &schedule,
                            DES_DECRYPT);
        }
        DesDecryptBlocks(key, data.data(), static_cast<int32_t>(data.size() / 8));
        ASSERT_EQ(data, expected) << "trial " << trial;
    }
}
#else
TEST(DesDecryptBlocks, AgreesWithAnIndependentImplementation) {
    GTEST_SKIP() << "no independent DES implementation in this build (OpenSSL's libcrypto)";
}
#endif

}  // namespace
