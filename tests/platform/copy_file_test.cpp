// File copy as CopyFileA does it: contents and the last write time go
// across, and with fail-if-exists an existing destination stays as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/platform.h"

namespace {

uint64_t LastWrite(const std::string &path) {
    plat::DirEntry entry{};
    plat::DirSearch *search = plat::FindFirst(path.c_str(), &entry);
    if (search == nullptr) return 0;
    plat::FindClose(search);
    return entry.lastWrite;
}

TEST(CopyFile, CarriesContentsAndWriteTime) {
    TempDir dir;
    const std::string source = dir.WriteFile("source.avi", std::string(100000, 'x') + "end");
    // A write time well in the past, so that a copy stamped "now" shows.
    namespace fs = std::filesystem;
    fs::last_write_time(fs::path(source), fs::last_write_time(fs::path(source)) -
                                              std::chrono::hours(24 * 400));
    const std::string destination = dir / "copy.avi";

    ASSERT_TRUE(plat::CopyFile(source.c_str(), destination.c_str(), true));
    EXPECT_EQ(TempDir::ReadFile(destination), TempDir::ReadFile(source));
    EXPECT_EQ(LastWrite(destination), LastWrite(source));
    EXPECT_NE(LastWrite(source), 0u);
}

// A refused copy leaves the folder as it was: no half-written temporary.
TEST(CopyFile, RefusedCopyLeavesNothingBehind) {
    TempDir dir;
    const std::string source = dir.WriteFile("source.bin", "new");
    const std::string destination = dir.WriteFile("dest.bin", "old");
    EXPECT_FALSE(plat::CopyFile(source.c_str(), destination.c_str(), true));
    EXPECT_EQ(TempDir::ReadFile(destination), "old");

    std::vector<std::string> names;
    plat::DirEntry entry{};
    plat::DirSearch *search = plat::FindFirst((dir / "*").c_str(), &entry);
    ASSERT_NE(search, nullptr);
    do {
        names.push_back(entry.name);
    } while (plat::FindNext(search, &entry));
    plat::FindClose(search);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "dest.bin", "source.bin"}));
}

}  // namespace
