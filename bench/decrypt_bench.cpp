// Deciphering the region of one key frame: a key schedule and 32 blocks,
// ours beside OpenSSL's DES where the machine has it.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_registry.h"
#include "recfile/des.h"

#ifdef AVFILE_HAVE_OPENSSL_DES
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#endif

namespace {

constexpr unsigned char kKey[8] = {'F', 'i', 'l', 'e', 'K', 'e', 'y', '1'};

void FillRegion(unsigned char *region) {
    for (int i = 0; i < 256; ++i) region[i] = static_cast<unsigned char>(i * 37 + 11);
}

void DecryptOurs(benchmark::State &state) {
    unsigned char region[256];
    FillRegion(region);
    for (auto _ : state) {
        DesDecryptBlocks(kKey, region, 32);
        benchmark::DoNotOptimize(region);
    }
}

#ifdef AVFILE_HAVE_OPENSSL_DES
void DecryptOpenSsl(benchmark::State &state) {
    unsigned char region[256];
    FillRegion(region);
    DES_cblock key;
    std::memcpy(key, kKey, 8);
    for (auto _ : state) {
        DES_key_schedule schedule;
        DES_set_key_unchecked(&key, &schedule);
        for (int b = 0; b < 32; ++b) {
            DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(region + 8 * b),
                            reinterpret_cast<DES_cblock *>(region + 8 * b), &schedule, DES_DECRYPT);
        }
        benchmark::DoNotOptimize(region);
    }
}
#endif

}  // namespace

void RegisterDecryptBenchmarks() {
    benchmark::RegisterBenchmark("decrypt/ours", DecryptOurs);
#ifdef AVFILE_HAVE_OPENSSL_DES
    benchmark::RegisterBenchmark("decrypt/openssl", DecryptOpenSsl);
#endif
}
