// Sequential playback: frames in file order with their types, times and
// payloads, audio of the chosen channel, the end of the movie data, and the
// audio format the open settles from the stream words and the first frame.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recfile/sim_file.h"

namespace {

using recsim::Chunk;
using recsim::ChunkKind;
using recsim::FileRecipe;
using recsim::InfoPlacement;

Chunk VideoChunk(std::vector<uint8_t> payload, bool key) {
    Chunk c;
    c.kind = ChunkKind::Video;
    c.key = key;
    c.payload = std::move(payload);
    return c;
}

Chunk AudioChunk(int channel, size_t bytes) {
    Chunk c;
    c.kind = ChunkKind::Audio;
    c.stream = channel + 1;
    c.payload = recsim::PcmAudio(bytes, 8000, 300.0 * (channel + 1));
    return c;
}

// A file smaller than one read window does not open, and the walk meets idx1
// only when the movie list does not start in the file's last window: crafted
// files end with audio of channel 3, which no read here asks for.
std::vector<Chunk> Padded(std::vector<Chunk> chunks) {
    chunks.push_back(AudioChunk(3, 4000));
    return chunks;
}

// Every chunk order the recorder writes plays the same frames and stops at
// the end of the movie list: nothing of idx1 or a later INFO list is read as
// a frame.
TEST(Playback, WholeFileInEveryListOrder) {
    const InfoPlacement orders[] = {InfoPlacement::BeforeMovie, InfoPlacement::AfterMovie,
                                    InfoPlacement::AfterIndex, InfoPlacement::None};
    for (InfoPlacement order : orders) {
        for (bool delimiters : {false, true}) {
            SCOPED_TRACE(testing::Message() << "order " << static_cast<int>(order) << " delimiters "
                                            << delimiters);
            TempDir dir;
            recsim::RecordingPlan plan;
            plan.seconds = 3;
            plan.delimiters = delimiters;
            plan.audioChannels = {0, 1};
            FileRecipe recipe = recsim::PlannedFile(plan);
            recipe.infoPlacement = order;
            const SimFile f = WriteSim(dir, "play.avi", recipe);
            for (int32_t channel : {0, 1, 3}) {
                OpenHandle h(f.path, channel);
                ASSERT_EQ(h.result(), 0);
                ExpectSame(ReadAll(h.get()), ExpectedPlayback(f, recipe, channel));
                // The end is final until the reader is placed again.
                AvFrameInfo frame{};
                EXPECT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 1);
                EXPECT_EQ(AVFILE_FESeekBegin(h.get()), 0);
                ExpectSame(ReadAll(h.get()), ExpectedPlayback(f, recipe, channel));
            }
        }
    }
}

// A file with the recorder's PCM marker is not probed at open: reading starts
// where the set-up placed the reader, at the list behind the header list,
// and still ends with the movie list.
TEST(Playback, UnprobedFileFromTheSetUpToTheEndOfTheMovieList) {
    for (InfoPlacement order : {InfoPlacement::BeforeMovie, InfoPlacement::AfterMovie}) {
        SCOPED_TRACE(static_cast<int>(order));
        TempDir dir;
        recsim::RecordingPlan plan;
        plan.seconds = 2;
        FileRecipe recipe = recsim::PlannedFile(plan);
        recsim::DescribePcmAudio(recipe);
        recipe.infoPlacement = order;
        const SimFile f = WriteSim(dir, "marker.avi", recipe);
        OpenHandle h(f.path);
        ASSERT_EQ(h.result(), 0);
        ExpectSame(ReadAll(h.get()), ExpectedPlayback(f, recipe, 0, 0));

        // A movie list that ends inside the set-up's first window: the index
        // behind it is not read as chunks. Entries the walk drops make the
        // file long enough for the walk to reach the index.
        FileRecipe small = PlainRecording(2);
        recsim::DescribePcmAudio(small);
        small.infoPlacement = order;
        small.chunks = {VideoChunk(recsim::SyntheticKeyFrame(300), true),
                        VideoChunk(recsim::SyntheticFrame(200), false)};
        small.index.extra.assign(160, recsim::IndexEntry{"JUNK", 0, 0, 0});
        const SimFile g = WriteSim(dir, "small.avi", small);
        ASSERT_LT(g.written.movieListOffset + 8 + g.written.movieListSize,
                  g.written.headerListOffset + 2048u);
        OpenHandle k(g.path);
        ASSERT_EQ(k.result(), 0);
        const std::vector<Delivered> want = ExpectedPlayback(g, small, 0, 0);
        ASSERT_EQ(want.size(), 2u);
        ExpectSame(ReadAll(k.get()), want);
    }
}

TEST(Playback, AudioChannelByRequest) {
    TempDir dir;
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    plan.audioChannels = {0, 1, 2, 3};
    const FileRecipe recipe = recsim::PlannedFile(plan);
    const SimFile f = WriteSim(dir, "audio.avi", recipe);
    OpenHandle h(f.path, 0);
    ASSERT_EQ(h.result(), 0);
    // Request 0xff000033 picks the channel in its first word, whatever the
    // open's channel.
    ExpectSame(ReadAll(h.get(), FRAME_REQ_AUDIO_CHANNEL, 2), ExpectedPlayback(f, recipe, 2));
    AVFILE_FESeekBegin(h.get());
    ExpectSame(ReadAll(h.get(), 0x12345, 2), ExpectedPlayback(f, recipe, 0));

    // A channel as large as an int, at open or by request, matches no audio
    // stream (channel 9 has none either).
    const std::vector<Delivered> noAudio = ExpectedPlayback(f, recipe, 9);
    OpenHandle last(f.path, INT32_MAX);
    ASSERT_EQ(last.result(), 0);
    ExpectSame(ReadAll(last.get()), noAudio);
    AVFILE_FESeekBegin(h.get());
    ExpectSame(ReadAll(h.get(), FRAME_REQ_AUDIO_CHANNEL, INT32_MAX), noAudio);
}

// Files whose chunks are written one by one to show a single rule.
struct Crafted {
    const char *name;
    std::vector<Chunk> chunks;
    int seconds;
    // (type, length) the reads must deliver; length -1: the read returns 1.
    std::vector<std::pair<int32_t, int32_t>> reads;
};

TEST(Playback, ChunkRules) {
    std::vector<uint8_t> aud7 = {0, 0, 0, 1, 9, 0xf0, 0x42};
    std::vector<uint8_t> aud6 = {0, 0, 0, 1, 9, 0xf0};
    const Crafted cases[] = {
        {"frame buffer capacity",
         {VideoChunk(recsim::SyntheticKeyFrame(512000), true),
          VideoChunk(recsim::SyntheticFrame(512001), false),
          VideoChunk(recsim::SyntheticFrame(100), false)},
         2,
         {{FRAME_TYPE_I, 512000}, {-1, -1}, {-1, -1}, {-1, -1}}},
        {"access unit delimiter dropped only from a longer payload",
         {VideoChunk(recsim::SyntheticKeyFrame(400), true), VideoChunk(aud7, false),
          VideoChunk(aud6, false)},
         2,
         {{FRAME_TYPE_I, 400}, {FRAME_TYPE_P, 1}, {FRAME_TYPE_P, 6}, {-1, -1}}},
        {"empty chunk answers 1 once",
         {VideoChunk(recsim::SyntheticKeyFrame(400), true), AudioChunk(0, 0),
          AudioChunk(0, 320)},
         2,
         {{FRAME_TYPE_I, 400}, {-1, -1}, {FRAME_TYPE_AUDIO, 320}, {-1, -1}}},
    };
    for (const Crafted &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        FileRecipe recipe = PlainRecording(c.seconds);
        recipe.chunks = Padded(c.chunks);
        const SimFile f = WriteSim(dir, "crafted.avi", recipe);
        OpenHandle h(f.path);
        ASSERT_EQ(h.result(), 0);
        for (size_t i = 0; i < c.reads.size(); ++i) {
            SCOPED_TRACE(i);
            AvFrameInfo frame{};
            const int32_t r = AVFILE_FEReadFrame(h.get(), &frame, nullptr);
            if (c.reads[i].second < 0) {
                EXPECT_EQ(r, 1);
                EXPECT_EQ(frame.data, nullptr);  // untouched
                continue;
            }
            ASSERT_EQ(r, 0);
            EXPECT_EQ(frame.type, c.reads[i].first);
            EXPECT_EQ(frame.length, c.reads[i].second);
        }
    }
}

TEST(Playback, DelimiterDropMovesDataAndLengths) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(2);
    recipe.chunks = Padded({VideoChunk({0, 0, 0, 1, 9, 0xf0, 0x42}, true)});
    const SimFile f = WriteSim(dir, "aud.avi", recipe);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    // The host's alternative lengths, never set for video, are lowered with
    // the length, wrapping at the ends of their range.
    const struct {
        int32_t before1, before2, after1, after2;
    } lengths[] = {
        {100, 200, 94, 194},
        {INT32_MIN, INT32_MIN + 5, INT32_MAX - 5, INT32_MAX},
    };
    for (const auto &l : lengths) {
        ASSERT_EQ(AVFILE_FESeekBegin(h.get()), 0);
        AvFrameInfo frame{};
        frame.altLength1 = l.before1;
        frame.altLength2 = l.before2;
        ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
        EXPECT_EQ(frame.length, 1);
        EXPECT_EQ(frame.data[0], 0x42);
        EXPECT_EQ(frame.data[-6], 0x00);
        EXPECT_EQ(frame.data[-2], 0x09);
        EXPECT_EQ(frame.altLength1, l.after1);
        EXPECT_EQ(frame.altLength2, l.after2);
    }
}

TEST(Playback, TimesOfVideoAudioAndText) {
    TempDir dir;
    recsim::RecordingPlan plan;
    plan.seconds = 10;
    plan.framesPerSecond = 10;
    plan.keyFrameInterval = 10;
    const FileRecipe recipe = recsim::PlannedFile(plan);
    const SimFile f = WriteSim(dir, "times.avi", recipe);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    const int64_t start = int64_t{recipe.header.startSeconds} * 1000000;
    // One record reused for every read: audio leaves the time on it.
    AvFrameInfo frame{};
    int video = 0;
    int64_t lastVideo = -1;
    bool sawAudioAfterVideo = false, sawText = false;
    while (AVFILE_FEReadFrame(h.get(), &frame, nullptr) == 0) {
        if (frame.type == FRAME_TYPE_I || frame.type == FRAME_TYPE_P) {
            if (video == 0 || video == 37) {
                EXPECT_EQ(frame.timeUs, start + video * 100000);
            }
            lastVideo = frame.timeUs;
            ++video;
        } else if (frame.type == FRAME_TYPE_AUDIO) {
            EXPECT_EQ(frame.timeUs, lastVideo);
            EXPECT_EQ(frame.altLength1, frame.length);
            EXPECT_EQ(frame.altLength2, frame.length);
            sawAudioAfterVideo = true;
        } else {
            EXPECT_EQ(frame.timeUs, lastVideo);
            sawText = true;
        }
    }
    EXPECT_EQ(video, 100);
    EXPECT_TRUE(sawAudioAfterVideo);
    EXPECT_TRUE(sawText);
}

// Video beyond the index's entries, and a file whose index lists no video.
TEST(Playback, VideoWithoutIndexEntries) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(4);
    recipe.chunks = Padded({VideoChunk(recsim::SyntheticKeyFrame(400), true),
                          VideoChunk(recsim::SyntheticFrame(300), true),
                          VideoChunk(recsim::SyntheticFrame(200), false)});
    recipe.chunks[1].inIndex = false;
    recipe.chunks[2].inIndex = false;
    const SimFile f = WriteSim(dir, "short_index.avi", recipe);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    const std::vector<Delivered> got = ReadAll(h.get());
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].type, FRAME_TYPE_I);
    EXPECT_EQ(got[1].type, FRAME_TYPE_P);  // no entry left: never a key frame
    EXPECT_EQ(got[1].timeUs, int64_t{recipe.header.stopSeconds} * 1000000);
    EXPECT_EQ(got[2].timeUs, int64_t{recipe.header.stopSeconds} * 1000000);

    // Without video entries the reader is placed by a side-data request; the
    // video behind it takes the start time.
    FileRecipe noVideo = PlainRecording(4);
    noVideo.chunks.clear();
    Chunk text;
    text.kind = ChunkKind::Text;
    text.stream = 2;
    text.payload = recsim::TextPayload(recsim::RmcSentence({}));
    noVideo.chunks = {text, VideoChunk(recsim::SyntheticKeyFrame(3000), true),
                      VideoChunk(recsim::SyntheticFrame(3000), false)};
    noVideo.chunks[1].inIndex = false;
    noVideo.chunks[2].inIndex = false;
    const SimFile g = WriteSim(dir, "no_video.avi", noVideo);
    OpenHandle k(g.path);
    ASSERT_EQ(k.result(), 0);
    AvFrameInfo frame{};
    EXPECT_EQ(AVFILE_FEReadFrame(k.get(), &frame, nullptr), 1);  // no key frame to start at
    AvFrameInfo request{};
    request.type = FRAME_REQ_SIDEDATA;
    ASSERT_EQ(AVFILE_FEReadFrame(k.get(), &frame, &request), 0);
    const std::vector<Delivered> rest = ReadAll(k.get());
    ASSERT_EQ(rest.size(), 2u);
    for (const Delivered &d : rest) {
        EXPECT_EQ(d.type, FRAME_TYPE_P);
        EXPECT_EQ(d.timeUs, int64_t{noVideo.header.startSeconds} * 1000000);
    }
}

TEST(Playback, NullArgumentsAndClosedFile) {
    TempDir dir;
    const SimFile f = WriteSim(dir, "null.avi", PlainRecording(2));
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    AvFrameInfo frame{};
    EXPECT_EQ(AVFILE_FEReadFrame(nullptr, &frame, nullptr), 1);
    EXPECT_EQ(AVFILE_FEReadFrame(h.get(), nullptr, nullptr), 1);
    EXPECT_EQ(AVFILE_FESeekBegin(nullptr), 1);
    // A closed object reports failure everywhere.
    CRecFile *file = static_cast<CRecFile *>(h.get());
    EXPECT_EQ(file->Close(), 0);
    EXPECT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 1);
    EXPECT_EQ(AVFILE_FESeekBegin(h.get()), 1);
    AvFrameInfo request{};
    request.type = FRAME_REQ_SIDEDATA;
    EXPECT_EQ(AVFILE_FEReadFrame(h.get(), &frame, &request), 1);
    EXPECT_EQ(AVFILE_FEBackwardIFrame(h.get(), &frame, nullptr), 1);
    EXPECT_EQ(AVFILE_FEForwardIFrame(h.get(), &frame, nullptr), 1);
}

// ---- Audio format ----

struct FormatCase {
    const char *name;
    std::optional<std::array<uint32_t, 3>> streamWords, formatWords;
    std::vector<uint8_t> firstFrame;  // empty: no key frame in the index
    AvWaveFormatEx format;
    uint32_t frameSize;
    int32_t codec, codecParam;
};

constexpr uint32_t kMarker = 359110706u;
constexpr uint32_t Fw0(uint32_t tag, uint32_t channels) { return tag | channels << 16; }

std::vector<uint8_t> SliceFirst() {
    std::vector<uint8_t> p = recsim::SyntheticFrame(500);
    p[4] = 0x65;
    return p;
}

TEST(AudioFormat, DecidedAtOpen) {
    const std::vector<uint8_t> sps = recsim::SyntheticKeyFrame(500);
    const std::vector<uint8_t> audSps = recsim::SyntheticKeyFrame(500, true);
    ASSERT_EQ(sps[4] & 0x1f, 7);
    ASSERT_EQ(audSps[10] & 0x1f, 7);
    const AvWaveFormatEx def = {1, 1, 8000, 16000, 2, 16, 0};
    const FormatCase cases[] = {
        {"marker", std::array<uint32_t, 3>{9, kMarker, 640},
         std::array<uint32_t, 3>{Fw0(1, 1), 8000, 16000}, sps, {1, 1, 8000, 16000, 2, 16, 0}, 640, -1, 3},
        {"marker, stereo 8 bits", std::array<uint32_t, 3>{9, kMarker, 800},
         std::array<uint32_t, 3>{Fw0(1, 2), 11025, 22050}, sps, {1, 2, 11025, 22050, 2, 8, 0}, 800, -1, 3},
        {"marker without a rate", std::array<uint32_t, 3>{9, kMarker, 800},
         std::array<uint32_t, 3>{Fw0(1, 1), 0, 16000}, sps, def, 4096, 5, 3},
        {"marker without channels", std::array<uint32_t, 3>{9, kMarker, 800},
         std::array<uint32_t, 3>{Fw0(1, 0), 8000, 16000}, sps, def, 4096, 5, 3},
        // Damaged words: only the low 16 bits of the sample size are kept.
        {"marker, byte rate of an int's range", std::array<uint32_t, 3>{9, kMarker, 800},
         std::array<uint32_t, 3>{Fw0(1, 1), 1, 0x7fffffff}, sps, {1, 1, 1, 8191, 8191, 0xfff8, 0},
         800, -1, 3},
        {"marker, rate -1 and byte rate of the int minimum", std::array<uint32_t, 3>{9, kMarker, 800},
         std::array<uint32_t, 3>{Fw0(1, 1), 0xffffffff, 0x80000000}, sps,
         {1, 1, 0xffffffff, 0, 0, 0, 0}, 800, -1, 3},
        {"sps, tag 255", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(255, 1), 16000, 8000}, sps, {1, 2, 8000, 32000, 4, 16, 0}, 8192, 4, 2},
        {"sps, tag 1", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(1, 1), 16000, 8000}, sps, {1, 1, 16000, 16000, 2, 16, 0}, 5120, -1, 3},
        {"sps, other tag", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(85, 1), 16000, 8000}, sps, def, 2000, 5, 3},
        {"delimiter and sps, tag 1", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(1, 1), 16000, 8000}, audSps, {1, 2, 16000, 32000, 4, 16, 0}, 5120, -1, 3},
        {"delimiter and sps, other tag", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(6, 1), 16000, 8000}, audSps, {1, 2, 8000, 32000, 4, 16, 0}, 8192, 4, 2},
        {"slice first", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(6, 2), 8000, 8}, SliceFirst(), {6, 2, 8000, 16000, 2, 8, 0}, 7, 9, 8},
        {"no stream words", std::nullopt, std::nullopt, SliceFirst(), {0, 0, 0, 0, 0, 0, 0}, 0, 0, 0},
        {"no key frame to probe", std::array<uint32_t, 3>{9, 8, 7},
         std::array<uint32_t, 3>{Fw0(255, 1), 16000, 8000}, {}, def, 4096, 5, 3},
    };
    for (const FormatCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        FileRecipe recipe = PlainRecording(4);
        if (c.streamWords) {
            recipe.streamWords = c.streamWords;
            recipe.formatWords = c.formatWords;
        } else {
            recipe.writeStreamHeader = false;
        }
        recipe.chunks = Padded({VideoChunk(c.firstFrame.empty() ? sps : c.firstFrame,
                                         !c.firstFrame.empty()),
                              VideoChunk(recsim::SyntheticFrame(300), false)});
        const SimFile f = WriteSim(dir, "format.avi", recipe);
        OpenHandle h(f.path);
        ASSERT_EQ(h.result(), 0);
        AvWaveFormatEx format;
        std::memset(&format, 0xee, sizeof format);
        uint32_t frameSize = 0;
        int32_t codec = 99, codecParam = 99;
        ASSERT_EQ(AVFILE_FEGetWaveFormat(h.get(), &format, &frameSize, &codec, &codecParam), 0);
        EXPECT_EQ(format.wFormatTag, c.format.wFormatTag);
        EXPECT_EQ(format.nChannels, c.format.nChannels);
        EXPECT_EQ(format.nSamplesPerSec, c.format.nSamplesPerSec);
        EXPECT_EQ(format.nAvgBytesPerSec, c.format.nAvgBytesPerSec);
        EXPECT_EQ(format.nBlockAlign, c.format.nBlockAlign);
        EXPECT_EQ(format.wBitsPerSample, c.format.wBitsPerSample);
        EXPECT_EQ(format.cbSize, 0);
        EXPECT_EQ(frameSize, c.frameSize);
        EXPECT_EQ(codec, c.codec);
        EXPECT_EQ(codecParam, c.codecParam);
        if (!c.firstFrame.empty()) {
            // After the probe the host's first read starts at the first key
            // frame again.
            AvFrameInfo frame{};
            ASSERT_EQ(AVFILE_FEReadFrame(h.get(), &frame, nullptr), 0);
            EXPECT_EQ(frame.type, FRAME_TYPE_I);
            EXPECT_EQ(frame.timeUs, int64_t{recipe.header.startSeconds} * 1000000);
        }
    }
    EXPECT_EQ(AVFILE_FEGetWaveFormat(nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

// The host's slot for setting the format: block align from the channels and
// the sample size, and the default format back for a sample size other than
// 8 or 16 bits.
TEST(AudioFormat, SetThroughTheObject) {
    const struct {
        int32_t codec;
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
        AvWaveFormatEx format;
        uint32_t frameSize;
    } cases[] = {
        {4, 2, 44100, 16, {1, 2, 44100, 16000, 4, 16, 0}, 8192},
        {7, 65535, 8000, 16, {1, 65535, 8000, 16000, 0xfffe, 16, 0}, 1280},
        {4, 65535, 48000, 65535, {1, 1, 8000, 16000, 2, 16, 0}, 8192},
    };
    for (const auto &c : cases) {
        CFileAviVsk file;
        file.SetAudioFormat(c.codec, c.channels, c.rate, c.bits);
        AvWaveFormatEx format{};
        uint32_t frameSize = 0;
        int32_t codec = 0;
        file.GetWaveFormat(&format, &frameSize, &codec, nullptr);
        EXPECT_EQ(std::memcmp(&format, &c.format, sizeof format), 0) << c.channels << " " << c.bits;
        EXPECT_EQ(frameSize, c.frameSize);
        EXPECT_EQ(codec, c.codec);
    }
}

}  // namespace
