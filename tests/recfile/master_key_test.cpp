#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "platform/platform.h"
#include "recfile/des.h"
#include "recfile/master_key.h"

namespace {

std::string g_trace;
void CaptureTrace(const char *text) { g_trace += text; }

std::string KeyText(const unsigned char *key) {
    return std::string(reinterpret_cast<const char *>(key), kMasterKeySize);
}

TEST(MasterKey, BuiltInKeyWhenNoProfileBesideTheLibrary) {
    unsigned char key[kMasterKeySize];
    DefaultMasterKey(key);
    EXPECT_EQ(KeyText(key), "D5v#Road");
    EXPECT_EQ(KeyText(MasterKey()), "D5v#Road");
}

TEST(MasterKey, ProfileValueMustBeEightPrintableCharacters) {
    struct Case {
        const char *profile;
        const char *key;  // null: refused, the key stays as it was
        bool traced;      // a value there but refused is told once
    };
    const Case cases[] = {
        {"[CRYPT]\nMASTERKEY=Km7$pQ2z\n", "Km7$pQ2z", false},
        {"[crypt]\nmasterkey =  Km7$pQ2z  \n", "Km7$pQ2z", false},
        {"[CRYPT]\nMASTERKEY=Km 7pQ2z\n", "Km 7pQ2z", false},
        {"[CRYPT]\nMASTERKEY=Km7$pQ2\n", nullptr, true},
        {"[CRYPT]\nMASTERKEY=Km7$pQ2zz\n", nullptr, true},
        {"[CRYPT]\nMASTERKEY=Km7\tpQ2z\n", nullptr, true},
        {"[CRYPT]\nMASTERKEY=Km7\xe9pQ2z\n", nullptr, true},
        {"[CRYPT]\nMASTERKEY=\n", nullptr, false},
        {"[CRYPT]\nOTHER=Km7$pQ2z\n", nullptr, false},
        {"[OTHER]\nMASTERKEY=Km7$pQ2z\n", nullptr, false},
    };
    TempDir dir;
    plat::SetDebugSink(CaptureTrace);
    for (const Case &c : cases) {
        const std::string path = dir.WriteFile("AVFILE.INI", c.profile);
        unsigned char key[kMasterKeySize];
        std::memcpy(key, "unchangd", kMasterKeySize);
        g_trace.clear();
        EXPECT_EQ(ReadMasterKey(path.c_str(), key), c.key != nullptr) << c.profile;
        EXPECT_EQ(KeyText(key), c.key ? c.key : "unchangd") << c.profile;
        // The line does not show the value.
        EXPECT_EQ(g_trace, c.traced ? "AVFILE.INI: MASTERKEY is not eight printable characters, "
                                      "the built-in master key is used\n"
                                    : "")
            << c.profile;
    }
    g_trace.clear();
    unsigned char key[kMasterKeySize] = {};
    EXPECT_FALSE(ReadMasterKey((dir / "missing.ini").c_str(), key));
    EXPECT_EQ(g_trace, "");
    plat::SetDebugSink(nullptr);
}

TEST(MasterKey, FileKeyIsDecipheredOnlyForEncryptedFiles) {
    const unsigned char stored[8] = {0x3f, 0xa4, 0x0e, 0x8a, 0x98, 0x4d, 0x48, 0x15};
    unsigned char deciphered[8];
    std::memcpy(deciphered, stored, 8);
    DesDecryptBlocks(MasterKey(), deciphered, 1);

    const struct {
        uint8_t encryption;
        bool encrypted;
    } cases[] = {{0x00, false}, {0x05, false}, {0x0F, false},
                 {0x10, true},  {0x15, true},  {0x25, true}, {0xF0, true}};
    for (const auto &c : cases) {
        unsigned char key[8];
        std::memcpy(key, stored, 8);
        PrepareFileKey(c.encryption, key);
        EXPECT_EQ(std::memcmp(key, c.encrypted ? deciphered : stored, 8), 0)
            << "encryption byte " << int(c.encryption);
    }
}

}  // namespace
