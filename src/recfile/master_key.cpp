#include "recfile/master_key.h"

#include <cstring>

#include "platform/platform.h"
#include "recfile/des.h"
#include "support/routines.h"

namespace {

// The built-in key is kept masked so that it is not one readable string in
// the library file.
constexpr unsigned char kKeyMask = 0x5A;
constexpr unsigned char kMaskedDefault[kMasterKeySize] = {
    'D' ^ kKeyMask, '5' ^ kKeyMask, 'v' ^ kKeyMask, '#' ^ kKeyMask,
    'R' ^ kKeyMask, 'o' ^ kKeyMask, 'a' ^ kKeyMask, 'd' ^ kKeyMask};

constexpr char kProfileName[] = "AVFILE.INI";

struct MasterKeyHolder {
    unsigned char key[kMasterKeySize];

    MasterKeyHolder() {
        DefaultMasterKey(key);
        char module[AVFILE_MAX_PATH] = {};
        if (!plat::OwnModulePath(module, sizeof module)) return;
        size_t folder = 0;
        for (size_t i = 0; module[i]; ++i) {
            if (plat::IsPathSep(module[i])) folder = i + 1;
        }
        char profile[AVFILE_MAX_PATH] = {};
        if (folder + sizeof kProfileName > sizeof profile) return;
        std::memcpy(profile, module, folder);
        std::memcpy(profile + folder, kProfileName, sizeof kProfileName);
        ReadMasterKey(profile, key);
    }
};

}  // namespace

void DefaultMasterKey(unsigned char *key) {
    for (uint32_t i = 0; i < kMasterKeySize; ++i) key[i] = kMaskedDefault[i] ^ kKeyMask;
}

bool ReadMasterKey(const char *profilePath, unsigned char *key) {
    // Room for more than eight characters, so that a longer value is seen
    // as such and refused instead of being cut to eight.
    char value[64] = {};
    plat::ProfileString("CRYPT", "MASTERKEY", "", value, sizeof value, profilePath);
    if (value[0] == '\0') return false;
    bool valid = std::strlen(value) == kMasterKeySize;
    for (uint32_t i = 0; valid && i < kMasterKeySize; ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        valid = c >= 0x20 && c <= 0x7E;
    }
    if (!valid) {
        // The value itself is not shown: it is meant to be a secret.
        DebugTrace("AVFILE.INI: MASTERKEY is not eight printable characters, the built-in master key is used");
        return false;
    }
    std::memcpy(key, value, kMasterKeySize);
    return true;
}

const unsigned char *MasterKey() {
    static const MasterKeyHolder holder;
    return holder.key;
}

void PrepareFileKey(uint8_t encryption, unsigned char *fileKey) {
    if ((encryption & 0xF0) != 0) DesDecryptBlocks(MasterKey(), fileKey, 1);
}
