// The library never writes to a recording: a whole recording tree, contents
// and modification times, is the same before and after every export has run
// over it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "common/temp_dir.h"
#include "hardening/exercise.h"
#include "recsim/recsim.h"

namespace {

namespace fs = std::filesystem;

struct EntryState {
    bool folder;
    fs::file_time_type written;
    uint64_t hash;
    bool operator==(const EntryState &) const = default;
};

// Every entry below `root`: kind, modification time and content hash.
std::map<std::string, EntryState> Snapshot(const std::string &root) {
    std::map<std::string, EntryState> out;
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(root)) {
        EntryState state{e.is_directory(), e.last_write_time(), 1469598103934665603ull};
        if (!state.folder) {
            std::ifstream in(e.path(), std::ios::binary);
            char c;
            while (in.get(c)) state.hash = (state.hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        out[e.path().string()] = state;
    }
    return out;
}

TEST(ReadOnly, EveryExportLeavesTheTreeAsItWas) {
    TempDir dir;
    const std::string root = dir / "card/";
    fs::create_directories(root);
    recsim::TreeWriter tree(root);
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.gpsSamples = true;
    plan.audioChannels = {0, 1};
    std::vector<std::string> files;
    const char *days[] = {"2015-01-09", "20150110_01"};
    int32_t start = 1420800569;
    for (const char *day : days) {
        for (int c = 0; c < 2; ++c) {
            recsim::FileRecipe recipe = recsim::PlannedFile(plan, start + c);
            if (c == 1) recipe.header.encryption = 0x15;
            files.push_back(tree.AddFile(day, "video",
                                         recsim::RecordFileName(recsim::RecordNameAt(start + c, c)), recipe));
        }
        files.push_back(tree.AddFile(day, "alarm",
                                     recsim::RecordFileName(recsim::RecordNameAt(start + 60, 0, true)),
                                     recsim::PlannedFile(plan, start + 60)));
        start += 86400;
    }
    for (const std::string &f : files) ASSERT_FALSE(f.empty());
    // Modification times well in the past, so that a rewrite would show.
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(root)) {
        fs::last_write_time(e.path(), past);
    }
    fs::last_write_time(root, past);
    const auto before = Snapshot(root);

    PasswordEntry passwords[2] = {};
    std::memcpy(passwords[1].key, "FileKey1", 8);
    EXPECT_EQ(AVFILE_Initialize(), 0);
    const TreeReport report = ExerciseTree(root);
    EXPECT_EQ(report.fault, "");
    EXPECT_EQ(report.groups.size(), 4u);
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    EXPECT_EQ(AVFILE_CheckFolder(root.c_str(), passwords, 2, 1, terminal, ioName), 0);
    for (const std::string &f : files) {
        EXPECT_EQ(AVFILE_CheckFileName(f.c_str()), 0);
        const PlaybackReport playback = ExercisePlayback(f, fs::file_size(f));
        EXPECT_EQ(playback.fault, "") << f;
        EXPECT_EQ(playback.openResult, 0) << f;
        AvFileHandle handle = nullptr;
        if (AVFILE_FEOpenFile(f.c_str(), 1, passwords, 2, 1, &handle) == 0) AVFILE_FECloseFile(handle);
        std::ifstream in(f, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        AVFILE_CheckWaterMark(reinterpret_cast<const unsigned char *>(bytes.data()),
                              static_cast<int32_t>(bytes.size()));
    }
    // A copy out of the tree, and copies onto its files that must be refused.
    EXPECT_EQ(AVFILE_FECopyFile(files[0].c_str(), (dir / "copy.avi").c_str(), 0), 0);
    EXPECT_EQ(AVFILE_FECopyFile(files[1].c_str(), files[0].c_str(), 1), 1);
    EXPECT_EQ(AVFILE_FECopyFile((dir / "missing.avi").c_str(), files[2].c_str(), 0), 1);
    EXPECT_EQ(AVFILE_SearchEvent(root.c_str(), 0, nullptr), 1);
    EXPECT_EQ(AVFILE_UnInitialize(), 0);

    const auto after = Snapshot(root);
    ASSERT_EQ(after.size(), before.size()) << "entries were added to or taken from the tree";
    for (const auto &[path, state] : before) {
        const auto it = after.find(path);
        ASSERT_NE(it, after.end()) << path;
        EXPECT_EQ(it->second.hash, state.hash) << path;
        EXPECT_TRUE(it->second.written == state.written) << path;
    }
}

}  // namespace
