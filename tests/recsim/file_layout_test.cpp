// The simulator writes the recorder's layout: fixed header-list positions,
// the recording blocks, the movie list and an index whose entries point at
// the chunk headers, and the options that bend each of them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "recfile/des.h"
#include "recfile/frame_cipher.h"
#include "recfile/master_key.h"
#include "recsim/recsim.h"

namespace {

using recsim::ChunkKind;

uint32_t U32(const std::vector<uint8_t> &f, size_t at) {
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}
std::string Id(const std::vector<uint8_t> &f, size_t at) {
    return std::string(reinterpret_cast<const char *>(&f[at]), 4);
}

// A small recording: three frames (one key), audio of channel 0 and 1, GPS.
recsim::FileRecipe SmallFile() {
    recsim::RecordingPlan plan;
    plan.seconds = 1;
    plan.framesPerSecond = 3;
    plan.keyFrameInterval = 3;
    plan.audioChannels = {0, 1};
    return recsim::PlannedFile(plan);
}

TEST(FileLayout, HeaderListFieldsStandAtTheirFixedOffsets) {
    recsim::FileRecipe recipe = SmallFile();
    recipe.header.alarmFile = 1;
    recipe.header.composite = -1;
    recipe.header.videoStandard = 0;
    recipe.header.encryption = 0x05;
    recipe.streamWords = std::array<uint32_t, 3>{11, 22, 33};
    recipe.formatWords = std::array<uint32_t, 3>{44, 55, 66};
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);

    EXPECT_EQ(Id(f, 0), "RIFF");
    EXPECT_EQ(U32(f, 4), f.size() - 8);
    EXPECT_EQ(Id(f, 8), "AVI ");
    EXPECT_EQ(w.headerListOffset, 12u);
    EXPECT_EQ(Id(f, 12), "LIST");
    EXPECT_EQ(Id(f, 20), "hdrl");
    EXPECT_EQ(Id(f, 24), "avih");
    EXPECT_EQ(U32(f, 28), 180u);
    // The recording header: file offsets 72..87.
    EXPECT_EQ(f[72 + 3], 1);     // alarm
    EXPECT_EQ(f[72 + 4], 0xFF);  // composite
    EXPECT_EQ(f[72 + 6], 0);     // video standard
    EXPECT_EQ(f[72 + 7], 0x05);  // encryption byte
    EXPECT_EQ(U32(f, 80), static_cast<uint32_t>(recipe.header.startSeconds));
    EXPECT_EQ(U32(f, 84), static_cast<uint32_t>(recipe.header.stopSeconds));
    // A plain file stores its key as it is; the 16 further bytes follow it.
    EXPECT_EQ(std::memcmp(&f[88], recipe.info.fileKey.data(), 8), 0);
    EXPECT_EQ(std::memcmp(&f[96], recipe.furtherHeaderBytes.data(), 16), 0);
    // The first stream's header and format, with the words where the
    // recorder keeps its audio description.
    EXPECT_EQ(Id(f, 224), "strh");
    EXPECT_EQ(U32(f, 236), 11u);
    EXPECT_EQ(U32(f, 240), 22u);
    EXPECT_EQ(U32(f, 244), 33u);
    EXPECT_EQ(Id(f, 288), "strf");
    EXPECT_EQ(U32(f, 296), 44u);
    EXPECT_EQ(U32(f, 300), 55u);
    EXPECT_EQ(U32(f, 304), 66u);
}

TEST(FileLayout, RecorderOrderAndTheRecordingInformationBlock) {
    const recsim::FileRecipe recipe = SmallFile();
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);

    const uint32_t hdrlEnd = 12 + 8 + U32(f, 16);
    ASSERT_EQ(w.infoListOffset, hdrlEnd);
    EXPECT_EQ(Id(f, hdrlEnd), "LIST");
    EXPECT_EQ(U32(f, hdrlEnd + 4), 256u);
    EXPECT_EQ(Id(f, hdrlEnd + 8), "INFO");
    const size_t block = hdrlEnd + 20;
    EXPECT_EQ(std::memcmp(&f[block + 1], recipe.info.fileKey.data(), 8), 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(&f[block + 10]), "DEV-00001");
    EXPECT_STREQ(reinterpret_cast<const char *>(&f[block + 31]), "APP V2.1.3");
    EXPECT_STREQ(reinterpret_cast<const char *>(&f[block + 83]), "MCU V1.0.7");
    EXPECT_STREQ(reinterpret_cast<const char *>(&f[block + 135]), "CAM V3.2.0");

    EXPECT_EQ(w.movieListOffset, hdrlEnd + 8 + 256);
    EXPECT_EQ(Id(f, w.movieListOffset + 8), "movi");
    EXPECT_EQ(w.indexOffset, w.movieListOffset + 8 + w.movieListSize);
    EXPECT_EQ(Id(f, w.indexOffset), "idx1");
    EXPECT_EQ(w.indexOffset + 8 + U32(f, w.indexOffset + 4), f.size());
}

TEST(FileLayout, IndexEntriesPointAtTheChunkHeaders) {
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(SmallFile(), &w);
    ASSERT_EQ(U32(f, w.indexOffset + 4), 16 * w.chunks.size());
    ASSERT_EQ(w.VideoCount(), 3u);
    EXPECT_EQ(w.Of(ChunkKind::Audio, 1).size(), w.Of(ChunkKind::Audio, 2).size());
    ASSERT_EQ(w.Of(ChunkKind::Text).size(), 1u);
    EXPECT_EQ(w.Of(ChunkKind::Text)[0]->id, "03tx");

    for (size_t i = 0; i < w.chunks.size(); ++i) {
        const recsim::WrittenChunk &c = w.chunks[i];
        const size_t entry = w.indexOffset + 8 + 16 * i;
        EXPECT_EQ(Id(f, entry), c.id);
        EXPECT_EQ(U32(f, entry + 4), c.kind == ChunkKind::Video && !c.key ? 0u : 0x10u) << c.id;
        EXPECT_EQ(U32(f, entry + 8), c.offset);
        EXPECT_EQ(U32(f, entry + 12), c.length);
        EXPECT_EQ(Id(f, c.offset), c.id);
        EXPECT_EQ(U32(f, c.offset + 4), c.length);
        EXPECT_EQ(std::memcmp(&f[c.offset + 8], c.stored.data(), c.length), 0);
    }
    EXPECT_EQ(w.chunks[0].id, "00dc");
    EXPECT_TRUE(w.chunks[0].key);
}

TEST(FileLayout, OddChunksArePaddedOnlyWhenAsked) {
    for (const bool pad : {true, false}) {
        recsim::FileRecipe recipe;
        recipe.padOddChunks = pad;
        recsim::Chunk odd;
        odd.kind = ChunkKind::Video;
        odd.payload = {1, 2, 3, 4, 5};
        recsim::Chunk audio;
        audio.kind = ChunkKind::Audio;
        audio.stream = 1;
        audio.payload = {7, 8};
        recipe.chunks = {odd, audio};
        recsim::WrittenFile w;
        const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);
        EXPECT_EQ(w.chunks[1].offset, w.chunks[0].offset + 8 + 5 + (pad ? 1 : 0));
        if (pad) {
            EXPECT_EQ(f[w.chunks[0].offset + 13], 0);
        }
        EXPECT_EQ(Id(f, w.chunks[1].offset), "01wb");
    }
}

TEST(FileLayout, ListPlacements) {
    struct Case {
        recsim::InfoPlacement info;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {recsim::InfoPlacement::BeforeMovie, {"hdrl", "INFO", "movi", "idx1"}},
        {recsim::InfoPlacement::AfterMovie, {"hdrl", "movi", "INFO", "idx1"}},
        {recsim::InfoPlacement::AfterIndex, {"hdrl", "movi", "idx1", "INFO"}},
        {recsim::InfoPlacement::None, {"hdrl", "movi", "idx1"}},
    };
    for (const Case &c : cases) {
        recsim::FileRecipe recipe = SmallFile();
        recipe.infoPlacement = c.info;
        const std::vector<uint8_t> f = recsim::BuildFile(recipe);
        std::vector<std::string> order;
        for (size_t at = 12; at + 8 <= f.size(); at += 8 + U32(f, at + 4)) {
            order.push_back(Id(f, at) == "LIST" ? Id(f, at + 8) : Id(f, at));
        }
        EXPECT_EQ(order, c.order);
    }
}

TEST(FileLayout, AnotherListBetweenHeaderAndMovieLists) {
    recsim::FileRecipe recipe = SmallFile();
    recipe.infoPlacement = recsim::InfoPlacement::AfterMovie;
    recipe.beforeMovie.push_back({"LIST", "odml", std::vector<uint8_t>(9, 0xAB)});
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);
    const uint32_t hdrlEnd = 12 + 8 + U32(f, 16);
    EXPECT_EQ(Id(f, hdrlEnd + 8), "odml");
    EXPECT_EQ(U32(f, hdrlEnd + 4), 13u);  // odd: the next list follows unpadded
    EXPECT_EQ(w.movieListOffset, hdrlEnd + 8 + 13);
}

TEST(FileLayout, MainHeaderAndInfoSizes) {
    for (const uint32_t size : {30u, 48u, 56u, 104u, 180u, 200u}) {
        recsim::FileRecipe recipe = SmallFile();
        recipe.mainHeaderSize = size;
        const std::vector<uint8_t> f = recsim::BuildFile(recipe);
        EXPECT_EQ(U32(f, 28), size);
        EXPECT_EQ(Id(f, 32 + size), "LIST") << size;
        EXPECT_EQ(Id(f, 32 + size + 8), "strl") << size;
    }
    struct InfoCase {
        recsim::InfoForm form;
        std::optional<uint32_t> listSize;
        uint32_t expectedSize;
    };
    const InfoCase infos[] = {{recsim::InfoForm::Long, std::nullopt, 256},
                              {recsim::InfoForm::Short, std::nullopt, 199},
                              {recsim::InfoForm::Long, 187, 187},
                              {recsim::InfoForm::Long, 243, 243}};
    for (const InfoCase &c : infos) {
        recsim::FileRecipe recipe = SmallFile();
        recipe.infoForm = c.form;
        recipe.infoListSize = c.listSize;
        recsim::WrittenFile w;
        const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);
        EXPECT_EQ(U32(f, w.infoListOffset + 4), c.expectedSize);
        EXPECT_EQ(w.movieListOffset, w.infoListOffset + 8 + c.expectedSize);
    }
}

TEST(FileLayout, DamagedShortAndMissingIndex) {
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(SmallFile(), &w);
    const size_t entries = w.chunks.size();

    recsim::FileRecipe missing = SmallFile();
    missing.index.present = false;
    recsim::WrittenFile wm;
    const std::vector<uint8_t> fm = recsim::BuildFile(missing, &wm);
    EXPECT_EQ(wm.indexOffset, 0u);
    EXPECT_EQ(fm.size(), whole.size() - 8 - 16 * entries);

    recsim::FileRecipe cut = SmallFile();
    cut.index.entriesWritten = 2;
    const std::vector<uint8_t> fc = recsim::BuildFile(cut);
    EXPECT_EQ(fc.size(), w.indexOffset + 8 + 32);
    EXPECT_EQ(U32(fc, w.indexOffset + 4), 16 * entries);

    recsim::FileRecipe huge = SmallFile();
    huge.index.sizeField = 0x7FFFFFF0;
    huge.index.extra.push_back({"01dc", 0x10, 1234, 5});
    const std::vector<uint8_t> fh = recsim::BuildFile(huge);
    EXPECT_EQ(U32(fh, w.indexOffset + 4), 0x7FFFFFF0u);
    EXPECT_EQ(Id(fh, w.indexOffset + 8 + 16 * entries), "01dc");
    EXPECT_EQ(fh.size(), whole.size() + 16);
}

TEST(FileLayout, SignatureTruncationAndWatermark) {
    recsim::FileRecipe recipe = SmallFile();
    recipe.formType = "AVIX";
    recipe.watermark = true;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe);
    EXPECT_EQ(Id(f, 8), "AVIX");
    EXPECT_EQ(AVFILE_CheckWaterMark(f.data(), static_cast<uint32_t>(f.size())), 0);
    EXPECT_EQ(U32(f, 4), f.size() - 12);  // the trailer stands outside the RIFF form
    EXPECT_EQ(AVFILE_CheckWaterMark(f.data(), static_cast<uint32_t>(f.size() - 1)), 1);

    recipe.truncateAt = 2047;
    EXPECT_EQ(recsim::BuildFile(recipe).size(), 2047u);

    std::vector<uint8_t> block(100, 0x5A);
    recsim::AppendWatermark(block, 0xEE);
    EXPECT_EQ(block.size(), 104u);
    EXPECT_EQ(AVFILE_CheckWaterMark(block.data(), 104), 0);
}

TEST(FileLayout, EncryptedFileKeyAndKeyFrames) {
    recsim::RecordingPlan plan;
    plan.seconds = 1;
    plan.framesPerSecond = 4;
    plan.keyFrameInterval = 2;
    plan.gps = false;
    plan.audioChannels = {};
    recsim::FileRecipe recipe = recsim::PlannedFile(plan);
    recipe.header.encryption = 0x15;
    // Key frames of the three forms: SPS first, delimiter then SPS, a bare slice.
    recipe.chunks[0].payload = recsim::SyntheticKeyFrame(600, false, 1);
    recipe.chunks[2].payload = recsim::SyntheticKeyFrame(600, true, 2);
    recsim::Chunk slice = recipe.chunks[1];
    slice.key = true;
    slice.payload[4] = 0x65;
    recipe.chunks.push_back(slice);
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);

    // The stored key deciphers under the library's master key to the file key.
    unsigned char key[8];
    std::memcpy(key, &f[88], 8);
    EXPECT_NE(std::memcmp(key, recipe.info.fileKey.data(), 8), 0);
    DesDecryptBlocks(MasterKey(), key, 1);
    EXPECT_EQ(std::memcmp(key, recipe.info.fileKey.data(), 8), 0);
    EXPECT_EQ(std::memcmp(&f[w.infoListOffset + 21], &f[88], 8), 0);
    EXPECT_EQ(f[w.infoListOffset + 20], 1);  // the encryption mode copy

    const bool expectEnciphered[] = {true, false, true, false, false};
    ASSERT_EQ(w.chunks.size(), 5u);
    for (size_t i = 0; i < w.chunks.size(); ++i) {
        const recsim::WrittenChunk &c = w.chunks[i];
        EXPECT_EQ(c.enciphered, expectEnciphered[i]) << i;
        if (!c.enciphered) {
            EXPECT_EQ(c.stored, c.payload) << i;
            continue;
        }
        // Only bytes 24..279 differ, and the library's rule restores them.
        EXPECT_EQ(std::memcmp(c.stored.data(), c.payload.data(), 24), 0);
        EXPECT_EQ(std::memcmp(c.stored.data() + 280, c.payload.data() + 280, c.length - 280), 0);
        EXPECT_NE(std::memcmp(c.stored.data() + 24, c.payload.data() + 24, 256), 0);
        std::vector<uint8_t> read = c.stored;
        EXPECT_TRUE(DecryptKeyFrame(recipe.info.fileKey.data(), read.data(), c.length, c.length));
        EXPECT_EQ(read, c.payload) << i;
    }

    // Another recorder's master key gives another stored key.
    recipe.masterKey = std::array<uint8_t, 8>{'O', 't', 'h', 'e', 'r', 'K', 'e', 'y'};
    const std::vector<uint8_t> other = recsim::BuildFile(recipe);
    EXPECT_NE(std::memcmp(&other[88], &f[88], 8), 0);
}

TEST(FileLayout, ChunkOverrides) {
    recsim::FileRecipe recipe;
    recsim::Chunk a;
    a.kind = ChunkKind::Video;
    a.id = "01dc";
    a.payload = {1, 2, 3, 4};
    a.indexFlags = 7;
    recsim::Chunk b;
    b.kind = ChunkKind::Raw;
    b.id = "0000";
    b.payload = {9, 9};
    b.inIndex = false;
    b.sizeField = 600000;
    recipe.chunks = {a, b};
    recsim::WrittenFile w;
    const std::vector<uint8_t> f = recsim::BuildFile(recipe, &w);
    EXPECT_EQ(Id(f, w.chunks[0].offset), "01dc");
    EXPECT_EQ(U32(f, w.chunks[1].offset + 4), 600000u);
    EXPECT_EQ(U32(f, w.indexOffset + 4), 16u);
    EXPECT_EQ(U32(f, w.indexOffset + 12), 7u);
}

}  // namespace
