// What the library reads back from a simulator file is what the simulator
// wrote: every video frame with its type, time and (deciphered) payload, the
// chosen channel's audio and a side-data record per text chunk.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "common/temp_dir.h"
#include "recsim/recsim.h"

namespace {

using recsim::ChunkKind;

struct AgreementCase {
    const char *what;
    bool delimiters;
    bool encrypted;
    bool checkPassword;
    bool gpsSamples;
    int channel;
    // The movie list right behind the header list and the recorder's PCM
    // description: the open reads no frame, and reading starts where the
    // open set the reader up, without a seek.
    bool movieFirstNoSeek = false;
};

void PrintTo(const AgreementCase &c, std::ostream *os) { *os << c.what; }

class ReaderAgreement : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(ReaderAgreement, SequentialReadingDeliversWhatWasWritten) {
    const AgreementCase &c = GetParam();
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 10;
    plan.keyFrameInterval = 5;
    plan.delimiters = c.delimiters;
    plan.audioChannels = {0, 1};
    plan.gpsSamples = c.gpsSamples;
    recsim::FileRecipe recipe = recsim::PlannedFile(plan);
    if (c.encrypted) recipe.header.encryption = 0x10;
    if (c.movieFirstNoSeek) {
        recipe.infoPlacement = recsim::InfoPlacement::AfterIndex;
        recsim::DescribePcmAudio(recipe);
    }

    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1010h.avi";
    recsim::WrittenFile w;
    ASSERT_TRUE(recsim::WriteFile(path, recipe, &w));

    PasswordEntry password{};
    std::memcpy(&password, recipe.info.fileKey.data(), 8);
    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), c.channel, &password, 1, c.checkPassword ? 1 : 0,
                                &handle),
              0);
    RecFileInfo info{};
    ASSERT_EQ(AVFILE_FEGetFileInfo(handle, &info), 0);
    EXPECT_EQ(int64_t{info.startTimeUs}, int64_t{recipe.header.startSeconds} * 1000000);
    EXPECT_EQ(info.durationMs, 2000u);
    EXPECT_EQ(info.frameRate, 10);

    if (!c.movieFirstNoSeek) {
        ASSERT_EQ(AVFILE_FESeekBegin(handle), 0);
    }
    const size_t videoCount = w.VideoCount();
    size_t v = 0;
    for (const recsim::WrittenChunk &chunk : w.chunks) {
        if (chunk.kind == ChunkKind::Audio && chunk.stream != c.channel + 1) continue;
        AvFrameInfo frame{};
        AvFrameInfo request{};
        ASSERT_EQ(AVFILE_FEReadFrame(handle, &frame, &request), 0) << chunk.id << " at " << chunk.offset;
        const std::vector<uint8_t> got(frame.data, frame.data + frame.length);
        switch (chunk.kind) {
            case ChunkKind::Video: {
                EXPECT_EQ(frame.type, chunk.key ? FRAME_TYPE_I : FRAME_TYPE_P) << v;
                EXPECT_EQ(frame.timeUs, info.startTimeUs + int64_t{2000000} * int64_t(v) /
                                                               int64_t(videoCount))
                    << v;
                // An access unit delimiter in front is dropped on delivery.
                const size_t skip = c.delimiters ? 6 : 0;
                EXPECT_EQ(got, std::vector<uint8_t>(chunk.payload.begin() + skip,
                                                    chunk.payload.end()))
                    << "video frame " << v;
                ++v;
                break;
            }
            case ChunkKind::Audio:
                EXPECT_EQ(frame.type, FRAME_TYPE_AUDIO);
                EXPECT_EQ(got, chunk.payload) << chunk.id << " at " << chunk.offset;
                break;
            case ChunkKind::Text: {
                EXPECT_EQ(frame.type, FRAME_TYPE_SIDEDATA);
                ASSERT_EQ(frame.length, c.gpsSamples ? 288 : 48);
                SideDataHead head;
                std::memcpy(&head, frame.data, sizeof head);
                EXPECT_EQ(head.flags, c.gpsSamples ? 3 : 1);
                GpsBlock gps;
                std::memcpy(&gps, frame.data + 4, sizeof gps);
                EXPECT_NEAR(gps.latitude, plan.route.start.latitude, 0.01);
                EXPECT_NEAR(gps.longitude, plan.route.start.longitude, 0.01);
                EXPECT_EQ(gps.speed, 1851);
                break;
            }
            case ChunkKind::Raw: break;
        }
    }
    EXPECT_EQ(v, videoCount);
    AvFrameInfo frame{};
    AvFrameInfo request{};
    EXPECT_EQ(AVFILE_FEReadFrame(handle, &frame, &request), 1) << "nothing behind the movie list";
    EXPECT_EQ(AVFILE_FECloseFile(handle), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderAgreement,
    ::testing::Values(AgreementCase{"plain", false, false, false, false, 0},
                      AgreementCase{"delimiters_channel_1", true, false, false, true, 1},
                      AgreementCase{"encrypted_checked", false, true, true, false, 0},
                      AgreementCase{"encrypted_delimiters", true, true, false, true, 0},
                      AgreementCase{"movie_first_from_open", false, true, true, true, 0, true}),
    [](const ::testing::TestParamInfo<AgreementCase> &info) { return info.param.what; });

TEST(ReaderAgreement, PasswordCheckOnASimulatedEncryptedFile) {
    recsim::FileRecipe recipe = recsim::PlannedFile(recsim::RecordingPlan{});
    recipe.header.encryption = 0x25;
    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1025h.avi";
    ASSERT_TRUE(recsim::WriteFile(path, recipe));
    PasswordEntry entries[2] = {};
    std::memcpy(&entries[0], "wrongkey", 8);
    std::memcpy(&entries[1], recipe.info.fileKey.data(), 8);
    AvFileHandle handle = nullptr;
    EXPECT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, entries, 1, 1, &handle), 2);
    EXPECT_EQ(handle, nullptr);
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, entries, 2, 1, &handle), 0);
    EXPECT_EQ(AVFILE_FECloseFile(handle), 0);
}

}  // namespace
