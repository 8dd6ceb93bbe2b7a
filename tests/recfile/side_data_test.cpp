// GPS side data fetched through the index, and encrypted files played like
// plain ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "recfile/sim_file.h"

namespace {

using recsim::Chunk;
using recsim::ChunkKind;
using recsim::FileRecipe;

int32_t RequestSideData(AvFileHandle h, AvFrameInfo *frame) {
    AvFrameInfo request{};
    request.type = FRAME_REQ_SIDEDATA;
    return AVFILE_FEReadFrame(h, frame, &request);
}

uint16_t U16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t *p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }
double F64(const uint8_t *p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
}
bool Zeros(const uint8_t *p, size_t n) { return std::all_of(p, p + n, [](uint8_t b) { return b == 0; }); }

// The record the host must get for the text chunk of a second of the
// simulator's route, field by field: the fix where the route puts it, its
// 10 knots at 90.5 degrees as 1851 hundredths of km/h and 90 degrees, and
// the chunk's ten samples, each with the word 1024.
void ExpectRecordOfRoute(const std::vector<uint8_t> &record, const recsim::Fix &fix,
                         const std::vector<uint8_t> &chunk) {
    ASSERT_EQ(record.size(), 288u);
    ASSERT_GT(chunk.size(), 416u);
    EXPECT_EQ(U16(&record[0]), 3);  // a GPS block and samples
    EXPECT_EQ(U16(&record[2]), 0);
    const uint8_t *gps = &record[4];
    EXPECT_EQ(U32(gps), 1u);
    EXPECT_EQ(U32(gps + 4), 1u);
    EXPECT_EQ(U16(gps + 8), 90);
    EXPECT_EQ(U16(gps + 10), 1851);
    // The sentence carries ten-thousandths of a minute.
    EXPECT_NEAR(F64(gps + 12), fix.longitude, 1e-6);
    EXPECT_NEAR(F64(gps + 20), fix.latitude, 1e-6);
    EXPECT_TRUE(Zeros(gps + 28, 16));
    for (size_t i = 0; i < 10; ++i) {
        const uint8_t *sample = &record[48 + 24 * i];
        const uint8_t *stored = &chunk[266 + 16 * i];
        EXPECT_EQ(U16(sample), U16(stored)) << "sample " << i;
        EXPECT_EQ(U16(sample + 2), U16(stored + 2)) << "sample " << i;
        EXPECT_EQ(U16(sample + 4), U16(stored + 4)) << "sample " << i;
        EXPECT_EQ(U16(sample + 6), 1024) << "sample " << i;
        EXPECT_TRUE(Zeros(sample + 8, 16)) << "sample " << i;
    }
}

// Three seconds with a text chunk at the start of each.
recsim::RecordingPlan ThreeSecondsPlan(bool gpsSamples = false) {
    recsim::RecordingPlan plan;
    plan.seconds = 3;
    plan.gpsSamples = gpsSamples;
    return plan;
}
FileRecipe ThreeSeconds(bool gpsSamples = false) { return recsim::PlannedFile(ThreeSecondsPlan(gpsSamples)); }

TEST(SideData, FetchedThroughTheIndexOncePerOpen) {
    TempDir dir;
    const recsim::RecordingPlan plan = ThreeSecondsPlan(true);
    const FileRecipe recipe = recsim::PlannedFile(plan);
    const SimFile f = WriteSim(dir, "gps.avi", recipe);
    const std::vector<const recsim::WrittenChunk *> texts = f.written.Of(ChunkKind::Text);
    ASSERT_EQ(texts.size(), 3u);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    const uint64_t count = f.written.VideoCount();
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        AvFrameInfo frame{};
        frame.timeUs = -5;
        ASSERT_EQ(RequestSideData(h.get(), &frame), 0);
        EXPECT_EQ(frame.type, FRAME_TYPE_SIDEDATA);
        const Delivered d = Copy(frame);
        ExpectRecordOfRoute(d.payload, plan.route.At(static_cast<double>(i)), texts[i]->payload);
        // The time of the video frames that precede the text chunk.
        uint64_t before = 0;
        for (const auto &c : f.written.chunks) {
            if (&c == texts[i]) break;
            before += c.kind == ChunkKind::Video;
        }
        EXPECT_EQ(frame.timeUs, FrameTime(recipe, before, count));
        // Seeks move nothing back: the next request still takes the next entry.
        ASSERT_EQ(AVFILE_FESeekBegin(h.get()), 0);
    }
    AvFrameInfo frame{};
    EXPECT_EQ(RequestSideData(h.get(), &frame), 1);
    ASSERT_EQ(AVFILE_FESeekBegin(h.get()), 0);
    EXPECT_EQ(RequestSideData(h.get(), &frame), 1);
    EXPECT_EQ(FileObject(h.get())->Index()->textCursor, 3u);
}

TEST(SideData, RequestMovesTheSequentialReader) {
    TempDir dir;
    const FileRecipe recipe = ThreeSeconds();
    const SimFile f = WriteSim(dir, "move.avi", recipe);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    AvFrameInfo frame{};
    ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
    // The first request fetches the first text chunk, the second the one of
    // second 1; reading then goes on behind it.
    ASSERT_EQ(RequestSideData(h.get(), &frame), 0);
    ASSERT_EQ(RequestSideData(h.get(), &frame), 0);
    const auto &chunks = f.written.chunks;
    size_t second = 0, seen = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (chunks[i].kind == ChunkKind::Text && ++seen == 2) {
            second = i;
            break;
        }
    }
    ASSERT_NE(second, 0u);
    const recsim::WrittenChunk &next = chunks[second + 1];
    ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
    const Delivered d = Copy(frame);
    if (next.kind == ChunkKind::Video) {
        EXPECT_TRUE(d.payload == WithoutDelimiter(next.payload));
    } else {
        EXPECT_TRUE(d.payload == next.payload);
    }
}

// A request whose seek to the text chunk fails reads nothing from wherever
// the file stayed and keeps its record for the next request.
TEST(SideData, RequestWhoseSeekFailsKeepsItsRecord) {
    TempDir dir;
    const FileRecipe recipe = ThreeSeconds();
    const SimFile f = WriteSim(dir, "seek.avi", recipe);
    const std::vector<const recsim::WrittenChunk *> texts = f.written.Of(ChunkKind::Text);
    ASSERT_EQ(texts.size(), 3u);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    namespace fault = plat::fault;
    AvFrameInfo frame{};
    fault::Arm(fault::kSeek, 1, false);
    const int32_t failed = RequestSideData(h.get(), &frame);
    fault::Disarm();
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 1);  // parked
    ASSERT_EQ(RequestSideData(h.get(), &frame), 0);
    const std::vector<uint8_t> kept = Copy(frame).payload;
    OpenHandle fresh(f.path);
    ASSERT_EQ(fresh.result(), 0);
    AvFrameInfo first{};
    ASSERT_EQ(RequestSideData(fresh.get(), &first), 0);
    EXPECT_TRUE(kept == Copy(first).payload);  // the first chunk's record, not the second's
}

TEST(SideData, FailuresAndFilesWithoutVideoEntries) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(0);
    Chunk text;
    text.kind = ChunkKind::Text;
    text.stream = 2;
    text.payload = recsim::TextPayload(recsim::RmcSentence({}));
    Chunk video;
    video.kind = ChunkKind::Video;
    video.key = true;
    video.payload = recsim::SyntheticKeyFrame(3000);
    video.inIndex = false;
    recipe.chunks = {text, video, text, text};
    recipe.header.stopSeconds = recipe.header.startSeconds + 5;
    SimFile f = WriteSim(dir, "nov.avi", recipe);
    // The second text entry points at the video chunk instead.
    const size_t entry1 = f.written.indexOffset + 8 + 16;
    ASSERT_EQ(f.bytes[entry1 + 2], 't');
    std::memcpy(&f.bytes[entry1 + 8], &f.written.chunks[1].offset, 4);
    Rewrite(f);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    AvFrameInfo frame{};
    frame.timeUs = 777;
    ASSERT_EQ(RequestSideData(h.get(), &frame), 0);
    EXPECT_EQ(frame.timeUs, 777);  // no video entries: the host's time stays
    EXPECT_EQ(frame.length, 48);
    EXPECT_EQ(RequestSideData(h.get(), &frame), 1);  // a video chunk there
    EXPECT_EQ(FileObject(h.get())->Index()->textCursor, 2u);
    EXPECT_EQ(RequestSideData(h.get(), &frame), 0);
    EXPECT_EQ(RequestSideData(h.get(), &frame), 1);
    EXPECT_EQ(FileObject(h.get())->Index()->textCursor, 3u);
}

// ---- Encrypted files ----

TEST(EncryptedPlayback, KeyFramesComeBackPlain) {
    for (uint8_t encryption : {uint8_t{0x15}, uint8_t{0x25}}) {
        for (bool delimiters : {false, true}) {
            SCOPED_TRACE(testing::Message() << int{encryption} << " " << delimiters);
            TempDir dir;
            recsim::RecordingPlan plan;
            plan.seconds = 2;
            plan.delimiters = delimiters;
            plan.keyFrameInterval = 5;
            FileRecipe recipe = recsim::PlannedFile(plan);
            recipe.header.encryption = encryption;
            const SimFile f = WriteSim(dir, "enc.avi", recipe);
            size_t enciphered = 0;
            for (const auto &c : f.written.chunks) enciphered += c.enciphered;
            ASSERT_GT(enciphered, 0u);
            OpenHandle h(f.path);
            ASSERT_EQ(h.result(), 0);
            ExpectSame(ReadAll(h.get()), ExpectedPlayback(f, recipe, 0));
            // Steps decipher too.
            AvFrameInfo frame{};
            ASSERT_EQ(AVFILE_FESeekBegin(h.get()), 0);
            ASSERT_EQ(AVFILE_FEBackwardIFrame(h.get(), &frame, nullptr), 0);
            ASSERT_EQ(AVFILE_FEBackwardIFrame(h.get(), &frame, nullptr), 0);
            const auto keys = f.written.Of(ChunkKind::Video);
            EXPECT_TRUE(Copy(frame).payload == WithoutDelimiter(keys[5]->payload));
        }
    }
}

TEST(EncryptedPlayback, OnlyKeyFramesOfTheIndexWithAParameterSetAreDeciphered) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(2);
    recipe.header.encryption = 0x15;
    auto video = [](std::vector<uint8_t> payload, bool key) {
        Chunk c;
        c.kind = ChunkKind::Video;
        c.key = key;
        c.payload = std::move(payload);
        return c;
    };
    std::vector<uint8_t> slice = recsim::SyntheticKeyFrame(600);
    slice[4] = 0x65;  // a key frame that starts with its slice
    recipe.chunks = {video(recsim::SyntheticKeyFrame(600), true), video(slice, true),
                   video(recsim::SyntheticKeyFrame(600), true),  // stored enciphered ...
                   video(recsim::SyntheticFrame(5000), false)};
    recipe.chunks[2].indexFlags = 0;  // ... but not a key frame by the index
    const SimFile f = WriteSim(dir, "rule.avi", recipe);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    const std::vector<Delivered> got = ReadAll(h.get());
    ASSERT_EQ(got.size(), 4u);
    const auto &w = f.written.chunks;
    EXPECT_TRUE(w[0].enciphered);
    EXPECT_TRUE(got[0].payload == w[0].payload);
    EXPECT_FALSE(w[1].enciphered);
    EXPECT_TRUE(got[1].payload == w[1].payload);
    EXPECT_TRUE(w[2].enciphered);
    EXPECT_EQ(got[2].type, FRAME_TYPE_P);
    EXPECT_TRUE(got[2].payload == w[2].stored);
    EXPECT_TRUE(got[3].payload == w[3].stored);
}

TEST(EncryptedPlayback, AnotherMasterKeyScramblesWithoutFailing) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(2);
    recipe.header.encryption = 0x15;
    recipe.masterKey = std::array<uint8_t, 8>{'O', 't', 'h', 'e', 'r', 'K', 'e', 'y'};
    const SimFile f = WriteSim(dir, "other.avi", recipe);
    const std::vector<PasswordEntry> right = {Password(recipe.info.fileKey)};
    EXPECT_EQ(OpenSim(f.path, 0, &right, 1).result, 2);  // the key deciphers differently
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    AvFrameInfo frame{};
    ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
    const Delivered d = Copy(frame);
    const auto &first = f.written.chunks[0];
    ASSERT_EQ(d.payload.size(), first.payload.size());
    EXPECT_TRUE(std::equal(d.payload.begin(), d.payload.begin() + 24, first.payload.begin()));
    EXPECT_FALSE(d.payload == first.payload);
}

// ---- Property: random recordings play back exactly as written ----

TEST(PlaybackProperty, RandomRecordingsThroughTheExports) {
    std::mt19937 rng(90115);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        recsim::RecordingPlan plan;
        plan.seconds = pick(1, 4);
        plan.framesPerSecond = pick(5, 30);
        plan.keyFrameInterval = pick(1, 40);
        plan.keyFrameSize = static_cast<size_t>(pick(30, 9000));
        plan.frameSize = static_cast<size_t>(pick(7, 3001));
        plan.delimiters = pick(0, 1) == 1;
        plan.audioChannels.clear();
        for (int c = 0; c < 4; ++c) {
            if (pick(0, 2) == 0) plan.audioChannels.push_back(c);
        }
        plan.audioChunkBytes = static_cast<size_t>(pick(1, 3000));
        plan.gps = pick(0, 1) == 1;
        plan.gpsSamples = pick(0, 1) == 1;
        FileRecipe recipe = recsim::PlannedFile(plan, 1420800569 + pick(0, 100000));
        recipe.header.encryption = pick(0, 1) ? 0x15 : 0x05;
        recipe.padOddChunks = pick(0, 1) == 1;
        const recsim::InfoPlacement orders[] = {recsim::InfoPlacement::BeforeMovie,
                                                recsim::InfoPlacement::AfterMovie,
                                                recsim::InfoPlacement::AfterIndex};
        recipe.infoPlacement = orders[pick(0, 2)];
        TempDir dir;
        const SimFile f = WriteSim(dir, "random.avi", recipe);
        const int32_t channel = pick(0, 3);
        OpenHandle h(f.path, channel);
        ASSERT_EQ(h.result(), 0);
        if (pick(0, 1)) {
            ExpectSame(ReadAll(h.get()), ExpectedPlayback(f, recipe, channel));
        } else {
            const int32_t other = pick(0, 3);
            ExpectSame(ReadAll(h.get(), FRAME_REQ_AUDIO_CHANNEL, other),
                       ExpectedPlayback(f, recipe, other));
        }
    }
}

}  // namespace
