// The read stream's read-ahead: a reader that says how much follows has it
// in one request to the file system, seeks back into what the stream still
// holds cost none, and the bytes are those of the file with or without the
// hint.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/serving.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace {

namespace fault = plat::fault;

std::vector<unsigned char> Pattern(size_t size) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return bytes;
}

struct Step {
    int64_t seek;   // -1: read on
    size_t hint;    // 0: none
    size_t bytes;   // read
};

struct Case {
    const char *what;
    size_t fileSize;
    std::vector<Step> steps;
    uint64_t reads;  // requests to the file system for all the steps
};

TEST(ReadAhead, OneRequestForWhatTheReaderSaysFollows) {
    constexpr size_t kMiB = 1024 * 1024;
    const Case cases[] = {
        {"a header window, then windows inside what the hint brought", 100000,
         {{0, 4096, 2048}, {800, 0, 2048}, {1084, 0, 2048}}, 1},
        {"the rest of the file behind a header, then back into the header", 100000,
         {{0, 4096, 2048}, {70000, SIZE_MAX, 2048}, {70008, 0, 16}, {70008, 0, 29992}, {820, 0, 2048}}, 2},
        {"a file shorter than the hint comes whole", 3000, {{0, 4096, 2048}, {2048, 0, 2048}}, 1},
        {"more than a MiB to come is read as asked", 3 * kMiB,
         {{0, 4096, 2048}, {kMiB / 2, SIZE_MAX, 2048}, {kMiB / 2 + 2048, 0, 2048}}, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> bytes = Pattern(c.fileSize);
        const fault::ServedFile served{"served.avi", bytes.data(), bytes.size()};
        Serving serving(&served, 1);
        plat::ReadFile *file = plat::OpenRead("served.avi");
        ASSERT_NE(file, nullptr);
        fault::StartCounting();
        for (const Step &step : c.steps) {
            if (step.seek >= 0) {
                ASSERT_TRUE(plat::Seek(file, step.seek));
            }
            const int64_t at = plat::Tell(file);
            if (step.hint != 0) plat::ReadAhead(file, step.hint);
            std::vector<unsigned char> got(step.bytes);
            const size_t n = plat::Read(file, got.data(), got.size());
            const size_t expected = std::min(step.bytes, c.fileSize - static_cast<size_t>(at));
            ASSERT_EQ(n, expected) << "at " << at;
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n),
                                   bytes.begin() + at))
                << "at " << at;
            EXPECT_EQ(plat::Tell(file), at + static_cast<int64_t>(n));
        }
        fault::StopCounting();
        plat::CloseRead(file);
#ifndef _WIN32
        // The POSIX stream counts its requests.
        EXPECT_EQ(fault::CountedCalls().reads, c.reads);
#endif
    }
}

}  // namespace
