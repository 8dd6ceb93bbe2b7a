// Directory enumeration with the Windows wildcard rules. The same table runs
// against the real FindFirstFileA on Windows and against our own enumeration
// on Linux, so both must give the same names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace {

struct Found {
    std::string name;
    bool isDir;
    bool operator==(const Found &o) const { return name == o.name && isDir == o.isDir; }
};

void PrintTo(const Found &f, std::ostream *os) { *os << f.name << (f.isDir ? "/" : ""); }

// Every entry a search reports, in the order it reports them.
std::vector<Found> FindInOrder(const std::string &pattern) {
    std::vector<Found> found;
    plat::DirEntry entry{};
    plat::DirSearch *search = plat::FindFirst(pattern.c_str(), &entry);
    if (search == nullptr) return found;
    do {
        found.push_back({entry.name, entry.isDir});
    } while (plat::FindNext(search, &entry));
    plat::FindClose(search);
    return found;
}

// The same in byte order of the names, for comparing what is selected.
std::vector<Found> FindAll(const std::string &pattern) {
    std::vector<Found> found = FindInOrder(pattern);
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.name < b.name; });
    return found;
}

class FindFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.WriteFile("3_20150109-104929_1030h.avi", "0123456789");
        dir_.WriteFile("1_20150109-104929_1030h.AVI", "");
        dir_.WriteFile("readme.txt", "x");
        dir_.WriteFile("noext", "");
        dir_.MakeDir("video");
        dir_.MakeDir("2015-01-09");
    }
    TempDir dir_;
};

TEST_F(FindFilesTest, WildcardsSelectNames) {
    const Found dot{".", true}, dotdot{"..", true};
    const Found avi1{"1_20150109-104929_1030h.AVI", false};
    const Found avi3{"3_20150109-104929_1030h.avi", false};
    const Found day{"2015-01-09", true}, video{"video", true};
    const Found noext{"noext", false}, readme{"readme.txt", false};
    const struct {
        const char *pattern;
        std::vector<Found> expected;
    } cases[] = {
        {"*", {dot, dotdot, avi1, day, avi3, noext, readme, video}},
        // "*.*" also takes names without a full stop.
        {"*.*", {dot, dotdot, avi1, day, avi3, noext, readme, video}},
        {"*.avi", {avi1, avi3}},
        {"*_*-*.avi", {avi1, avi3}},
        {"?_2015*", {avi1, avi3}},
        {"3_*H.AVI", {avi3}},
        {"20*", {day}},
        {"VIDEO", {video}},
        {"*0*", {avi1, day, avi3}},
        {"read?e.txt", {readme}},
        {"*.txt*", {readme}},
        {"nothing*", {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(FindAll(dir_ / c.pattern), c.expected) << c.pattern;
    }
}

// A folder is listed as NTFS lists it, in the order of the names in upper
// case: the grouping of a day's files and the walks of the searches meet the
// names in this order. "." sorts before the letters and "_" after them, and
// the case of a letter does not count. Long names that agree far into the
// name go by where they first differ, a name before the longer names it
// begins; names that differ only in case (a case-sensitive file system holds
// both) go in byte order.
TEST(FindFiles, ListedInUpperCaseNameOrder) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the order is the file system's";
#else
    TempDir dir;
    for (const char *name : {"b.avi", "_z", "ab", "C", "A.avi", "a_x", "AB", "1_20150109-104929_b.avi",
                             "1_20150109-104929_A.avi", "1_20150109-104929", "1_20150109-104929_a", "`b",
                             "{b", "\xE1z"}) {
        dir.WriteFile(name, "");
    }
    dir.MakeDir("2015-01-09");
    const std::vector<Found> expected = {
        {".", true},
        {"..", true},
        {"1_20150109-104929", false},
        {"1_20150109-104929_a", false},
        {"1_20150109-104929_A.avi", false},
        {"1_20150109-104929_b.avi", false},
        {"2015-01-09", true},
        {"A.avi", false},
        {"AB", false},
        {"ab", false},
        {"a_x", false},
        {"b.avi", false},
        {"C", false},
        {"_z", false},
        {"`b", false},  // the characters either side of the small letters stay
        {"{b", false},
        {"\xE1z", false},  // a byte past ASCII is no letter, whatever its low bits
    };
    EXPECT_EQ(FindInOrder(dir / "*"), expected);
#endif
}

// A folder of a day's recordings, read in one piece and in many into a
// block that grows: every name comes once, in order, the names of other
// kinds passed over.
TEST(FindFiles, LargeFolderListedWholeAndInOrder) {
    TempDir dir;
    std::vector<Found> expected;
    char name[64];
    for (int minute = 0; minute < 3000; ++minute) {
        std::snprintf(name, sizeof name, "%d_20150109-%02d%02d00_1030h.avi", minute % 8 + 1, minute / 60 % 24,
                      minute % 60);
        std::string unique = name;
        unique.insert(unique.size() - 4, "_" + std::to_string(minute));
        dir.WriteFile(unique, "");
        expected.push_back({unique, false});
        if (minute % 10 == 0) dir.WriteFile(unique + ".txt", "");
    }
    std::sort(expected.begin(), expected.end(), [](const Found &a, const Found &b) {
        std::string x = a.name, y = b.name;
        for (char &c : x) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char &c : y) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return x < y;
    });
#ifdef _WIN32
    // The order is the file system's: the names alone are compared.
    std::sort(expected.begin(), expected.end(), [](const Found &a, const Found &b) { return a.name < b.name; });
    EXPECT_EQ(FindAll(dir / "*_*-*.avi"), expected);
#else
    for (size_t readLimit : {size_t{0}, size_t{1024}}) {
        SCOPED_TRACE(readLimit == 0 ? "as usual" : "1 KiB a read");
        plat::fault::LimitListingReads(readLimit);
        const std::vector<Found> found = FindInOrder(dir / "*_*-*.avi");
        plat::fault::LimitListingReads(0);
        EXPECT_EQ(found, expected);
    }
#endif
}

TEST_F(FindFilesTest, EntryCarriesSizeAndWriteTime) {
    plat::DirEntry entry{};
    plat::DirSearch *search = plat::FindFirst((dir_ / "3_*").c_str(), &entry);
    ASSERT_NE(search, nullptr);
    EXPECT_FALSE(entry.isDir);
    EXPECT_EQ(entry.size, 10u);
    // Written moments ago: after 2020-01-01 (file time 132223104000000000).
    EXPECT_GT(entry.lastWrite, 132223104000000000ull);
    EXPECT_FALSE(plat::FindNext(search, &entry));
    plat::FindClose(search);
}

// A listing of names only gives the same names and folder flags in the same
// order, and on POSIX systems takes them from the folder's entries without
// asking the file system about each; where the folder cannot tell the kind
// of an entry, and for a link, the entry itself is asked. A link to a
// folder is a folder, a link to nothing is not listed.
TEST_F(FindFilesTest, NamesOnlyListingAsksOnlyWhereTheFolderCannotTell) {
    namespace fault = plat::fault;
    struct Listed {
        std::vector<Found> found;
        uint64_t entryStats;
    };
    const auto list = [&](plat::Listing listing, bool unknownTypes) {
        fault::ForceUnknownEntryTypes(unknownTypes);
        fault::StartCounting();
        Listed listed;
        plat::DirEntry entry{};
        plat::DirSearch *search = plat::FindFirst((dir_ / "*").c_str(), &entry, listing);
        if (search != nullptr) {
            do {
                listed.found.push_back({entry.name, entry.isDir});
#ifndef _WIN32
                // Windows fills them in either way.
                if (listing == plat::Listing::kNamesOnly) {
                    EXPECT_EQ(entry.size, 0u);
                    EXPECT_EQ(entry.lastWrite, 0u);
                }
#endif
            } while (plat::FindNext(search, &entry));
            plat::FindClose(search);
        }
        listed.entryStats = fault::CountedCalls().entryStats;
        fault::StopCounting();
        fault::ForceUnknownEntryTypes(false);
        return listed;
    };
#ifndef _WIN32
    std::filesystem::create_directory_symlink("video", dir_ / "video-link");
    std::filesystem::create_symlink("absent", dir_ / "dangling");
#endif
    const Listed full = list(plat::Listing::kWithSizeAndTime, false);
    const Listed names = list(plat::Listing::kNamesOnly, false);
    const Listed unknown = list(plat::Listing::kNamesOnly, true);
    EXPECT_EQ(names.found, full.found);
    EXPECT_EQ(unknown.found, full.found);
#ifndef _WIN32
    EXPECT_NE(std::find(full.found.begin(), full.found.end(), Found{"video-link", true}),
              full.found.end());
    EXPECT_EQ(std::find_if(full.found.begin(), full.found.end(),
                           [](const Found &f) { return f.name == "dangling"; }),
              full.found.end());
    // Every entry is asked about for its size and time; only the two links
    // for names only; every entry, the dangling link too, when the kinds
    // are unknown.
    EXPECT_EQ(full.entryStats, full.found.size() + 1);
    EXPECT_EQ(names.entryStats, 2u);
    EXPECT_EQ(unknown.entryStats, full.found.size() + 1);
#endif
}

TEST_F(FindFilesTest, MissingFolderFindsNothing) {
    plat::DirEntry entry{};
    EXPECT_EQ(plat::FindFirst((dir_ / "absent/*").c_str(), &entry), nullptr);
    EXPECT_EQ(plat::FindFirst((dir_ / "readme.txt/*").c_str(), &entry), nullptr);
}

TEST_F(FindFilesTest, PathExistsForFilesAndFolders) {
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {dir_.path(), true},
        {dir_ / "video", true},
        {dir_ / "video/", true},
        {dir_ / "readme.txt", true},
        {dir_ / "readme.txt/", false},
        {dir_ / "absent", false},
        {"", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(plat::PathExists(c.path.c_str()), c.exists) << c.path;
    }
}

}  // namespace

// The match against the plain reading of the wildcards (each '*' tried at
// every length), on every short pattern and name of a small alphabet.
namespace {
bool PlainMatch(const char *p, const char *n) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (*p == '\0') return *n == '\0';
    if (*p == '*') return PlainMatch(p + 1, n) || (*n != '\0' && PlainMatch(p, n + 1));
    if (*n == '\0') return false;
    return (*p == '?' || upper(*p) == upper(*n)) && PlainMatch(p + 1, n + 1);
}
}  // namespace

TEST(WildcardMatch, AsThePlainReadingOfTheWildcards) {
    const std::string patternAlphabet = "aB*?", nameAlphabet = "Ab.";
    const auto each = [](const std::string &alphabet, size_t longest, auto &&visit) {
        std::string text;
        const std::function<void()> grow = [&]() {
            visit(text);
            if (text.size() == longest) return;
            for (char c : alphabet) {
                text.push_back(c);
                grow();
                text.pop_back();
            }
        };
        grow();
    };
    each(patternAlphabet, 4, [&](const std::string &pattern) {
        each(nameAlphabet, 5, [&](const std::string &name) {
            EXPECT_EQ(plat::WildcardMatch(pattern.c_str(), name.c_str()),
                      PlainMatch(pattern.c_str(), name.c_str()))
                << '"' << pattern << "\" against \"" << name << '"';
        });
    });
}
