// Record files as a card holds them after the recorder lost power: cut at
// any byte, with damaged index entries, with bytes changed at random. Every
// one of them goes through the whole playback interface and must give only
// the results 0 and 1, frames inside the handle's buffers, and loops that
// end.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>

#include "common/temp_dir.h"
#include "hardening/exercise.h"
#include "hardening/sample_recordings.h"

namespace {

const char kName[] = "1_20150109-104929_1030h.avi";

void PutU32(std::vector<uint8_t> &bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t> &bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | bytes[at + i];
    return v;
}

size_t IndexEntryCount(const SampleRecording &sample) {
    return GetU32(sample.bytes, sample.written.indexOffset + 4) / 16;
}

size_t IndexEntryAt(const SampleRecording &sample, size_t entry) {
    return sample.written.indexOffset + 8 + 16 * entry;
}

// Cuts the whole file at every offset of its first 64 KiB and at 500 offsets
// spread over the rest, from the longest cut down, so each step is one
// truncation of the file already written.
TEST(DamagedFiles, TruncatedAtEveryOffset) {
    const SampleRecording &sample = EveryChunkKindRecording();
    const size_t size = sample.bytes.size();
    ASSERT_GT(size, 65536u + 500u);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < 500; ++i) cuts.push_back(65536 + (size - 65536) * (500 - i) / 501);
    for (size_t cut = 65536; cut-- > 0;) cuts.push_back(cut);

    TempDir dir;
    const std::string path = dir / kName;
    ASSERT_TRUE(WriteBytes(path, sample.bytes));
    size_t opened = 0;
    for (size_t cut : cuts) {
        std::filesystem::resize_file(path, cut);
        const PlaybackReport report = ExercisePlayback(path, cut);
        ASSERT_EQ(report.fault, "") << "cut at " << cut;
        opened += report.openResult == 0;
    }
    // Cuts behind the header and information lists still open.
    EXPECT_GT(opened, 60000u);
    RecordProperty("cuts", std::to_string(cuts.size()));
    RecordProperty("cuts_opened", std::to_string(opened));
}

// Each idx1 entry in turn gets an impossible, a neighbouring or a foreign
// offset, or a wrong length.
TEST(DamagedFiles, EachIndexEntryCorruptedInTurn) {
    const SampleRecording &sample = EveryChunkKindRecording();
    const size_t entries = IndexEntryCount(sample);
    ASSERT_GT(entries, 100u);
    const uint32_t size = static_cast<uint32_t>(sample.bytes.size());
    const uint32_t firstAudio = sample.written.Of(recsim::ChunkKind::Audio).front()->offset;
    struct Damage {
        const char *what;
        size_t field;  // 8 offset, 12 length
        uint32_t (*value)(uint32_t stored, uint32_t fileSize, uint32_t audio);
    };
    const Damage damages[] = {
        {"offset 0", 8, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
        {"offset one on", 8, [](uint32_t v, uint32_t, uint32_t) { return v + 1; }},
        {"offset one back", 8, [](uint32_t v, uint32_t, uint32_t) { return v - 1; }},
        {"offset at the end", 8, [](uint32_t, uint32_t s, uint32_t) { return s; }},
        {"offset beyond the end", 8, [](uint32_t, uint32_t s, uint32_t) { return s + 4096; }},
        {"offset 2^31 - 1", 8, [](uint32_t, uint32_t, uint32_t) { return 0x7fffffffu; }},
        {"offset 2^32 - 1", 8, [](uint32_t, uint32_t, uint32_t) { return 0xffffffffu; }},
        {"offset of an audio chunk", 8, [](uint32_t, uint32_t, uint32_t a) { return a; }},
        {"length 0", 12, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
        {"length 2^32 - 1", 12, [](uint32_t, uint32_t, uint32_t) { return 0xffffffffu; }},
        {"length doubled", 12, [](uint32_t v, uint32_t, uint32_t) { return v * 2; }},
    };
    TempDir dir;
    const std::string path = dir / kName;
    for (size_t e = 0; e < entries; ++e) {
        for (const Damage &d : damages) {
            std::vector<uint8_t> bytes = sample.bytes;
            const size_t at = IndexEntryAt(sample, e) + d.field;
            PutU32(bytes, at, d.value(GetU32(bytes, at), size, firstAudio));
            ASSERT_TRUE(WriteBytes(path, bytes));
            const PlaybackReport report = ExercisePlayback(path, bytes.size());
            ASSERT_EQ(report.fault, "") << "entry " << e << ": " << d.what;
            ASSERT_EQ(report.openResult, 0) << "entry " << e << ": " << d.what;
        }
    }
    RecordProperty("damaged_images", std::to_string(entries * std::size(damages)));
}

// 1% of the bytes of each sample changed at random, 200 images per sample.
// The images come from a seeded generator, so an image that ever broke a
// guarantee is run again on every test run; the seeds of those that did are
// listed below as well, to keep them when the loop changes.
TEST(DamagedFiles, RandomBytesChanged) {
    std::vector<const SampleRecording *> samples;
    for (const SampleRecording &s : SampleRecordings()) samples.push_back(&s);
    samples.push_back(&EveryChunkKindRecording());
    TempDir dir;
    const std::string path = dir / kName;
    size_t images = 0, opened = 0;
    for (const SampleRecording *sample : samples) {
        for (uint32_t seed = 1; seed <= 200; ++seed) {
            std::vector<uint8_t> bytes = sample->bytes;
            std::mt19937 random(seed);
            std::uniform_int_distribution<size_t> where(0, bytes.size() - 1);
            for (size_t n = 0; n < bytes.size() / 100; ++n) {
                bytes[where(random)] = static_cast<uint8_t>(random());
            }
            ASSERT_TRUE(WriteBytes(path, bytes));
            const PlaybackReport report = ExercisePlayback(path, bytes.size());
            ASSERT_EQ(report.fault, "") << sample->label << " seed " << seed;
            ++images;
            opened += report.openResult == 0;
        }
    }
    RecordProperty("images", std::to_string(images));
    RecordProperty("images_opened", std::to_string(opened));
}

// A key-frame entry that leads to an audio chunk: the step to later key
// frames delivers that chunk once and then goes on, instead of delivering it
// again on every step.
TEST(DamagedFiles, KeyFrameEntryOnAnAudioChunkStepsOn) {
    const SampleRecording &sample = SampleRecordings().front();
    std::vector<uint8_t> bytes = sample.bytes;
    const uint32_t audio = sample.written.Of(recsim::ChunkKind::Audio, 1).front()->offset;
    PutU32(bytes, IndexEntryAt(sample, 0) + 8, audio);  // the first entry is a key frame
    TempDir dir;
    const std::string path = dir / kName;
    ASSERT_TRUE(WriteBytes(path, bytes));
    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle), 0);
    const size_t keyFrames = sample.written.Of(recsim::ChunkKind::Video).size();
    AvFrameInfo frame{}, request{};
    int steps = 0, audioSteps = 0;
    while (steps <= static_cast<int>(keyFrames) && AVFILE_FEBackwardIFrame(handle, &frame, &request) == 0) {
        ++steps;
        audioSteps += frame.type == FRAME_TYPE_AUDIO;
    }
    EXPECT_EQ(audioSteps, 1);
    EXPECT_LE(steps, static_cast<int>(keyFrames));
    AVFILE_FECloseFile(handle);
}

}  // namespace

namespace {

// A damaged audio description whose 16-bit sample size times its channel
// count does not fit an int (found by the record file fuzzer): the block
// alignment is taken from the product in 32 bits, as any other, instead of
// an overflowing signed product.
TEST(DamagedFiles, AudioDescriptionBeyondAnInt) {
    recsim::FileRecipe recipe;
    recsim::Chunk first;
    first.kind = recsim::ChunkKind::Video;
    first.key = true;
    first.payload = recsim::SyntheticFrame(200);  // a key frame without parameter sets
    recipe.chunks.push_back(first);
    recsim::Chunk next;
    next.payload = recsim::SyntheticFrame(1500);
    recipe.chunks.push_back(next);  // the file reaches its first 2048 bytes
    recipe.streamWords = std::array<uint32_t, 3>{0, 0, 0};
    recipe.formatWords = std::array<uint32_t, 3>{1u | (65535u << 16), 8000, 47358};
    TempDir dir;
    const std::string path = dir / kName;
    ASSERT_TRUE(recsim::WriteFile(path, recipe));
    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle), 0);
    AvWaveFormatEx format{};
    uint32_t frameSize = 7;
    int32_t codec = 7, codecParam = 7;
    ASSERT_EQ(AVFILE_FEGetWaveFormat(handle, &format, &frameSize, &codec, &codecParam), 0);
    // A first frame without parameter sets: the format is the stream
    // format's, the codes the (zero) stream words.
    const uint16_t blockAlign = static_cast<uint16_t>(47358u * 65535u / 8);
    EXPECT_EQ(format.wFormatTag, 1);
    EXPECT_EQ(format.nChannels, 65535);
    EXPECT_EQ(format.nSamplesPerSec, 8000u);
    EXPECT_EQ(format.wBitsPerSample, 47358);
    EXPECT_EQ(format.nBlockAlign, blockAlign);
    EXPECT_EQ(format.nAvgBytesPerSec, blockAlign * 8000u);
    EXPECT_EQ(format.cbSize, 0);
    EXPECT_EQ(frameSize, 0u);
    EXPECT_EQ(codec, 0);
    EXPECT_EQ(codecParam, 0);
    AVFILE_FECloseFile(handle);
}

}  // namespace
