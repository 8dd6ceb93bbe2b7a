// Repair of recordings cut short by power loss: every shape the recorder
// simulator writes, cut at every chunk boundary, a few bytes either side and
// at seeded random points, plain and encrypted. The repaired copy must open
// through the library's exports and play the original's frames in front of
// the cut with the same payload, type and channel, at times the header's
// whole-second stop time allows, and step between its key frames; a repair
// of the copy finds nothing to do.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "common/temp_dir.h"
#include "platform/fault_injection.h"
#include "recsim/recsim.h"
#include "salvage/power_loss_cases.h"
#include "salvage/salvage_repair.h"
#include "salvage/small_recording.h"

namespace {

using salvage::MovieChunk;
using salvage::RepairResult;
using salvage::RepairStatus;

RepairResult RepairBytes(const std::vector<uint8_t> &in, std::vector<uint8_t> &out,
                         const std::vector<uint8_t> *reference = nullptr,
                         size_t held = salvage::kMaxHeldIndexEntries) {
    salvage::MemorySource source(in.data(), in.size());
    salvage::MemorySource ref(reference ? reference->data() : nullptr, reference ? reference->size() : 0);
    salvage::MemoryOutput sink;
    const RepairResult r = salvage::Repair(source, reference ? &ref : nullptr, sink, held);
    out = std::move(sink.bytes);
    return r;
}

struct Frame {
    int64_t timeUs;
    int32_t type;
    std::vector<uint8_t> payload;
};

std::string Write(const TempDir &dir, const std::string &name, const std::vector<uint8_t> &bytes) {
    return dir.WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

// Every frame a plain read delivers, audio of channel 0.
std::vector<Frame> Play(AvFileHandle h) {
    std::vector<Frame> frames;
    AvFrameInfo f{};
    while (AVFILE_FEReadFrame(h, &f, nullptr) == 0) {
        frames.push_back({f.timeUs, f.type, std::vector<uint8_t>(f.data, f.data + f.length)});
    }
    return frames;
}

// The repaired copies reach the library from memory, not through the disk:
// thousands of them are played.
class Served {
public:
    Served(const std::string &path, const std::vector<uint8_t> &bytes) : path_(path) {
        file_ = {path_.c_str(), bytes.data(), bytes.size()};
        plat::fault::Serve(&file_, 1);
    }
    ~Served() { plat::fault::Serve(nullptr, 0); }
    Served(const Served &) = delete;
    Served &operator=(const Served &) = delete;

private:
    std::string path_;
    plat::fault::ServedFile file_{};
};

class Open {
public:
    explicit Open(const std::string &path) { result = AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &h); }
    ~Open() {
        if (result == 0) AVFILE_FECloseFile(h);
    }
    Open(const Open &) = delete;
    Open &operator=(const Open &) = delete;
    AvFileHandle h = nullptr;
    int32_t result = 1;
};

constexpr int64_t kFramePeriodUs = 200000;  // the small recording's 5 frames a second
constexpr int64_t kTimeToleranceUs = 500000 + kFramePeriodUs;

// Checks a repaired copy against the original it was cut from: the chunks
// the scanner kept of the damaged file, byte for byte as stored, and what the
// library plays of them.
// What the library plays of the undamaged original: its video frames, and
// the audio of channel 0.
struct Playback {
    std::vector<Frame> video, audio;
};

Playback PlayOriginal(const TempDir &dir, const std::vector<uint8_t> &whole) {
    Playback p;
    Open open(Write(dir, "original.avi", whole));
    EXPECT_EQ(open.result, 0);
    if (open.result != 0) return p;
    for (Frame &f : Play(open.h)) {
        if (f.type == FRAME_TYPE_I || f.type == FRAME_TYPE_P) p.video.push_back(std::move(f));
        if (f.type == FRAME_TYPE_AUDIO) p.audio.push_back(std::move(f));
    }
    return p;
}

void ExpectPlaysLikeOriginal(const TempDir &dir, const std::vector<uint8_t> &repaired,
                             const std::vector<uint8_t> &whole, const recsim::WrittenFile &original,
                             const Playback &originalPlay, const std::vector<MovieChunk> &kept) {
    const std::vector<Frame> &originalFrames = originalPlay.video;
    std::map<uint64_t, size_t> byOffset;
    for (size_t i = 0; i < original.chunks.size(); ++i) byOffset[original.chunks[i].offset] = i;

    // The copy's movie list holds the kept chunks as stored.
    Collect again;
    const salvage::ScanResult rescan = ScanBytes(repaired, &again);
    ASSERT_TRUE(rescan.Sound());
    ASSERT_EQ(again.chunks.size(), kept.size());
    std::vector<const recsim::WrittenChunk *> expectedVideo, expectedAudio;
    for (size_t k = 0; k < kept.size(); ++k) {
        const recsim::WrittenChunk &want = original.chunks.at(byOffset.at(kept[k].offset));
        const MovieChunk &c = again.chunks[k];
        ASSERT_EQ(c.length, want.length) << "chunk " << k;
        ASSERT_TRUE(std::equal(repaired.begin() + c.offset, repaired.begin() + c.offset + 8 + c.length,
                               whole.begin() + want.offset))
            << "chunk " << k;
        ASSERT_EQ(c.key, kept[k].key);
        if (want.kind == recsim::ChunkKind::Video) expectedVideo.push_back(&want);
        if (want.kind == recsim::ChunkKind::Audio && want.stream == 1) expectedAudio.push_back(&want);
    }
    EXPECT_EQ(U32(repaired, kRiffSizeAt) + 8u, repaired.size());
    EXPECT_GE(repaired.size(), 4096u);
    EXPECT_EQ(U32(repaired, kMainFramesAt), expectedVideo.size());
    EXPECT_EQ(U32(repaired, kStreamLengthAt), expectedVideo.size());

    const Served served(dir / "repaired.avi", repaired);
    Open open(dir / "repaired.avi");
    ASSERT_EQ(open.result, 0);
    const std::vector<Frame> frames = Play(open.h);
    size_t v = 0, a = 0;
    std::vector<size_t> keys;
    for (const Frame &f : frames) {
        if (f.type == FRAME_TYPE_SIDEDATA) continue;
        if (f.type == FRAME_TYPE_AUDIO) {
            ASSERT_LT(a, expectedAudio.size());
            ASSERT_EQ(f.payload, originalPlay.audio.at(a).payload) << "audio " << a;
            ++a;
            continue;
        }
        ASSERT_TRUE(f.type == FRAME_TYPE_I || f.type == FRAME_TYPE_P);
        ASSERT_LT(v, expectedVideo.size());
        ASSERT_EQ(f.payload, originalFrames.at(v).payload) << "video " << v;
        ASSERT_EQ(f.type, expectedVideo[v]->key ? FRAME_TYPE_I : FRAME_TYPE_P) << "video " << v;
        ASSERT_LE(std::llabs(f.timeUs - originalFrames[v].timeUs), kTimeToleranceUs) << "video " << v;
        if (f.type == FRAME_TYPE_I) keys.push_back(v);
        ++v;
    }
    EXPECT_EQ(v, expectedVideo.size());
    EXPECT_EQ(a, expectedAudio.size());

    // A seek to a key frame's time lands on a key frame within a second of
    // it (the seek goes by the whole second's proportional position in the
    // index), and stepping on from the first reaches each in turn.
    std::vector<const Frame *> video;
    for (const Frame &f : frames) {
        if (f.type == FRAME_TYPE_I || f.type == FRAME_TYPE_P) video.push_back(&f);
    }
    for (size_t k : keys) {
        const uint64_t t = static_cast<uint64_t>(video[k]->timeUs);
        ASSERT_EQ(AVFILE_FESeekIFrame(open.h, static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32)), 0);
        AvFrameInfo f{};
        ASSERT_EQ(AVFILE_FEReadFrame(open.h, &f, nullptr), 0);
        EXPECT_EQ(f.type, FRAME_TYPE_I) << "seek to key frame " << k;
        EXPECT_LE(std::llabs(f.timeUs - video[k]->timeUs), 1000000 + kFramePeriodUs) << "seek to key frame " << k;
    }
    if (!keys.empty()) {
        ASSERT_EQ(AVFILE_FESeekBegin(open.h), 0);
        AvFrameInfo f{};
        ASSERT_EQ(AVFILE_FEReadFrame(open.h, &f, nullptr), 0);
        EXPECT_EQ(f.timeUs, video[keys[0]]->timeUs);
        for (size_t i = 1; i < keys.size(); ++i) {
            ASSERT_EQ(AVFILE_FEBackwardIFrame(open.h, &f, nullptr), 0) << "step to key frame " << i;
            EXPECT_EQ(f.type, FRAME_TYPE_I);
            EXPECT_EQ(f.timeUs, video[keys[i]]->timeUs) << "step to key frame " << i;
        }
    }
}

TEST(SalvageRepair, PowerLossShapesAtEveryCut) {
    TempDir dir;
    size_t repaired = 0;
    for (bool encrypted : {false, true}) {
        const recsim::FileRecipe base = SmallRecording(encrypted);
        recsim::WrittenFile original;
        const std::vector<uint8_t> whole = recsim::BuildFile(base, &original);
        const Playback originalPlay = PlayOriginal(dir, whole);
        ASSERT_EQ(originalPlay.video.size(), original.VideoCount());
        for (const Shape &shape : kShapes) {
            for (size_t cut : CutPoints(original, encrypted ? 12 : 11)) {
                SCOPED_TRACE(std::string(encrypted ? "encrypted, " : "plain, ") + shape.name +
                             ", cut at " + std::to_string(cut));
                recsim::FileRecipe recipe = base;
                shape.apply(recipe, cut);
                const std::vector<uint8_t> damaged = recsim::BuildFile(recipe);
                Collect kept;
                ScanBytes(damaged, &kept);
                std::vector<uint8_t> out;
                const RepairResult r = RepairBytes(damaged, out);
                if (r.scan.Sound()) {
                    EXPECT_EQ(r.status, RepairStatus::Sound);
                    EXPECT_TRUE(out.empty());
                    continue;
                }
                if (r.scan.videoFrames == 0) {
                    EXPECT_EQ(r.status, RepairStatus::NothingToSalvage);
                    EXPECT_TRUE(out.empty());
                    continue;
                }
                ASSERT_EQ(r.status, RepairStatus::Repaired);
                ASSERT_EQ(r.outputBytes, out.size());
                ++repaired;
                EXPECT_EQ(r.chunks, kept.chunks.size());
                EXPECT_EQ(r.chunksDropped, r.scan.tornChunkDropped ? 1u : 0u);

                // The header blocks are the damaged file's but for the
                // fields the repair sets.
                std::vector<uint8_t> front(out.begin(), out.begin() + original.movieListOffset);
                for (size_t at : {kRiffSizeAt, kMainFramesAt, kStreamLengthAt, kStopAt}) {
                    std::memcpy(&front[at], &damaged[at], 4);
                }
                EXPECT_TRUE(std::equal(front.begin(), front.end(), damaged.begin()));
                const int32_t start = static_cast<int32_t>(U32(out, kStartAt));
                const int64_t seconds = (r.scan.videoFrames * kFramePeriodUs + 500000) / 1000000;
                EXPECT_EQ(static_cast<int32_t>(U32(out, kStopAt)), start + (seconds < 1 ? 1 : seconds));

                ExpectPlaysLikeOriginal(dir, out, whole, original, originalPlay, kept.chunks);
                if (testing::Test::HasFatalFailure()) return;

                // Repairing the copy finds nothing to do.
                std::vector<uint8_t> twice;
                EXPECT_EQ(RepairBytes(out, twice).status, RepairStatus::Sound);
                EXPECT_TRUE(twice.empty());
            }
        }
    }
    RecordProperty("repaired", static_cast<int>(repaired));
    EXPECT_GT(repaired, 0u);
}

// An index too large to hold is written from a third scan: the same bytes.
TEST(SalvageRepair, IndexFromAThirdScanIsTheSame) {
    const recsim::FileRecipe base = SmallRecording(true);
    recsim::WrittenFile w;
    recsim::BuildFile(base, &w);
    const std::vector<uint8_t> damaged = recsim::BuildFile(recsim::PowerLossFile(base, w.indexOffset - 5));
    std::vector<uint8_t> held, streamed;
    ASSERT_EQ(RepairBytes(damaged, held).status, RepairStatus::Repaired);
    ASSERT_EQ(RepairBytes(damaged, streamed, nullptr, 0).status, RepairStatus::Repaired);
    EXPECT_TRUE(held == streamed);
}

// A file whose header blocks are lost takes them from a finished recording
// of the same recorder and channel; without one, or with a reference that
// has none either, nothing is written.
TEST(SalvageRepair, LostHeaderFromAReference) {
    TempDir dir;
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(base, &w);
    const std::vector<uint8_t> damaged = HeaderlessPowerLoss(base, w);
    Collect kept;
    ASSERT_FALSE(ScanBytes(damaged, &kept).headerIntact);

    std::vector<uint8_t> out;
    EXPECT_EQ(RepairBytes(damaged, out).status, RepairStatus::NoHeader);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(RepairBytes(damaged, out, &damaged).status, RepairStatus::NoHeader);
    EXPECT_TRUE(out.empty());

    const RepairResult r = RepairBytes(damaged, out, &whole);
    ASSERT_EQ(r.status, RepairStatus::Repaired);
    EXPECT_TRUE(r.headerFromReference);
    ExpectPlaysLikeOriginal(dir, out, whole, w, PlayOriginal(dir, whole), kept.chunks);
}

// Files with nothing to salvage, and an output that refuses bytes.
TEST(SalvageRepair, Failures) {
    const std::vector<uint8_t> random = RandomBytes(20000, 7);
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    recsim::BuildFile(base, &w);
    // Cut in front of the first video frame's end: audio only.
    const std::vector<uint8_t> noFrame =
        recsim::BuildFile(recsim::PowerLossFile(base, w.Of(recsim::ChunkKind::Video)[0]->offset + 20));
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        RepairStatus status;
    } cases[] = {
        {"zero bytes", {}, RepairStatus::NothingToSalvage},
        {"random bytes", random, RepairStatus::NothingToSalvage},
        {"zeros", std::vector<uint8_t>(20000), RepairStatus::NothingToSalvage},
        {"no complete video frame", noFrame, RepairStatus::NothingToSalvage},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out;
        EXPECT_EQ(RepairBytes(c.bytes, out).status, c.status);
        EXPECT_TRUE(out.empty());
    }

    class Refusing final : public salvage::ByteOutput {
    public:
        bool Write(const uint8_t *, size_t bytes) override {
            if (written + bytes > limit) return false;
            written += bytes;
            return true;
        }
        size_t limit = 0, written = 0;
    };
    const std::vector<uint8_t> damaged = recsim::BuildFile(recsim::PowerLossFile(base, w.indexOffset - 5));
    std::vector<uint8_t> whole;
    ASSERT_EQ(RepairBytes(damaged, whole).status, RepairStatus::Repaired);
    for (size_t limit : {size_t{0}, size_t{100}, size_t{w.movieListOffset + 12u}, whole.size() - 20,
                         whole.size() - 1}) {
        SCOPED_TRACE(limit);
        salvage::MemorySource src(damaged.data(), damaged.size());
        Refusing out;
        out.limit = limit;
        EXPECT_EQ(salvage::Repair(src, nullptr, out).status, RepairStatus::WriteFailed);
    }
}

}  // namespace
