// File copy as CopyFileA does it: contents and the last write time go
// across; an existing destination stays as it was with fail-if-exists, when
// it is read-only and when it is the source itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

std::vector<std::string> FolderNames(const TempDir &dir) {
    std::vector<std::string> names;
    plat::DirEntry entry{};
    plat::DirSearch *search = plat::FindFirst((dir / "*").c_str(), &entry);
    if (search == nullptr) return names;
    do {
        names.push_back(entry.name);
    } while (plat::FindNext(search, &entry));
    plat::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// A refused copy leaves the folder as it was: no half-written temporary.
// Refused are an existing destination with fail-if-exists, a destination
// that is the source itself (under its own or another spelling of its path),
// and a read-only destination.
TEST(CopyFile, RefusedCopyLeavesNothingBehind) {
    namespace fs = std::filesystem;
    struct Case {
        const char *title;
        const char *destination;  // relative to the folder
        bool failIfExists;
        bool readOnly;
    };
    const Case cases[] = {
        {"existing destination, fail if exists", "dest.bin", true, false},
        {"the source itself", "source.bin", false, false},
        {"the source itself, fail if exists", "source.bin", true, false},
        {"the source itself by another spelling", "./source.bin", false, false},
        {"read-only destination", "dest.bin", false, true},
    };
    const char *unenforced = nullptr;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        const std::string source = dir.WriteFile("source.bin", "new");
        dir.WriteFile("dest.bin", "old");
        const std::string destination = dir / c.destination;
        if (c.readOnly) {
            fs::permissions(fs::path(destination),
                            fs::perms::owner_write | fs::perms::group_write |
                                fs::perms::others_write,
                            fs::perm_options::remove);
#ifdef _WIN32
            // Windows refuses to write a read-only file; a Windows layer run
            // by the superuser over another system may not, and then the
            // system's own copy cannot refuse it either.
            if (std::FILE *probe = std::fopen(destination.c_str(), "r+b")) {
                std::fclose(probe);
                fs::permissions(fs::path(destination), fs::perms::owner_write, fs::perm_options::add);
                unenforced = c.title;
                continue;
            }
#endif
        }
        EXPECT_FALSE(plat::CopyFile(source.c_str(), destination.c_str(), c.failIfExists));
        EXPECT_EQ(TempDir::ReadFile(source), "new");
        EXPECT_EQ(TempDir::ReadFile(dir / "dest.bin"), "old");
        EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{".", "..", "dest.bin", "source.bin"}));
        if (c.readOnly) {
            fs::permissions(fs::path(destination), fs::perms::owner_write, fs::perm_options::add);
        }
    }
    if (unenforced != nullptr) GTEST_SKIP() << "this system writes read-only files: " << unenforced << " not checked";
}

}  // namespace
