#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "common/file_operations.h"
#include "common/temp_dir.h"

namespace {

std::vector<unsigned char> BlockWithTrailer(size_t n, uint32_t t) {
    std::vector<unsigned char> block(n, 0x55);
    const uint32_t w = t + static_cast<uint32_t>(n - 4);
    for (int i = 0; i < 4; ++i) block[n - 4 + i] = static_cast<unsigned char>(w >> (8 * i));
    return block;
}

constexpr uint32_t kJnq = 'j' | 'n' << 8 | 'q' << 16;

TEST(CheckWaterMark, TrailerRule) {
    struct Case {
        size_t size;
        uint32_t t;
        int32_t expected;
    };
    for (const Case &c : {Case{4, kJnq, 0}, Case{4, kJnq | 0xAB000000u, 0}, Case{104, kJnq, 0},
                          Case{104, kJnq | 0x7F000000u, 0}, Case{104, kJnq + 1, 1},
                          Case{4096, kJnq, 0}}) {
        const auto block = BlockWithTrailer(c.size, c.t);
        EXPECT_EQ(AVFILE_CheckWaterMark(block.data(), static_cast<int32_t>(block.size())),
                  c.expected)
            << c.size;
    }
    // The trailer of a 104-byte block at the end of a 105-byte block: D = T - 1.
    auto block = BlockWithTrailer(104, kJnq);
    block.insert(block.begin(), 0);
    EXPECT_EQ(AVFILE_CheckWaterMark(block.data(), 105), 1);
    // "jnq" and any fourth byte in a 4-byte block.
    const unsigned char four[4] = {'j', 'n', 'q', 0xEE};
    EXPECT_EQ(AVFILE_CheckWaterMark(four, 4), 0);
}

TEST(CheckWaterMark, ShortOrNullBlockReadsNothing) {
    const unsigned char three[3] = {'j', 'n', 'q'};
    EXPECT_EQ(AVFILE_CheckWaterMark(three, 3), 1);
    EXPECT_EQ(AVFILE_CheckWaterMark(three, 0), 1);
    EXPECT_EQ(AVFILE_CheckWaterMark(three, -5), 1);
    EXPECT_EQ(AVFILE_CheckWaterMark(nullptr, 104), 1);
}

TEST(Lifecycle, InitializeAndUnInitializeDoNothing) {
    EXPECT_EQ(AVFILE_UnInitialize(), 0);
    EXPECT_EQ(AVFILE_Initialize(), 0);
    EXPECT_EQ(AVFILE_Initialize(), 0);
    EXPECT_EQ(AVFILE_UnInitialize(), 0);
    EXPECT_EQ(AVFILE_UnInitialize(), 0);
}

TEST(HandleExports, NullHandleGivesOneAndTouchesNothing) {
    AvFrameInfo frame;
    std::memset(&frame, 0xAB, sizeof frame);
    const AvFrameInfo before = frame;
    AvFrameInfo request{};
    AvWaveFormatEx format;
    std::memset(&format, 0xAB, sizeof format);
    uint32_t size = 7;
    int32_t codec = 7, param = 7;
    RecFileInfo info;
    std::memset(&info, 0xAB, sizeof info);
    unsigned char block[AVFILE_IO_NAME_SIZE];
    std::memset(block, 0xAB, sizeof block);

    EXPECT_EQ(AVFILE_FECloseFile(nullptr), 1);
    EXPECT_EQ(AVFILE_FEGetWaveFormat(nullptr, &format, &size, &codec, &param), 1);
    EXPECT_EQ(AVFILE_FEGetFileInfo(nullptr, &info), 1);
    EXPECT_EQ(AVFILE_FEGetTerminalInfo(nullptr, block), 1);
    EXPECT_EQ(AVFILE_FEGetIOName(nullptr, block), 1);
    EXPECT_EQ(AVFILE_FESeekBegin(nullptr), 1);
    EXPECT_EQ(AVFILE_FEReadFrame(nullptr, &frame, &request), 1);
    EXPECT_EQ(AVFILE_FESeekIFrame(nullptr, 0, 0), 1);
    EXPECT_EQ(AVFILE_FEBackwardIFrame(nullptr, &frame, &request), 1);
    EXPECT_EQ(AVFILE_FEForwardIFrame(nullptr, &frame, &request), 1);

    EXPECT_EQ(std::memcmp(&frame, &before, sizeof frame), 0);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(codec, 7);
    EXPECT_EQ(param, 7);
    EXPECT_EQ(format.nChannels, 0xABAB);
    EXPECT_EQ(info.channel, static_cast<int32_t>(0xABABABAB));
    for (unsigned char b : block) ASSERT_EQ(b, 0xAB);
}

TEST(CheckFileName, AcceptsRecordNamesOnly) {
    EXPECT_EQ(AVFILE_CheckFileName("d:\\rec\\3_20150109-104929_1030h.avi"), 0);
    EXPECT_EQ(AVFILE_CheckFileName("/rec/3_20150109-104929_1030h.AVI"), 0);
    EXPECT_EQ(AVFILE_CheckFileName("3_20150109-104929_1030h.avi"), 1);
    EXPECT_EQ(AVFILE_CheckFileName("d:\\rec\\notes.avi"), 1);
}

TEST(OpenFile, FailureLeavesTheHandleVariable) {
    AvFileHandle handle = reinterpret_cast<AvFileHandle>(0x1234);
    EXPECT_EQ(AVFILE_FEOpenFile("d:\\rec\\3_20150109-104929_1030h.avi.bak", 0, nullptr, 0, 0,
                                &handle), 1);
    EXPECT_EQ(AVFILE_FEOpenFile("a.a", 0, nullptr, 0, 0, &handle), 1);
    EXPECT_EQ(handle, reinterpret_cast<AvFileHandle>(0x1234));
}

int g_searchCalls = 0;
int AVFILE_CALL CountDay(RecDayInfo *, int32_t) { return ++g_searchCalls; }
int AVFILE_CALL CountGroup(RecGroupInfo *, int32_t) { return ++g_searchCalls; }

// With callbacks to call, so that the answer comes from the missing path; no
// folder is listed and no file opened, and the buffers stay as they were.
TEST(SearchExports, MissingPathGivesOne) {
    TempDir dir;
    const std::string missing = dir / "no-such-folder/";
    unsigned char term[AVFILE_TERMINAL_INFO_SIZE], io[AVFILE_IO_NAME_SIZE];
    std::memset(term, 0xAB, sizeof term);
    std::memset(io, 0xAB, sizeof io);
    g_searchCalls = 0;
    const CountedCall calls[] = {
        CountFileOperations([&] { return AVFILE_SearchDay(missing.c_str(), 0, CountDay); }),
        CountFileOperations([&] { return AVFILE_SearchFile(missing.c_str(), 0, CountGroup); }),
        CountFileOperations([&] { return AVFILE_SearchEvent(missing.c_str(), 0, CountGroup); }),
        CountFileOperations(
            [&] { return AVFILE_CheckFolder(missing.c_str(), nullptr, 0, 0, term, io); }),
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_EQ(calls[i].result, 1) << "call " << i;
        EXPECT_EQ(calls[i].fileOperations, 0u) << "call " << i;
    }
    EXPECT_EQ(g_searchCalls, 0);
    for (unsigned char b : term) ASSERT_EQ(b, 0xAB);
    for (unsigned char b : io) ASSERT_EQ(b, 0xAB);
}

class CopyFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string src = dir.WriteFile("src.bin", std::string("new contents\0x", 14));
    std::string dst = dir / "dst.bin";
};

TEST_F(CopyFileTest, FlagDecidesOverwrite) {
    struct Case {
        int32_t flag;
        bool destinationExists;
        int32_t result;
        std::string after;
    };
    const std::string fresh("new contents\0x", 14);
    for (const Case &c : {Case{0, false, 0, fresh}, Case{1, false, 0, fresh},
                          Case{1, true, 1, "old"}, Case{0, true, 0, fresh},
                          Case{256, true, 0, fresh}, Case{0x101, true, 1, "old"}}) {
        std::remove(dst.c_str());
        if (c.destinationExists) dir.WriteFile("dst.bin", "old");
        EXPECT_EQ(AVFILE_FECopyFile(src.c_str(), dst.c_str(), c.flag), c.result) << c.flag;
        EXPECT_EQ(TempDir::ReadFile(dst), c.after) << c.flag;
    }
}

TEST_F(CopyFileTest, MissingSourceFailsAndLeavesNothing) {
    EXPECT_EQ(AVFILE_FECopyFile((dir / "missing.bin").c_str(), dst.c_str(), 0), 1);
    EXPECT_EQ(AVFILE_FECopyFile(src.c_str(), (dir / "no/such/dir/x.bin").c_str(), 0), 1);
    EXPECT_FALSE(std::filesystem::exists(dst));
}

}  // namespace
