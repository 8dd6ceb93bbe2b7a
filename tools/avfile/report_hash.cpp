#include "report_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct DigestFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
struct FileClose {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

std::string Hex(const unsigned char *digest, unsigned length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

}  // namespace

bool Sha256OfFile(const std::string &path, std::string &hex, uint64_t &bytes, std::string &error) {
    constexpr size_t kChunk = size_t{1} << 20;
    hex.clear();
    bytes = 0;
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = path + ": cannot be read for its check sum: " + std::strerror(errno);
        return false;
    }
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChunk]);
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!buffer || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        error = path + ": out of memory for its check sum";
        return false;
    }
    for (;;) {
        const size_t n = std::fread(buffer.get(), 1, kChunk, file.get());
        if (n > 0 && EVP_DigestUpdate(context.get(), buffer.get(), n) != 1) {
            error = path + ": check sum failed";
            return false;
        }
        bytes += n;
        if (n < kChunk) break;
    }
    if (std::ferror(file.get())) {
        error = path + ": read error while taking its check sum";
        return false;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        error = path + ": check sum failed";
        return false;
    }
    hex = Hex(digest, length);
    return true;
}

std::string CryptoLibraryVersion() { return OpenSSL_version(OPENSSL_VERSION); }
