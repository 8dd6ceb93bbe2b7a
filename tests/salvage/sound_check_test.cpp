// The cheap check of a finished record file: it passes the files the full
// scan calls sound, reading a few hundred bytes of them whatever their
// size, and passes none of the damaged ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "recsim/recsim.h"
#include "salvage/salvage_scan.h"
#include "salvage/small_recording.h"

namespace {

using salvage::ScanResult;

// Counts the bytes read.
class CountingSource : public salvage::ByteSource {
public:
    explicit CountingSource(const std::vector<uint8_t> &data) : data_(data) {}
    uint64_t Size() const override { return data_.size(); }
    size_t ReadAt(uint64_t offset, uint8_t *out, size_t bytes) override {
        if (offset >= data_.size()) return 0;
        const size_t n = std::min<size_t>(bytes, data_.size() - static_cast<size_t>(offset));
        std::memcpy(out, data_.data() + offset, n);
        total += n;
        return n;
    }
    uint64_t total = 0;

private:
    const std::vector<uint8_t> &data_;
};


void Put32(std::vector<uint8_t> &f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

recsim::FileRecipe LongRecording() {
    recsim::RecordingPlan plan;
    plan.seconds = 60;
    plan.audioChannels = {0};
    return recsim::PlannedFile(plan);
}

TEST(SoundCheck, PassesSoundFilesReadingOnlyTheirHeaders) {
    struct Case {
        const char *name;
        recsim::FileRecipe recipe;
    };
    recsim::FileRecipe watermarked = SmallRecording(false);
    watermarked.watermark = true;
    const Case cases[] = {
        {"plain", SmallRecording(false)},
        {"encrypted, INFO list behind the movie list", SmallRecording(true)},
        {"watermark trailer", watermarked},
        {"a minute", LongRecording()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = recsim::BuildFile(c.recipe);
        const ScanResult full = ScanBytes(bytes, nullptr);
        ASSERT_TRUE(full.Sound());
        CountingSource source(bytes);
        ScanResult quick;
        ASSERT_TRUE(salvage::LooksSound(source, quick));
        EXPECT_TRUE(quick.Sound());
        EXPECT_LT(source.total, 2048u);
        EXPECT_EQ(quick.totalBytes, full.totalBytes);
        EXPECT_EQ(quick.usableBytes, full.usableBytes);
        EXPECT_EQ(quick.movieListOffset, full.movieListOffset);
        EXPECT_EQ(quick.indexOffset, full.indexOffset);
        EXPECT_EQ(quick.infoFound, full.infoFound);
        EXPECT_EQ(quick.microsPerFrame, full.microsPerFrame);
        EXPECT_EQ(quick.frameCountField, full.frameCountField);
        EXPECT_EQ(quick.startSeconds, full.startSeconds);
        EXPECT_EQ(quick.stopSeconds, full.stopSeconds);
        EXPECT_EQ(quick.encrypted, full.encrypted);
        EXPECT_EQ(0, std::memcmp(quick.recordingHeader, full.recordingHeader, sizeof quick.recordingHeader));
    }
}

TEST(SoundCheck, PassesNoDamagedFile) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(base, &w);
    const ScanResult layout = ScanBytes(whole, nullptr);
    const size_t middle = w.chunks[w.chunks.size() / 2].offset + 5;
    const size_t lastEntry = layout.indexOffset + 8 + 16 * (w.chunks.size() - 1);
    struct Case {
        const char *name;
        std::function<std::vector<uint8_t>()> make;
    } cases[] = {
        {"power loss", [&] { return recsim::BuildFile(recsim::PowerLossFile(base, middle)); }},
        {"cut inside the movie list",
         [&] { return std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(middle)); }},
        {"cut inside idx1",
         [&] { return std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(lastEntry + 8)); }},
        {"no idx1",
         [&] {
             recsim::FileRecipe r = base;
             r.index.present = false;
             return recsim::BuildFile(r);
         }},
        {"stop time never written",
         [&] {
             recsim::FileRecipe r = base;
             r.powerLoss.stopTime = recsim::OpeningStopTime::Start;
             return recsim::BuildFile(r);
         }},
        {"opening sizes",
         [&] {
             recsim::FileRecipe r = base;
             r.powerLoss.sizes = recsim::OpeningSizes::Zero;
             return recsim::BuildFile(r);
         }},
        {"RIFF size one chunk short",
         [&] {
             std::vector<uint8_t> f = whole;
             Put32(f, 4, U32(f, 4) - 16);
             return f;
         }},
        {"pre-allocated zeros behind idx1",
         [&] {
             std::vector<uint8_t> f = whole;
             f.resize(f.size() + 4096);
             return f;
         }},
        {"last idx1 entry names a chunk inside the list",
         [&] {
             std::vector<uint8_t> f = whole;
             Put32(f, lastEntry + 8, w.chunks[w.chunks.size() - 2].offset);
             Put32(f, lastEntry + 12, w.chunks[w.chunks.size() - 2].length);
             std::memcpy(&f[lastEntry], w.chunks[w.chunks.size() - 2].id.data(), 4);
             return f;
         }},
        {"last idx1 entry's length not the chunk's",
         [&] {
             std::vector<uint8_t> f = whole;
             Put32(f, lastEntry + 12, U32(f, lastEntry + 12) + 2);
             return f;
         }},
        {"first idx1 entry behind the list's first chunk",
         [&] {
             std::vector<uint8_t> f = whole;
             const size_t first = layout.indexOffset + 8;
             Put32(f, first + 8, w.chunks[1].offset);
             Put32(f, first + 12, w.chunks[1].length);
             std::memcpy(&f[first], w.chunks[1].id.data(), 4);
             return f;
         }},
        {"zero bytes", [] { return std::vector<uint8_t>(); }},
        {"random bytes", [] { return RandomBytes(5000, 3); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = c.make();
        salvage::MemorySource source(bytes.data(), bytes.size());
        ScanResult quick;
        EXPECT_FALSE(salvage::LooksSound(source, quick));
    }
}

// On disk, the file examined cheaply gives the full scan's verdict, and a
// sound file is not walked.
TEST(SoundCheck, ExamineFile) {
    TempDir dir;
    const recsim::FileRecipe base = SmallRecording(true);
    recsim::WrittenFile w;
    recsim::BuildFile(base, &w);
    const std::string sound = dir / "sound.avi", cut = dir / "cut.avi";
    ASSERT_TRUE(recsim::WriteFile(sound, base));
    ASSERT_TRUE(recsim::WriteFile(cut, recsim::PowerLossFile(base, w.chunks[20].offset + 30)));
    bool walked = true;
    ScanResult r = salvage::ExamineFile(sound.c_str(), &walked);
    EXPECT_TRUE(r.Sound());
    EXPECT_FALSE(walked);
    r = salvage::ExamineFile(cut.c_str(), &walked);
    EXPECT_FALSE(r.Sound());
    EXPECT_TRUE(walked);
    EXPECT_EQ(r.chunks, 20u);
    EXPECT_EQ(salvage::ExamineFile((dir / "missing.avi").c_str()).status, salvage::ScanStatus::CannotOpen);
}

}  // namespace
