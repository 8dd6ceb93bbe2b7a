// The size of an open file: a file on disk and the same bytes served from
// memory give the same size, wherever the file stands; a size that cannot be
// had is a failure, never an empty file.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/serving.h"
#include "common/temp_dir.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace fault = plat::fault;

namespace {

// The size the platform gives for the file at `path`, read before and after
// the position moves (to the middle, past the end); "no file" or "no size"
// when those fail, and "moved" when the size changes with the position.
std::string SizeOf(const char *path) {
    plat::ReadFile *file = plat::OpenRead(path);
    if (file == nullptr) return "no file";
    uint64_t before = 0, after = 0;
    std::string result;
    if (!plat::FileSize(file, &before)) {
        result = "no size";
    } else {
        char buffer[100];
        plat::Seek(file, static_cast<int64_t>(before / 2));
        plat::Read(file, buffer, sizeof buffer);
        plat::Seek(file, static_cast<int64_t>(before) + 100);
        plat::Read(file, buffer, sizeof buffer);
        result = !plat::FileSize(file, &after) ? "no size" : before != after ? "moved"
                                                                             : std::to_string(before);
    }
    plat::CloseRead(file);
    return result;
}

TEST(FileSize, OnDiskAndServed) {
    TempDir dir;
    // Around the read-ahead window, and beyond 32 bits (a sparse file on
    // disk only).
    const uint64_t kSizes[] = {0, 1, 2047, 65535, 65536, 65537, 300001, (uint64_t{1} << 32) + 3};
    constexpr uint64_t kLargestServed = 1 << 20;
    for (const uint64_t size : kSizes) {
        SCOPED_TRACE(size);
        const std::string name = "f" + std::to_string(size) + ".avi";
        std::string bytes;
        std::string onDisk;
        if (size <= kLargestServed) {
            bytes.assign(static_cast<size_t>(size), 'x');
            onDisk = dir.WriteFile(name, bytes);
        } else {
            onDisk = dir.WriteFile(name, "");
            std::error_code ec;
            std::filesystem::resize_file(onDisk, size, ec);
            if (ec) {
                ADD_FAILURE() << "cannot lay out a file of " << size << " bytes: " << ec.message();
                continue;
            }
        }
        EXPECT_EQ(SizeOf(onDisk.c_str()), std::to_string(size));
        std::filesystem::remove(onDisk);
        if (size > kLargestServed) continue;
        // Served under the path of the file that is no longer there.
        const fault::ServedFile served{onDisk.c_str(),
                                       reinterpret_cast<const unsigned char *>(bytes.data()),
                                       bytes.size()};
        Serving serving(&served, 1);
        EXPECT_EQ(SizeOf(onDisk.c_str()), std::to_string(size));
    }
}

TEST(FileSize, Failures) {
    TempDir dir;
    const std::string onDisk = dir.WriteFile("disk.avi", "0123456789");
    const unsigned char data[] = "abc";
    const fault::ServedFile served{"served.avi", data, 3};
    Serving serving(&served, 1);
    uint64_t size = 7;
    EXPECT_FALSE(plat::FileSize(nullptr, &size));
    EXPECT_EQ(size, 7u);
    for (const char *path : {onDisk.c_str(), "served.avi"}) {
        SCOPED_TRACE(path);
        // The hook fails the size query as its own kind of operation: the
        // other kinds leave it alone, and it fails no read.
        fault::Arm(fault::kOpen | fault::kRead | fault::kSeek | fault::kEnumerate, 0, false);
        EXPECT_NE(SizeOf(path), "no size");
        EXPECT_EQ(fault::Counted(), 5u);  // the open, two seeks, two reads, not the sizes
        fault::Arm(fault::kSize, 1, false);
        EXPECT_EQ(SizeOf(path), "no size");
        EXPECT_NE(SizeOf(path), "no size");
        fault::Arm(fault::kSize, 2, false);
        EXPECT_EQ(SizeOf(path), "no size");  // the second query, behind the reads
        fault::Arm(fault::kAll, 0, false);
        SizeOf(path);
        EXPECT_EQ(fault::Counted(), 7u);
        fault::Disarm();
        plat::ReadFile *file = plat::OpenRead(path);
        ASSERT_NE(file, nullptr);
        EXPECT_FALSE(plat::FileSize(file, nullptr));
        plat::CloseRead(file);
    }
    // A folder has no size, whether or not it opens for reading.
    const std::string folder = dir.MakeDir("day");
    EXPECT_TRUE(SizeOf(folder.c_str()) == "no file" || SizeOf(folder.c_str()) == "no size")
        << SizeOf(folder.c_str());
}

}  // namespace
