// A text chunk's payload through the RMC parser and the side-data builder:
// nothing read beyond the chunk, slots always terminated, records of a valid
// length and layout.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "recfile/gps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    const int32_t n = static_cast<int32_t>(size);

    RmcFields fields;
    std::memset(&fields, 0x7f, sizeof fields);
    const int32_t parsed = ParseRmc(data, n, &fields);
    if (parsed != 0 && parsed != -1) fuzz::Broken("RMC parser result");
    if (parsed == 0) {
        for (const auto &slot : fields.slot) {
            if (std::memchr(slot, '\0', sizeof slot) == nullptr) fuzz::Broken("slot without terminator");
        }
        (void)NmeaToDegrees(fields.slot[RMC_LATITUDE]);
        (void)NmeaToDegrees(fields.slot[RMC_LONGITUDE]);
    }

    // The builder writes into an exact-size record buffer.
    std::unique_ptr<unsigned char[]> out(new unsigned char[kSideDataMaxLength]);
    int32_t length = -1;
    BuildSideData(data, n, out.get(), &length);
    if (length != 4 && length != 48 && length != 244 && length != 288) {
        fuzz::Broken("side-data record of " + std::to_string(length) + " bytes");
    }
    uint16_t flags;
    std::memcpy(&flags, out.get(), sizeof flags);
    const int32_t expected = 4 + ((flags & AVFILE_SIDEDATA_GPS) ? 44 : 0) +
                             ((flags & AVFILE_SIDEDATA_SAMPLES) ? 240 : 0);
    if ((flags & ~3u) != 0 || expected != length) fuzz::Broken("flags disagree with the length");
    if (((flags & AVFILE_SIDEDATA_SAMPLES) != 0) != (n >= kSampleChunkMinLength)) {
        fuzz::Broken("samples present for the wrong chunk length");
    }

    // A NUL-terminated copy for the degree conversion, which reads a text.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    (void)NmeaToDegrees(text.get());
    return 0;
}
