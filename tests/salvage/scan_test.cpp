// The salvage scanner on recordings cut short by power loss: every shape the
// recorder simulator writes, cut at every chunk boundary and a few bytes
// either side of it and at seeded random points, plain and encrypted, in
// both list orders. What the scanner finds must be exactly the undamaged
// original's complete chunks in front of the cut, typed as the original's
// idx1 types them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/fault_injection.h"
#include "recsim/recsim.h"
#include "salvage/salvage_scan.h"
#include "salvage/power_loss_cases.h"
#include "salvage/small_recording.h"

namespace {

using recsim::ChunkKind;
using salvage::ListEnd;
using salvage::MovieChunk;
using salvage::ScanResult;

// What the original's idx1 says of each chunk: its flags by offset.
std::vector<std::pair<uint32_t, uint32_t>> IndexFlags(const std::vector<uint8_t> &f,
                                                      const recsim::WrittenFile &w) {
    std::vector<std::pair<uint32_t, uint32_t>> flags;
    const uint32_t n = U32(f, w.indexOffset + 4) / 16;
    for (uint32_t i = 0; i < n; ++i) {
        const size_t e = w.indexOffset + 8 + 16 * i;
        flags.emplace_back(U32(f, e + 8), U32(f, e + 4));
    }
    return flags;
}

TEST(SalvageScan, PowerLossShapesAtEveryCut) {
    size_t scans = 0;
    for (bool encrypted : {false, true}) {
        const recsim::FileRecipe base = SmallRecording(encrypted);
        recsim::WrittenFile original;
        const std::vector<uint8_t> whole = recsim::BuildFile(base, &original);
        ASSERT_LT(whole.size(), kLaidOut);
        const auto flags = IndexFlags(whole, original);
        ASSERT_EQ(flags.size(), original.chunks.size());
        const std::vector<size_t> cuts = CutPoints(original, encrypted ? 2 : 1);

        for (const Shape &shape : kShapes) {
            for (size_t cut : cuts) {
                SCOPED_TRACE(std::string(encrypted ? "encrypted, " : "plain, ") + shape.name +
                             ", cut at " + std::to_string(cut));
                recsim::FileRecipe recipe = base;
                shape.apply(recipe, cut);
                const std::vector<uint8_t> damaged = recsim::BuildFile(recipe);
                Collect got;
                const ScanResult r = ScanBytes(damaged, &got);
                ++scans;

                // The original's chunks that the cut left whole.
                std::vector<size_t> expected;
                for (size_t i = 0; i < original.chunks.size(); ++i) {
                    const recsim::WrittenChunk &c = original.chunks[i];
                    if (c.offset + 8 + c.length <= cut) expected.push_back(i);
                }
                // In front of zeros the scanner cannot see where the cut fell:
                // the last chunk, when the cut left no byte of the next chunk
                // header, is kept only when its last byte is not zero.
                if (shape.zeroTail && !expected.empty() && cut < whole.size()) {
                    const recsim::WrittenChunk &last = original.chunks[expected.back()];
                    const size_t end = last.offset + 8 + last.length + (last.length & 1);
                    if (cut <= end && (last.length == 0 || last.stored.back() == 0)) {
                        expected.pop_back();
                    }
                }

                ASSERT_EQ(got.chunks.size(), expected.size());
                for (size_t k = 0; k < expected.size(); ++k) {
                    const recsim::WrittenChunk &want = original.chunks[expected[k]];
                    const MovieChunk &c = got.chunks[k];
                    ASSERT_EQ(c.offset, want.offset) << "chunk " << k;
                    ASSERT_EQ(c.length, want.length) << "chunk " << k;
                    ASSERT_EQ(std::string(c.id, 4), want.id) << "chunk " << k;
                    ASSERT_EQ(c.stream, want.stream) << "chunk " << k;
                    ASSERT_EQ(flags[expected[k]].first, want.offset);
                    switch (want.kind) {
                        case ChunkKind::Video:
                            ASSERT_EQ(c.kind, salvage::ChunkKind::Video);
                            ASSERT_EQ(c.key, (flags[expected[k]].second & 0x10) != 0) << "chunk " << k;
                            break;
                        case ChunkKind::Audio:
                            ASSERT_EQ(c.kind, salvage::ChunkKind::Audio);
                            ASSERT_EQ(c.channel, want.stream - 1);
                            break;
                        default:
                            ASSERT_EQ(c.kind, salvage::ChunkKind::Text);
                            break;
                    }
                }
                EXPECT_EQ(r.chunks, expected.size());
                size_t keys = 0, video = 0;
                for (const MovieChunk &c : got.chunks) {
                    video += c.kind == salvage::ChunkKind::Video;
                    keys += c.key;
                }
                EXPECT_EQ(r.videoFrames, video);
                EXPECT_EQ(r.keyFrames, keys);

                EXPECT_EQ(r.totalBytes, damaged.size());
                EXPECT_EQ(r.usableBytes + r.bytesAfterDamage, r.totalBytes);
                const bool uncut = cut == whole.size();
                // A pad byte the recorder had not written reads as the
                // tail's zero.
                if (!uncut) {
                    EXPECT_LE(r.usableBytes, cut + (shape.zeroTail ? 1 : 0));
                }
                if (!expected.empty()) {
                    const recsim::WrittenChunk &last = original.chunks[expected.back()];
                    EXPECT_GE(r.usableBytes, last.offset + 8 + last.length);
                }
                if (cut >= original.movieListOffset + 12u) {
                    EXPECT_TRUE(r.headerIntact);
                    EXPECT_TRUE(r.movieListFound);
                    EXPECT_EQ(r.movieListOffset, original.movieListOffset);
                    EXPECT_EQ(r.stopTimeWritten, shape.stopWritten);
                    EXPECT_EQ(r.encrypted, encrypted);
                }
                EXPECT_EQ(r.indexPresent, uncut && recipe.index.present);
                const bool sound = uncut && shape.stopWritten && recipe.index.present &&
                                   recipe.powerLoss.sizes == recsim::OpeningSizes::Final;
                EXPECT_EQ(r.Sound(), sound);
                if (uncut && recipe.index.present) {
                    EXPECT_EQ(r.listEnd, ListEnd::Whole);
                }
                if (!uncut && cut > original.movieListOffset + 12u && !shape.zeroTail) {
                    EXPECT_NE(r.listEnd, ListEnd::ZeroPadding);
                }
            }
        }
    }
    RecordProperty("scans", static_cast<int>(scans));
}

// The end of the walk is classified: what is dropped and what is counted
// after the damage.
TEST(SalvageScan, WhereTheWalkEnds) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(base, &w);
    const recsim::WrittenChunk &fifth = w.chunks[4];
    const size_t fifthEnd = fifth.offset + 8 + fifth.length + (fifth.length & 1);

    struct Case {
        const char *name;
        size_t cut;
        bool tail;
        ListEnd end;
        bool dropped;
        size_t usable;
    } cases[] = {
        {"cut on a chunk boundary", fifthEnd, false, ListEnd::EndOfData, false, fifthEnd},
        {"cut inside a header", fifthEnd + 3, false, ListEnd::TornChunk, true, fifthEnd},
        {"cut inside a payload", fifthEnd + 20, false, ListEnd::TornChunk, true, fifthEnd},
        {"zero tail behind a chunk", fifthEnd, true, ListEnd::ZeroPadding, false, fifthEnd},
        {"zero tail inside a payload", fifthEnd + 20, true, ListEnd::ZeroPadding, true, fifthEnd},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        recsim::FileRecipe recipe = recsim::PowerLossFile(base, c.cut);
        if (c.tail) recipe.powerLoss.preallocatedSize = kLaidOut;
        const std::vector<uint8_t> f = recsim::BuildFile(recipe);
        const ScanResult r = ScanBytes(f, nullptr);
        EXPECT_EQ(r.listEnd, c.end);
        EXPECT_EQ(r.tornChunkDropped, c.dropped);
        EXPECT_EQ(r.chunks, 5u);
        EXPECT_EQ(r.usableBytes, c.usable);
        EXPECT_EQ(r.bytesAfterDamage, f.size() - c.usable);
        EXPECT_FALSE(r.indexPresent);
        EXPECT_FALSE(r.riffSizeTrue);
        EXPECT_FALSE(r.movieListSizeTrue);
        EXPECT_FALSE(r.stopTimeWritten);
        EXPECT_EQ(r.riffSizeField, 0u);
    }

    // An identifier the recorder never writes, in the middle of the list.
    std::vector<uint8_t> garbled = whole;
    std::memcpy(&garbled[w.chunks[7].offset], "00zz", 4);
    ScanResult r = ScanBytes(garbled, nullptr);
    EXPECT_EQ(r.listEnd, ListEnd::UnknownChunk);
    EXPECT_EQ(r.chunks, 7u);
    EXPECT_EQ(r.usableBytes, w.chunks[7].offset);
    EXPECT_FALSE(r.Sound());

    // A length that runs past the end of the file.
    std::vector<uint8_t> longer = whole;
    longer[w.chunks[7].offset + 7] = 0x40;
    r = ScanBytes(longer, nullptr);
    EXPECT_EQ(r.listEnd, ListEnd::TornChunk);
    EXPECT_EQ(r.chunks, 7u);

    // The finished file, with its watermark trailer: sound, nothing after damage.
    recsim::FileRecipe marked = base;
    marked.watermark = true;
    r = ScanBytes(recsim::BuildFile(marked), nullptr);
    EXPECT_TRUE(r.Sound());
    EXPECT_EQ(r.chunks, w.chunks.size());
    EXPECT_EQ(r.bytesAfterDamage, 0u);
    EXPECT_EQ(r.indexOffset, w.indexOffset);
    EXPECT_TRUE(r.infoFound);
}

// Files with no movie list to walk, or no header, give the documented result.
TEST(SalvageScan, FilesWithoutRecordingOrHeader) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    const std::vector<uint8_t> whole = recsim::BuildFile(base, &w);

    std::vector<uint8_t> random(100000);
    std::mt19937 gen(7);
    for (uint8_t &b : random) b = static_cast<uint8_t>(gen());
    std::vector<uint8_t> headerless = whole;  // everything in front of the movie list lost
    std::fill(headerless.begin(), headerless.begin() + w.movieListOffset, 0);
    std::vector<uint8_t> mainHeaderGone = whole;
    std::memcpy(&mainHeaderGone[24], "JUNK", 4);

    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        bool riff, header, movie;
        uint32_t chunks;
        ListEnd end;
    } cases[] = {
        {"zero bytes", {}, false, false, false, 0, ListEnd::NoMovieList},
        {"random bytes", random, false, false, false, 0, ListEnd::NoMovieList},
        {"zeros only", std::vector<uint8_t>(70000, 0), false, false, false, 0, ListEnd::NoMovieList},
        {"RIFF header only", std::vector<uint8_t>(whole.begin(), whole.begin() + 12), true, false,
         false, 0, ListEnd::NoMovieList},
        {"cut inside the header list", std::vector<uint8_t>(whole.begin(), whole.begin() + 150), true,
         false, false, 0, ListEnd::NoMovieList},
        {"headerless", headerless, false, false, true, static_cast<uint32_t>(w.chunks.size()),
         ListEnd::Whole},
        {"main header damaged", mainHeaderGone, true, false, true,
         static_cast<uint32_t>(w.chunks.size()), ListEnd::Whole},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Collect got;
        const ScanResult r = ScanBytes(c.bytes, &got);
        EXPECT_EQ(r.status, salvage::ScanStatus::Scanned);
        EXPECT_EQ(r.totalBytes, c.bytes.size());
        EXPECT_EQ(r.riffSignature, c.riff);
        EXPECT_EQ(r.headerIntact, c.header);
        EXPECT_FALSE(r.stopTimeWritten);
        EXPECT_EQ(r.movieListFound, c.movie);
        EXPECT_EQ(r.chunks, c.chunks);
        EXPECT_EQ(got.chunks.size(), c.chunks);
        EXPECT_EQ(r.listEnd, c.end);
        EXPECT_FALSE(r.Sound());
        if (!c.movie) {
            EXPECT_EQ(r.usableBytes, 0u);
            EXPECT_EQ(r.bytesAfterDamage, c.bytes.size());
        } else {
            EXPECT_EQ(r.movieListOffset, w.movieListOffset);
            EXPECT_TRUE(r.indexPresent);
        }
    }
}

TEST(SalvageScan, KeyFrameFromThePayload) {
    struct Case {
        const char *name;
        std::vector<uint8_t> head;
        bool key;
    };
    std::vector<uint8_t> lateUnit = {0, 0, 0, 1, 0x09, 0x10};
    lateUnit.resize(24, 0xAA);  // no start code in the plain bytes
    lateUnit.insert(lateUnit.end(), {0, 0, 1, 0x65});
    const Case cases[] = {
        {"sequence parameter set", {0, 0, 0, 1, 0x67, 0x42}, true},
        {"IDR slice", {0, 0, 0, 1, 0x65, 0x88}, true},
        {"3-byte start code", {0, 0, 1, 0x67, 0x42}, true},
        {"delimiter, then SPS", {0, 0, 0, 1, 0x09, 0x10, 0, 0, 0, 1, 0x67}, true},
        {"delimiter, then IDR", {0, 0, 0, 1, 0x09, 0x10, 0, 0, 1, 0x65}, true},
        {"slice", {0, 0, 0, 1, 0x41, 0x9a}, false},
        {"delimiter, then slice", {0, 0, 0, 1, 0x09, 0x30, 0, 0, 0, 1, 0x41}, false},
        {"picture parameter set", {0, 0, 0, 1, 0x68, 0xce}, false},
        {"delimiter only", {0, 0, 0, 1, 0x09, 0x10}, false},
        {"unit behind the delimiter in the enciphered region", lateUnit, false},
        {"no start code", {0x67, 0, 0, 1, 0x67}, false},
        {"too short", {0, 0, 0, 1}, false},
        {"empty", {}, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(salvage::IsKeyFramePayload(c.head.data(), c.head.size()), c.key) << c.name;
    }
}

// A byte source that counts what is read and checks that no read is larger
// than the scanner's window: a recording in front of a gigabyte of
// pre-allocated zeros.
class Preallocated : public salvage::ByteSource {
public:
    Preallocated(const std::vector<uint8_t> &data, uint64_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, uint8_t *out, size_t bytes) override {
        largest = std::max(largest, bytes);
        if (offset >= size_) return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, size_ - offset));
        for (size_t i = 0; i < n; ++i) {
            out[i] = offset + i < data_.size() ? data_[offset + i] : 0;
        }
        total += n;
        return n;
    }
    size_t largest = 0;
    uint64_t total = 0;

private:
    const std::vector<uint8_t> &data_;
    uint64_t size_;
};

TEST(SalvageScan, ReadsBoundedWhateverTheFileSize) {
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    recsim::BuildFile(base, &w);
    // Power failed just after the last video frame was written.
    size_t last = w.chunks.size() - 1;
    while (w.chunks[last].kind != ChunkKind::Video) --last;
    const recsim::WrittenChunk &frame = w.chunks[last];
    const std::vector<uint8_t> cut =
        recsim::BuildFile(recsim::PowerLossFile(base, frame.offset + 8 + frame.length));
    Preallocated source(cut, uint64_t{1} << 30);
    const ScanResult r = salvage::Scan(source, nullptr);
    EXPECT_EQ(r.listEnd, ListEnd::ZeroPadding);
    EXPECT_EQ(r.chunks, last + 1);
    EXPECT_EQ(r.bytesAfterDamage, (uint64_t{1} << 30) - r.usableBytes);
    EXPECT_LE(source.largest, 64u * 1024);
    EXPECT_LT(source.total, 4u * 64 * 1024);
}

TEST(SalvageScan, SinkEndsTheScan) {
    Collect got;
    got.limit = 3;
    const ScanResult r = ScanBytes(recsim::BuildFile(SmallRecording(false)), &got);
    EXPECT_EQ(r.listEnd, ListEnd::Stopped);
    EXPECT_EQ(got.chunks.size(), 3u);
}

// Through the platform's file reading: the result is the one the bytes give.
TEST(SalvageScan, RecordFileOnDisk) {
    TempDir dir;
    const recsim::FileRecipe base = SmallRecording(true);
    recsim::WrittenFile w;
    recsim::BuildFile(base, &w);
    for (size_t laidOut : {size_t{0}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{300001}}) {
        SCOPED_TRACE(laidOut);
        recsim::FileRecipe recipe = recsim::PowerLossFile(base, w.chunks[20].offset + 30);
        recipe.powerLoss.preallocatedSize = laidOut;
        const std::string path = dir / "rec.avi";
        ASSERT_TRUE(recsim::WriteFile(path, recipe));
        const std::vector<uint8_t> bytes = recsim::BuildFile(recipe);
        Collect fromFile, fromMemory;
        const ScanResult onDisk = salvage::ScanFile(path.c_str(), &fromFile);
        const ScanResult inMemory = ScanBytes(bytes, &fromMemory);
        EXPECT_EQ(onDisk.totalBytes, bytes.size());
        EXPECT_EQ(onDisk.usableBytes, inMemory.usableBytes);
        EXPECT_EQ(onDisk.listEnd, inMemory.listEnd);
        ASSERT_EQ(fromFile.chunks.size(), fromMemory.chunks.size());
        ASSERT_EQ(fromFile.chunks.size(), 20u);
        for (size_t i = 0; i < fromFile.chunks.size(); ++i) {
            EXPECT_EQ(fromFile.chunks[i].offset, fromMemory.chunks[i].offset);
            EXPECT_EQ(fromFile.chunks[i].key, fromMemory.chunks[i].key);
        }
    }
    const std::string empty = dir.WriteFile("empty.avi", "");
    EXPECT_EQ(salvage::ScanFile(empty.c_str(), nullptr).totalBytes, 0u);
    EXPECT_EQ(salvage::ScanFile((dir / "missing.avi").c_str(), nullptr).status,
              salvage::ScanStatus::CannotOpen);
}

// A card that fails while the file is scanned: a failed read or seek is
// never taken for the end of the file (the size is the file's, and what is
// handed on is the front of what a sound read gives), and a size that cannot
// be had is a failed read, not an empty file.
TEST(SalvageScan, RecordFileOnFailingCard) {
    namespace fault = plat::fault;
    TempDir dir;
    const std::string path = dir / "rec.avi";
    const recsim::FileRecipe base = SmallRecording(false);
    recsim::WrittenFile w;
    recsim::BuildFile(base, &w);
    const recsim::FileRecipe recipe = recsim::PowerLossFile(base, w.chunks[20].offset + 30);
    ASSERT_TRUE(recsim::WriteFile(path, recipe));
    const uint64_t size = recsim::BuildFile(recipe).size();
    Collect sound;
    fault::Arm(fault::kRead | fault::kSeek, 0, false);
    ASSERT_EQ(salvage::ScanFile(path.c_str(), &sound).totalBytes, size);
    const uint64_t operations = fault::Counted();
    ASSERT_EQ(sound.chunks.size(), 20u);
    for (const unsigned kind : {fault::kRead, fault::kSeek}) {
        for (uint64_t n = 1; n <= operations; ++n) {
            SCOPED_TRACE((kind == fault::kRead ? "read " : "seek ") + std::to_string(n));
            Collect got;
            fault::Arm(kind, n, false);
            const ScanResult r = salvage::ScanFile(path.c_str(), &got);
            fault::Disarm();
            EXPECT_EQ(r.totalBytes, size);
            ASSERT_LE(got.chunks.size(), sound.chunks.size());
            for (size_t i = 0; i < got.chunks.size(); ++i) {
                EXPECT_EQ(got.chunks[i].offset, sound.chunks[i].offset);
            }
        }
    }
    Collect got;
    fault::Arm(fault::kSize, 1, false);
    const ScanResult r = salvage::ScanFile(path.c_str(), &got);
    fault::Disarm();
    EXPECT_EQ(r.status, salvage::ScanStatus::Scanned);
    EXPECT_EQ(r.listEnd, ListEnd::ReadFailed);
    EXPECT_EQ(r.totalBytes, 0u);
    EXPECT_TRUE(got.chunks.empty());
}

}  // namespace
