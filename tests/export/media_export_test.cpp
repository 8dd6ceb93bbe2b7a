#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "export/external_tool.h"
#include "export/probe_report.h"
#include "h264_writer.h"
#include "output_file.h"
#include "wav_writer.h"

namespace {

AvWaveFormatEx Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    AvWaveFormatEx f{};
    f.wFormatTag = 1;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

uint32_t Le32(const std::string &bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

struct WavCase {
    const char *name;
    AvWaveFormatEx format;
    size_t audioBytes;  // delivered in frames of 1280 bytes and a remainder
    // What ffprobe reports besides the format's rate, channels and sample
    // size.
    const char *codec;
    double seconds;
};

void PrintTo(const WavCase &c, std::ostream *os) { *os << c.name; }

class WavExportTest : public ::testing::TestWithParam<WavCase> {};

TEST_P(WavExportTest, PlayersReadFormatAndLength) {
    const WavCase &c = GetParam();
    TempDir dir;
    const std::string file = dir / "audio.wav";
    std::vector<unsigned char> audio(c.audioBytes);
    for (size_t i = 0; i < audio.size(); ++i) {
        audio[i] = static_cast<unsigned char>(128 + 100 * std::sin(static_cast<double>(i) * 0.3));
    }
    COutputFile out;
    ASSERT_TRUE(out.Open(file));
    CWavWriter wav;
    ASSERT_TRUE(wav.Begin(out, c.format));
    for (size_t at = 0; at < audio.size(); at += 1280) {
        ASSERT_TRUE(wav.AddAudio(audio.data() + at, std::min<size_t>(1280, audio.size() - at)));
    }
    ASSERT_TRUE(wav.Finish());
    ASSERT_TRUE(out.Commit()) << out.Error();

    // The sizes in the header describe the file, the audio follows unchanged
    // and an odd-sized data chunk carries its pad byte.
    const std::string bytes = TempDir::ReadFile(file);
    const size_t padded = c.audioBytes + (c.audioBytes & 1);
    ASSERT_EQ(bytes.size(), 44 + padded);
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(Le32(bytes, 40), c.audioBytes);
    EXPECT_EQ(bytes.compare(44, c.audioBytes, std::string(audio.begin(), audio.end())), 0);

    if (!ToolAvailable("ffprobe -version", dir)) GTEST_SKIP() << "ffprobe not installed";
    std::string probe;
    ASSERT_EQ(RunTool("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bits_per_sample"
                      ":format=duration -of default " + Quoted(file),
                      dir, &probe),
              0)
        << TempDir::ReadFile(dir / "tool-errors.txt");
    const std::vector<ProbeSection> sections = ParseProbeReport(probe);
    ASSERT_EQ(sections.size(), 2u) << probe;
    EXPECT_TRUE(FieldsAre(sections[0], {{"codec_name", c.codec},
                                        {"sample_rate", static_cast<double>(c.format.nSamplesPerSec)},
                                        {"channels", static_cast<double>(c.format.nChannels)},
                                        {"bits_per_sample", static_cast<double>(c.format.wBitsPerSample)}}))
        << probe;
    // Within half a sample.
    EXPECT_TRUE(FieldsAre(sections[1], {{"duration", c.seconds, 0.5 / c.format.nSamplesPerSec}})) << probe;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WavExportTest,
    ::testing::Values(
        WavCase{"Mono16", Pcm(1, 8000, 16), 16000, "pcm_s16le", 1.0},
        WavCase{"Stereo16", Pcm(2, 8000, 16), 16000, "pcm_s16le", 0.5},
        // An odd byte count needs the RIFF pad byte, which is not audio.
        WavCase{"Mono8Odd", Pcm(1, 16000, 8), 4001, "pcm_u8", 4001 / 16000.0},
        // Block align and byte rate are derived, not copied.
        WavCase{"DerivedFields", [] { AvWaveFormatEx f = Pcm(2, 8000, 16); f.nBlockAlign = 0;
                                      f.nAvgBytesPerSec = 0; f.cbSize = 22; return f; }(),
                32000, "pcm_s16le", 1.0}),
    [](const ::testing::TestParamInfo<WavCase> &info) { return std::string(info.param.name); });

TEST(WavExport, RefusesFormatsItCannotWrite) {
    AvWaveFormatEx adpcm = Pcm(1, 8000, 16);
    adpcm.wFormatTag = 2;
    const AvWaveFormatEx formats[] = {adpcm, Pcm(0, 8000, 16), Pcm(9, 8000, 16), Pcm(1, 0, 16), Pcm(1, 8000, 12),
                                      Pcm(1, 8000, 0)};
    for (const AvWaveFormatEx &format : formats) {
        TempDir dir;
        COutputFile out;
        ASSERT_TRUE(out.Open(dir / "audio.wav"));
        CWavWriter wav;
        EXPECT_FALSE(wav.Begin(out, format)) << format.wFormatTag << " " << format.nChannels << " "
                                             << format.nSamplesPerSec << " " << format.wBitsPerSample;
        EXPECT_FALSE(out.Commit());
        EXPECT_NE(out.Error().find("audio.wav"), std::string::npos) << out.Error();
        EXPECT_FALSE(std::filesystem::exists(dir / "audio.wav"));
        EXPECT_FALSE(std::filesystem::exists(dir / "audio.wav.partial"));
    }
}

// Splits an Annex B stream into access units at its access unit delimiters
// and drops the delimiters, the way the library delivers a recording's
// video frames.
std::vector<std::string> DeliveredFrames(const std::string &stream) {
    static const std::string kDelimiter("\0\0\0\1\x09", 5);
    std::vector<std::string> frames;
    size_t at = stream.find(kDelimiter);
    while (at != std::string::npos) {
        const size_t next = stream.find(kDelimiter, at + 6);
        frames.push_back(stream.substr(at + 6, (next == std::string::npos ? stream.size() : next) - at - 6));
        at = next;
    }
    return frames;
}

TEST(H264Export, StreamPlaysAndEqualsDeliveredFrames) {
    TempDir dir;
    if (!ToolAvailable("ffmpeg -version", dir) || !ToolAvailable("ffprobe -version", dir)) {
        GTEST_SKIP() << "ffmpeg not installed";
    }
    const std::string clip = dir / "clip.h264";
    ASSERT_EQ(RunTool("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=10 -frames:v 12 -c:v libx264 "
                      "-x264-params aud=1:keyint=5 -f h264 -y " + Quoted(clip),
                      dir, nullptr),
              0)
        << TempDir::ReadFile(dir / "tool-errors.txt");
    const std::vector<std::string> frames = DeliveredFrames(TempDir::ReadFile(clip));
    ASSERT_EQ(frames.size(), 12u);

    const std::string file = dir / "video.h264";
    COutputFile out;
    ASSERT_TRUE(out.Open(file));
    CH264Writer h264;
    ASSERT_TRUE(h264.Begin(out));
    std::string expected;
    for (const std::string &frame : frames) {
        const bool key = (frame[4] & 0x1f) == 7;
        ASSERT_TRUE(h264.AddFrame(reinterpret_cast<const unsigned char *>(frame.data()), frame.size(), key));
        expected += frame;
    }
    ASSERT_TRUE(h264.Finish());
    ASSERT_TRUE(out.Commit()) << out.Error();
    EXPECT_EQ(h264.Frames(), 12u);
    EXPECT_EQ(h264.KeyFrames(), 3u);
    EXPECT_TRUE(TempDir::ReadFile(file) == expected);

    std::string probe;
    ASSERT_EQ(RunTool("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,nb_read_frames "
                      "-of default " + Quoted(file),
                      dir, &probe),
              0);
    const std::vector<ProbeSection> sections = ParseProbeReport(probe);
    ASSERT_EQ(sections.size(), 1u) << probe;
    EXPECT_TRUE(FieldsAre(sections[0], {{"codec_name", "h264"}, {"width", 64}, {"height", 48}, {"nb_read_frames", 12}}))
        << probe;
}

}  // namespace
