// The walks over a recording tree: the file and event searches through a
// folder and, depth first, its video and alarm sub-folders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/file_operations.h"
#include "common/temp_dir.h"
#include "search/tree_search.h"
#include "search_fixture.h"

namespace {

std::vector<std::string> ReportedPaths() {
    std::vector<std::string> paths;
    for (const RecGroupInfo &g : GroupLog::groups) paths.emplace_back(g.paths[0]);
    return paths;
}

// A day folder with one recording in each folder of the walk, and one in a
// folder the walk never enters.
struct DayTree {
    TempDir root;
    std::vector<std::string> walkOrder;
    DayTree() {
        const char *const folders[] = {"", "video/", "video/video/", "video/alarm/", "alarm/",
                                       "alarm/video/"};
        int second = 10;
        for (const char *folder : folders) {
            const std::string name = "1_20150109-1049" + std::to_string(second++) + "_1030h.avi";
            walkOrder.push_back(root.WriteFile(std::string(folder) + name, ""));
        }
        root.WriteFile("events/1_20150109-104959_1030h.avi", "");
    }
};

TEST(TreeSearch, FolderThenVideoThenAlarmDepthFirst) {
    DayTree tree;
    CScriptedSearch search;
    GroupLog::Reset();
    SearchFileTree(search, tree.root.path().c_str(), 0, &GroupLog::Callback);
    EXPECT_EQ(ReportedPaths(), tree.walkOrder);
}

TEST(TreeSearch, StopEndsOnlyTheFolderBeingReported) {
    TempDir root;
    root.WriteFile("video/1_20150109-104929_1030h.avi", "");
    root.WriteFile("video/1_20150109-105029_1030h.avi", "");
    const std::string alarm = root.WriteFile("alarm/1_20150109-105129_1130h.avi", "");
    CScriptedSearch search;
    GroupLog::Reset(1);
    SearchFileTree(search, root.path().c_str(), 0, &GroupLog::Callback);
    EXPECT_EQ(ReportedPaths(),
              (std::vector<std::string>{root / "video/1_20150109-104929_1030h.avi", alarm}));
}

TEST(TreeSearch, EventSearchOpensAndReportsNothing) {
    DayTree tree;
    CScriptedSearch search;
    GroupLog::Reset();
    SearchEventTree(search, tree.root.path().c_str(), 0, &GroupLog::Callback);
    EXPECT_TRUE(GroupLog::groups.empty());
    EXPECT_TRUE(search.opened.empty());
    EXPECT_EQ(AVFILE_SearchEvent(tree.root.path().c_str(), 0, &GroupLog::Callback), 1);
    EXPECT_TRUE(GroupLog::groups.empty());
}

TEST(TreeSearch, SubFolderWhosePathWouldNotFitIsNotSearched) {
    TempDir root;
    // "video/" would need the path's last byte for the terminator.
    const std::string folder = DeepFolder(root, AVFILE_MAX_PATH - 6);
    root.WriteFile(folder.substr(root.path().size()) + "video/1_20150109-104929_1030h.avi", "");
    CScriptedSearch search;
    GroupLog::Reset();
    SearchFileTree(search, folder.c_str(), 0, &GroupLog::Callback);
    EXPECT_TRUE(GroupLog::groups.empty());
    EXPECT_TRUE(search.opened.empty());
}

TEST(TreeSearch, ExportAnswersOneForAFolderAndForAMissingOne) {
    TempDir root;
    root.MakeDir("video");
    GroupLog::Reset();
    EXPECT_EQ(AVFILE_SearchFile(root.path().c_str(), 0, &GroupLog::Callback), 1);
    EXPECT_EQ(AVFILE_SearchFile((root / "missing/").c_str(), 0, &GroupLog::Callback), 1);
    EXPECT_TRUE(GroupLog::groups.empty());
}

// The walk itself searches without a callback; the exports do not start it:
// not one folder is listed and not one file opened.
TEST(TreeSearch, HostWithoutACallbackGetsNoCall) {
    DayTree tree;
    tree.root.MakeDir("2015-01-09");
    CScriptedSearch search;
    SearchFileTree(search, tree.root.path().c_str(), 0, nullptr);
    EXPECT_EQ(search.opened.size(), tree.walkOrder.size());  // searched, nothing called
    const CountedCall file = CountFileOperations(
        [&] { return AVFILE_SearchFile(tree.root.path().c_str(), 0, nullptr); });
    EXPECT_EQ(file.result, 1);
    EXPECT_EQ(file.fileOperations, 0u);
    const CountedCall days = CountFileOperations(
        [&] { return AVFILE_SearchDay(tree.root.path().c_str(), 0, nullptr); });
    EXPECT_EQ(days.result, 0);
    EXPECT_EQ(days.fileOperations, 0u);
}

}  // namespace
