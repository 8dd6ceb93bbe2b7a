// Arguments a careless host may pass: null paths, buffers and callbacks,
// negative counts, a null password list with a positive count. None may
// crash, and each gives the documented result.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include "avfile/avfile.h"
#include "common/file_operations.h"
#include "common/temp_dir.h"
#include "recsim/recsim.h"

namespace {

const char kDay[] = "2015-01-09";

recsim::FileRecipe EncryptedFile() {
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    recsim::FileRecipe recipe = recsim::PlannedFile(plan);
    recipe.header.encryption = 0x15;
    return recipe;
}

PasswordEntry Password(const char *key) {
    PasswordEntry entry{};
    std::memcpy(entry.key, key, 8);
    return entry;
}

int AVFILE_CALL CountCall(RecDayInfo *, int32_t user) { return ++*reinterpret_cast<int *>(&user); }

TEST(BadArguments, NullPathsGiveOne) {
    AvFileHandle handle = nullptr;
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    EXPECT_EQ(AVFILE_FEOpenFile(nullptr, 0, nullptr, 0, 0, &handle), 1);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(AVFILE_SearchDay(nullptr, 0, CountCall), 1);
    EXPECT_EQ(AVFILE_SearchFile(nullptr, 0, nullptr), 1);
    EXPECT_EQ(AVFILE_SearchEvent(nullptr, 0, nullptr), 1);
    EXPECT_EQ(AVFILE_CheckFolder(nullptr, nullptr, 0, 0, terminal, ioName), 1);
    EXPECT_EQ(AVFILE_CheckFileName(nullptr), 1);
    EXPECT_EQ(AVFILE_FECopyFile(nullptr, "x", 0), 1);
    EXPECT_EQ(AVFILE_FECopyFile("x", nullptr, 0), 1);
}

// Password lists: null with a positive count and any list with a count of 0
// or less are empty lists; a matching entry still opens the file.
TEST(BadArguments, PasswordListsThatAreEmpty) {
    TempDir dir;
    recsim::TreeWriter tree(dir.path());
    const std::string path = tree.AddFile(kDay, "video", "1_20150109-104929_1030h.avi", EncryptedFile());
    ASSERT_FALSE(path.empty());
    const PasswordEntry right[1] = {Password("FileKey1")};
    struct Case {
        const char *what;
        const PasswordEntry *list;
        int32_t count;
        int32_t expected;
    } cases[] = {
        {"null list, count 5", nullptr, 5, 2},
        {"null list, count -1", nullptr, -1, 2},
        {"right list, count -3", right, -3, 2},
        {"right list, count 0", right, 0, 2},
        {"right list, count 1", right, 1, 0},
    };
    for (const Case &c : cases) {
        AvFileHandle handle = nullptr;
        EXPECT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, c.list, c.count, 1, &handle), c.expected) << c.what;
        EXPECT_EQ(handle != nullptr, c.expected == 0) << c.what;
        if (handle) AVFILE_FECloseFile(handle);
        unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
        // The walk goes on past the file it could not open; it finds no other.
        EXPECT_EQ(AVFILE_CheckFolder(dir.path().c_str(), c.list, c.count, 1, terminal, ioName) == 0,
                  c.expected == 0)
            << c.what;
    }
}

TEST(BadArguments, NullOutputsAndCallbacks) {
    TempDir dir;
    recsim::TreeWriter tree(dir.path());
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.keyFrameInterval = 10;
    plan.gps = false;
    plan.audioChannels = {};
    const std::string path =
        tree.AddFile(kDay, "video", "1_20150109-104929_1030h.avi", recsim::PlannedFile(plan));
    ASSERT_FALSE(path.empty());

    // Nowhere to put the handle: nothing is opened.
    EXPECT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, nullptr), 1);
    // Searches without a callback: the usual result, and not one folder
    // listed or file opened on the way.
    const std::string day = dir.path() + kDay + "/";
    const CountedCall searches[] = {
        CountFileOperations([&] { return AVFILE_SearchDay(dir.path().c_str(), 0, nullptr); }),
        CountFileOperations([&] { return AVFILE_SearchFile(day.c_str(), 0, nullptr); }),
        CountFileOperations([&] { return AVFILE_SearchEvent(dir.path().c_str(), 0, nullptr); }),
    };
    const int32_t results[] = {0, 1, 1};
    for (size_t i = 0; i < std::size(searches); ++i) {
        EXPECT_EQ(searches[i].result, results[i]) << "search " << i;
        EXPECT_EQ(searches[i].fileOperations, 0u) << "search " << i;
    }
    // The folder check answers without buffers to fill.
    EXPECT_EQ(AVFILE_CheckFolder(dir.path().c_str(), nullptr, 0, 0, nullptr, nullptr), 0);

    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle), 0);
    EXPECT_EQ(AVFILE_FEGetFileInfo(handle, nullptr), 1);
    EXPECT_EQ(AVFILE_FEGetWaveFormat(handle, nullptr, nullptr, nullptr, nullptr), 0);
    unsigned char block[AVFILE_IO_NAME_SIZE];
    EXPECT_EQ(AVFILE_FEGetTerminalInfo(handle, nullptr), AVFILE_FEGetTerminalInfo(handle, block));
    EXPECT_EQ(AVFILE_FEGetIOName(handle, nullptr), AVFILE_FEGetIOName(handle, block));

    // No frame record: 1, and neither a read nor a step moves the reader.
    ASSERT_EQ(AVFILE_FESeekBegin(handle), 0);
    const AvFrameInfo request{};
    AvFrameInfo frame{};
    EXPECT_EQ(AVFILE_FEReadFrame(handle, nullptr, &request), 1);
    EXPECT_EQ(AVFILE_FEBackwardIFrame(handle, nullptr, &request), 1);
    EXPECT_EQ(AVFILE_FEForwardIFrame(handle, nullptr, &request), 1);
    ASSERT_EQ(AVFILE_FEReadFrame(handle, &frame, nullptr), 0);  // a null request is plain
    EXPECT_EQ(frame.type, FRAME_TYPE_I);
    EXPECT_EQ(AVFILE_FEBackwardIFrame(handle, nullptr, &request), 1);
    // Reading goes on with the frame after the first key frame, 1 of 50
    // frames into the 2-second file.
    ASSERT_EQ(AVFILE_FEReadFrame(handle, &frame, &request), 0);
    RecFileInfo info{};
    ASSERT_EQ(AVFILE_FEGetFileInfo(handle, &info), 0);
    EXPECT_EQ(frame.type, FRAME_TYPE_P);
    EXPECT_EQ(frame.timeUs, info.startTimeUs + 40000);
    EXPECT_EQ(AVFILE_FECloseFile(handle), 0);
}

}  // namespace
