// The folder check's walk: which record files it tries, in which order, and
// what it answers, with scripted opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "search/tree_search.h"
#include "search_fixture.h"

namespace {

// Record files in every kind of folder the walk meets (and one it never
// enters); the list is in the order the walk tries them.
struct CheckTree {
    TempDir root;
    std::vector<std::string> walkOrder;
    std::string Add(const std::string &relative) { return root.WriteFile(relative, ""); }
    CheckTree() {
        const std::string own = Add("1_20150109-104929_1030h.avi");
        const std::string dashed = Add("2015-01-09/1_20150109-104930_1030h.avi");
        const std::string dashedVideo = Add("2015-01-09/video/1_20150109-104931_1030h.avi");
        const std::string video = Add("video/1_20150109-104932_1030h.avi");
        const std::string videoDay = Add("video/2015-01-10/1_20150110-104932_1030h.avi");
        const std::string alarm = Add("alarm/1_20150109-104933_1130h.avi");
        const std::string day = Add("20150111/video/1_20150111-104934_1030h.avi");
        Add("abc/video/1_20150109-104935_1030h.avi");
        Add("notes.txt");
        // Dashed day folders also begin with "20": the walk of their parent's
        // "20" folders tries them again, sub-folders included.
        walkOrder = {own,   dashed, video,       videoDay, videoDay,
                     alarm, dashed, dashedVideo, day};
    }
};

const PasswordEntry kPasswords[2] = {};

TEST(FolderCheck, WalkOrderWhenNothingOpens) {
    CheckTree tree;
    CScriptedSearch search;
    search.fallback.result = 1;
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE] = {9};
    unsigned char io[AVFILE_IO_NAME_SIZE] = {9};
    EXPECT_EQ(CheckFolderTree(search, tree.root.path().c_str(), kPasswords, 2, 1, terminal, io), 1);
    EXPECT_EQ(search.opened, tree.walkOrder);
    EXPECT_EQ(terminal[0], 9);  // untouched
    EXPECT_EQ(io[0], 9);
}

TEST(FolderCheck, FirstFileThatOpensFillsTheBuffersAndEndsTheWalk) {
    for (size_t opensAt = 0; opensAt < 9; ++opensAt) {
        CheckTree tree;
        CScriptedSearch search;
        search.fallback.result = 1;
        FakeFile readable;
        readable.ioMark = 0x11;
        readable.terminalMark = 0x22;
        search.files[tree.walkOrder[opensAt]] = readable;
        unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE] = {};
        unsigned char io[AVFILE_IO_NAME_SIZE] = {};
        EXPECT_EQ(CheckFolderTree(search, tree.root.path().c_str(), nullptr, 0, 0, terminal, io), 0);
        // A file met twice ends the walk the first time.
        const auto first = std::find(tree.walkOrder.begin(), tree.walkOrder.end(),
                                     tree.walkOrder[opensAt]);
        EXPECT_EQ(search.opened, std::vector<std::string>(tree.walkOrder.begin(), first + 1))
            << opensAt;
        EXPECT_EQ(terminal[0], 0x22);
        EXPECT_EQ(terminal[AVFILE_TERMINAL_INFO_SIZE - 1], 0x22);
        EXPECT_EQ(io[AVFILE_IO_NAME_SIZE - 1], 0x11);
    }
}

TEST(FolderCheck, PasswordMismatchInADayFolder) {
    TempDir root;
    const std::string unreadable = root.WriteFile("2015-01-09/1_20150109-104929_1030h.avi", "");
    const std::string locked = root.WriteFile("2015-01-09/2_20150109-104929_1030h.avi", "");
    root.WriteFile("video/1_20150109-105029_1030h.avi", "");
    CScriptedSearch search;
    search.fallback.result = 1;
    search.files[locked].result = 2;
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE] = {};
    unsigned char io[AVFILE_IO_NAME_SIZE] = {};
    // The last file tried in a folder gives its answer, and a day folder's 2
    // ends the walk of the folder holding it ...
    const std::string day = root / "2015-01-09/";
    EXPECT_EQ(search.CheckFolder(day.c_str(), kPasswords, 2, 1, terminal, io, 0), 2);
    EXPECT_EQ(search.CheckFolder(root.path().c_str(), kPasswords, 2, 1, terminal, io, 1), 2);
    search.files[unreadable].result = 2;
    search.files[locked].result = 1;
    EXPECT_EQ(search.CheckFolder(day.c_str(), kPasswords, 2, 1, terminal, io, 0), 1);
    // ... but the whole walk goes on through the sub-folders, and its answer
    // is that of the last check made, where nothing was found.
    search.files[locked].result = 2;
    search.opened.clear();
    EXPECT_EQ(CheckFolderTree(search, root.path().c_str(), kPasswords, 2, 1, terminal, io), 1);
    EXPECT_EQ(search.opened, (std::vector<std::string>{unreadable, locked,
                                                       root / "video/1_20150109-105029_1030h.avi",
                                                       unreadable, locked}));
}

TEST(FolderCheck, PassesTheHostsPasswordArgumentsAndTheChannel) {
    TempDir root;
    root.WriteFile("3_20150109-104929_1030h.avi", "");
    root.WriteFile("ch3_20150109-104929_1030h.avi", "");
    CScriptedSearch search;
    search.fallback.result = 1;
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE] = {};
    unsigned char io[AVFILE_IO_NAME_SIZE] = {};
    using Arguments = CScriptedSearch::PasswordArguments;
    for (const Arguments &host : {Arguments{kPasswords, 2, 1}, Arguments{kPasswords + 1, -1, 0}}) {
        search.opened.clear();
        search.channels.clear();
        search.passwordArguments.clear();
        EXPECT_EQ(search.CheckFolder(root.path().c_str(), host.list, host.count, host.check,
                                     terminal, io, 1),
                  1);
        EXPECT_EQ(search.channels, (std::vector<int32_t>{2, 0}));
        EXPECT_EQ(search.passwordArguments, (std::vector<Arguments>{host, host}));
    }
}

TEST(FolderCheck, MissingFolderAndEmptyTree) {
    TempDir root;
    root.WriteFile("video/readme.txt", "");
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE] = {};
    unsigned char io[AVFILE_IO_NAME_SIZE] = {};
    EXPECT_EQ(AVFILE_CheckFolder((root / "missing/").c_str(), nullptr, 0, 0, terminal, io), 1);
    EXPECT_EQ(AVFILE_CheckFolder(root.path().c_str(), nullptr, 0, 0, terminal, io), 1);
}

}  // namespace
