// Paths of the module and its host: full-path resolution, the application
// folder with its "AppPath.INI" redirection, and the module's own name. In a
// test program the library is linked in, so its module is the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/temp_dir.h"
#include "platform/platform.h"
#include "support/module_paths.h"

namespace {

std::string FolderOf(const std::string &path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string FullPath(const std::string &path) {
    char out[AVFILE_MAX_PATH] = {};
    return plat::FullPath(path.c_str(), out, sizeof out) ? out : "<failed>";
}

TEST(FullPath, ResolvesDotParts) {
    TempDir dir;
    const std::string base = dir.path();
    const char sep = plat::kPathSep;
    const struct {
        std::string in, expected;
    } cases[] = {
        {base + "a\\b\\..\\c", base + "a" + sep + "c"},
        {base + "a/b/../c/", base + "a" + sep + "c" + sep},
        {base + "a\\.\\b", base + "a" + sep + "b"},
        {base + "a\\..\\..\\", FolderOf(base.substr(0, base.size() - 1))},
        {base + "a\\b\\..\\..\\..\\x\\..\\", FolderOf(base.substr(0, base.size() - 1))},
    };
    for (const auto &c : cases) EXPECT_EQ(FullPath(c.in), c.expected) << c.in;
}

TEST(FullPath, TooLongFails) {
    char out[8];
    EXPECT_FALSE(plat::FullPath("abcdefghijklmnop", out, sizeof out));
}

TEST(ModulePaths, OwnModuleIsFoundByAddress) {
    char own[AVFILE_MAX_PATH] = {}, exe[AVFILE_MAX_PATH] = {};
    ASSERT_TRUE(plat::OwnModulePath(own, sizeof own));
    ASSERT_TRUE(plat::ExecutablePath(exe, sizeof exe));
    EXPECT_EQ(std::string(own), std::string(exe));
    EXPECT_TRUE(plat::PathExists(own));

    // The name without folder and extension: "test_platform" from
    // "test_platform.exe", and nothing from a name without a full stop.
    ResetModulePathCachesForTest();
    const std::string name = std::string(own).substr(FolderOf(own).size());
    EXPECT_EQ(std::string(GetOwnModuleName()),
              name.find('.') == std::string::npos ? "" : "test_platform");
    EXPECT_EQ(std::string(GetExeBaseName()), "test_platform");
}

// The redirection file lives beside the module, here the test program: all
// cases run in this one test so that no other test of this program sees it.
TEST(ModulePaths, AppPathFollowsTheRedirectionBesideTheModule) {
    char exe[AVFILE_MAX_PATH] = {};
    ASSERT_TRUE(plat::ExecutablePath(exe, sizeof exe));
    const std::string folder = FolderOf(exe);
    const std::string parent = FolderOf(folder.substr(0, folder.size() - 1));
    const std::string ini = folder + "AppPath.INI";
    // The folder is the build's, shared with every other test program: a
    // file found there is put back, and the test's own is removed however
    // the test ends.
    struct Restore {
        std::string path;
        bool existed;
        std::string before;
        ~Restore() {
            std::remove(path.c_str());
            FILE *f = existed ? std::fopen(path.c_str(), "wb") : nullptr;
            if (f) {
                std::fwrite(before.data(), 1, before.size(), f);
                std::fclose(f);
            }
            ResetModulePathCachesForTest();
        }
    } restore{ini, plat::PathExists(ini.c_str()), TempDir::ReadFile(ini)};
    std::remove(ini.c_str());
    const struct {
        const char *profile;  // null: no file
        std::string expected;
    } cases[] = {
        {nullptr, folder},
        {"[APPPATH]\r\nSRC_TYPE=1\r\nAPPEND=..\\\r\n", parent},
        {"[apppath]\r\nsrc_type = 1\r\nappend = ..\\\r\n", parent},
        {"[APPPATH]\r\nSRC_TYPE=0\r\nAPPEND=..\\\r\n", folder},
        {"[APPPATH]\r\nSRC_TYPE=1\r\n", folder},
        {"[APPPATH]\r\nSRC_TYPE=1\r\nAPPEND=.\\sub\\..\\\r\n", folder},
    };
    for (const auto &c : cases) {
        if (c.profile) {
            FILE *f = std::fopen(ini.c_str(), "wb");
            ASSERT_NE(f, nullptr) << ini;
            std::fputs(c.profile, f);
            std::fclose(f);
        }
        ResetModulePathCachesForTest();
        const std::string appPath = GetAppPath();
        std::remove(ini.c_str());
        EXPECT_EQ(appPath, c.expected) << (c.profile ? c.profile : "(no file)");
    }
}

}  // namespace
