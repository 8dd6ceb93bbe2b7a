#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "recfile/frame_cipher.h"
#include "recsim/recsim.h"

namespace {

bool HasStartCodeAfter(const std::vector<uint8_t> &b, size_t from) {
    for (size_t i = from; i + 2 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] <= 1) return true;
    }
    return false;
}

TEST(SyntheticFrames, ShapeOfKeyAndOtherFrames) {
    struct Case {
        bool key;
        bool delimiter;
        uint8_t typeAt4;
        bool enciphered;
    };
    const Case cases[] = {{true, false, 7, true},
                          {true, true, 9, true},
                          {false, false, 1, false},
                          {false, true, 9, false}};
    for (const Case &c : cases) {
        const std::vector<uint8_t> f = c.key ? recsim::SyntheticKeyFrame(900, c.delimiter, 5)
                                             : recsim::SyntheticFrame(900, c.delimiter, 5);
        EXPECT_EQ(f.size(), 900u);
        EXPECT_EQ(f[4] & 0x1F, c.typeAt4);
        EXPECT_EQ(KeyFrameIsEnciphered(f.data(), 900), c.enciphered);
        // Only the units' own start codes: a split finds one access unit.
        const std::vector<recsim::AccessUnit> units = recsim::SplitAccessUnits(f);
        ASSERT_EQ(units.size(), 1u);
        EXPECT_EQ(units[0].key, c.key);
        EXPECT_EQ(units[0].bytes, f);
    }
    EXPECT_FALSE(HasStartCodeAfter(recsim::SyntheticFrame(5000), 5));
}

TEST(SplitAccessUnits, SplitsAStreamOfThreeByteAndFourByteStartCodes) {
    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> frames = {
        recsim::SyntheticKeyFrame(400, false, 1), recsim::SyntheticFrame(300, false, 2),
        recsim::SyntheticFrame(300, true, 3), recsim::SyntheticKeyFrame(400, true, 4)};
    // The second frame with a 3-byte start code, as encoders write within a stream.
    frames[1].erase(frames[1].begin());
    for (const auto &f : frames) stream.insert(stream.end(), f.begin(), f.end());
    const std::vector<recsim::AccessUnit> units = recsim::SplitAccessUnits(stream);
    ASSERT_EQ(units.size(), 4u);
    EXPECT_TRUE(units[0].key);
    EXPECT_FALSE(units[1].key);
    EXPECT_FALSE(units[2].key);
    EXPECT_TRUE(units[3].key);
    EXPECT_EQ(units[0].bytes, frames[0]);
    EXPECT_EQ(units[1].bytes.size(), frames[1].size() + 1);  // 4-byte start code again
    EXPECT_EQ(units[3].bytes, frames[3]);
}

TEST(SplitAccessUnits, EncoderOutput) {
#ifdef _WIN32
    GTEST_SKIP() << "no encoder in this leg";
#else
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    const std::string out = dir / "clip.h264";
    const std::string command =
        "ffmpeg -v error -f lavfi -i testsrc=size=176x144:rate=25 -t 2 -c:v libx264 "
        "-g 25 -bf 0 -f h264 '" + out + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "no H.264 encoder";
    std::ifstream in(out, std::ios::binary);
    const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
    const std::vector<recsim::AccessUnit> units = recsim::SplitAccessUnits(stream);
    ASSERT_EQ(units.size(), 50u);
    size_t keys = 0, bytes = 0;
    for (const recsim::AccessUnit &u : units) {
        keys += u.key ? 1 : 0;
        bytes += u.bytes.size();
        EXPECT_EQ(u.bytes[0] | u.bytes[1] | u.bytes[2], 0);
        EXPECT_EQ(u.bytes[3], 1);
    }
    EXPECT_EQ(keys, 2u);
    EXPECT_TRUE(units[0].key);
    EXPECT_EQ(units[0].bytes[4] & 0x1F, 7);  // the parameter sets lead a key frame
    EXPECT_GE(bytes, stream.size());
#endif
}

TEST(RmcSentence, FieldsAndChecksum) {
    recsim::Fix fix;  // 31.846333 N, 121.508333 E, 10 knots, 90.5 degrees
    EXPECT_EQ(recsim::RmcSentence(fix),
              "$GPRMC,104929.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115,,,A*" +
                  [] {
                      unsigned x = 0;
                      for (char c : std::string(
                               "GPRMC,104929.00,A,3150.7800,N,12130.5000,E,10.0,90.5,090115,,,A"))
                          x ^= static_cast<unsigned char>(c);
                      char hex[3];
                      std::snprintf(hex, sizeof hex, "%02X", x);
                      return std::string(hex);
                  }());
    fix.latitude = -fix.latitude;
    fix.longitude = -fix.longitude;
    fix.valid = false;
    const std::string south = recsim::RmcSentence(fix, "GN");
    EXPECT_EQ(south.rfind("$GNRMC,104929.00,V,3150.7800,S,12130.5000,W,", 0), 0u) << south;
}

TEST(Route, MovesAlongItsCourse) {
    recsim::Route route;
    route.start.course = 90.0;
    route.start.speedKnots = 36.0;  // 66.672 km/h
    const recsim::Fix later = route.At(3600);
    EXPECT_NEAR(later.latitude, route.start.latitude, 1e-9);
    EXPECT_GT(later.longitude, route.start.longitude + 0.6);
    EXPECT_EQ(later.utcSeconds, route.start.utcSeconds + 3600);
}

TEST(TextPayload, SentenceAndSamples) {
    const std::string sentence = recsim::RmcSentence(recsim::Fix{});
    const std::vector<uint8_t> plain = recsim::TextPayload(sentence);
    EXPECT_EQ(plain.size(), sentence.size() + 1);
    EXPECT_EQ(plain.back(), 0);

    std::vector<uint16_t> values;
    for (uint16_t v = 0; v < 30; ++v) values.push_back(static_cast<uint16_t>(v * 1000 + 1));
    const std::vector<uint8_t> withSamples = recsim::TextPayload(sentence, &values);
    ASSERT_EQ(withSamples.size(), 426u);  // more than 416: the reader takes the samples
    for (size_t i = 0; i < 10; ++i) {
        for (size_t v = 0; v < 3; ++v) {
            const size_t at = 266 + 16 * i + 2 * v;
            EXPECT_EQ(withSamples[at] | (withSamples[at + 1] << 8), values[3 * i + v]);
        }
    }
}

TEST(PcmAudio, SixteenBitTone) {
    const std::vector<uint8_t> pcm = recsim::PcmAudio(1280, 8000, 1000.0);
    ASSERT_EQ(pcm.size(), 1280u);
    const auto sample = [&](size_t i) { return static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)); };
    EXPECT_EQ(sample(0), 0);
    EXPECT_EQ(sample(2), 8000);   // a quarter period of 1 kHz at 8000 samples/s
    EXPECT_EQ(sample(6), -8000);
    // A chunk continues where the previous one ended.
    const std::vector<uint8_t> next = recsim::PcmAudio(4, 8000, 1000.0, 640);
    EXPECT_EQ(next[0] | (next[1] << 8), 0);
}

TEST(RecordingPlan, InterleavesVideoAudioAndText) {
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.framesPerSecond = 25;
    plan.keyFrameInterval = 10;
    plan.audioChannels = {0, 2};
    const std::vector<recsim::Chunk> chunks = recsim::PlanChunks(plan);
    size_t video = 0, keys = 0, text = 0, audio1 = 0, audio3 = 0;
    for (const recsim::Chunk &c : chunks) {
        if (c.kind == recsim::ChunkKind::Video) {
            keys += c.key ? 1 : 0;
            ++video;
        }
        if (c.kind == recsim::ChunkKind::Text) {
            ++text;
            EXPECT_EQ(c.stream, 4);  // one above the audio digits 1 and 3
        }
        if (c.kind == recsim::ChunkKind::Audio) (c.stream == 1 ? audio1 : audio3)++;
    }
    EXPECT_EQ(video, 50u);
    EXPECT_EQ(keys, 5u);
    EXPECT_EQ(text, 2u);
    EXPECT_EQ(audio1, 25u);  // 2 s of 8000 samples in chunks of 640
    EXPECT_EQ(audio3, 25u);
    EXPECT_EQ(chunks[0].kind, recsim::ChunkKind::Video);
    EXPECT_TRUE(chunks[0].key);

    const recsim::FileRecipe recipe = recsim::PlannedFile(plan, 1000);
    EXPECT_EQ(recipe.header.startSeconds, 1000);
    EXPECT_EQ(recipe.header.stopSeconds, 1002);
    EXPECT_EQ(recipe.header.audioPresence, 0x05);
}

}  // namespace
