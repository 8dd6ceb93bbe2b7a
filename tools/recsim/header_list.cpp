#include "recsim/header_list.h"

#include <algorithm>

namespace recsim {

namespace {

constexpr uint32_t kFourCcH264 = 0x34363248;  // "H264"
constexpr uint32_t kAviHasIndex = 0x10;
constexpr uint32_t kExtendedHeaderSize = 180;
constexpr uint32_t kStreamHeaderSize = 56;
constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint32_t kWaveFormatSize = 18;
constexpr uint32_t kRecInfoLong = 244;
constexpr uint32_t kRecInfoShort = 187;

// The recorder's main AVI header at its full 180 bytes: the standard
// fields, the recording header in the standard's reserved words, the
// enciphered file key, 16 further bytes and zeros.
std::vector<uint8_t> ExtendedMainHeader(const FileRecipe &recipe, const StreamPlan &streams,
                                        const std::array<uint8_t, 8> &storedKey) {
    std::vector<uint8_t> body;
    ByteSink s(body);
    s.U32(recipe.framesPerSecond ? 1000000 / recipe.framesPerSecond : 0);
    s.U32(0);  // maximum bytes per second
    s.U32(0);  // padding granularity
    s.U32(kAviHasIndex);
    s.U32(streams.videoFrames);
    s.U32(0);  // initial frames
    s.U32(static_cast<uint32_t>(streams.kinds.size()));
    s.U32(0x100000);  // suggested buffer size
    s.U32(recipe.width);
    s.U32(recipe.height);
    const RecHeaderRecipe &h = recipe.header;
    s.U8(h.incomplete);
    s.U8(static_cast<uint8_t>(h.videoChannel));
    s.U8(h.audioPresence);
    s.U8(static_cast<uint8_t>(h.alarmFile));
    s.U8(static_cast<uint8_t>(h.composite));
    s.U8(static_cast<uint8_t>(h.headerFrameRate));
    s.U8(h.videoStandard);
    s.U8(h.encryption);
    s.U32(static_cast<uint32_t>(h.startSeconds));
    s.U32(static_cast<uint32_t>(h.stopSeconds));
    s.Bytes(storedKey.data(), storedKey.size());
    s.Bytes(recipe.furtherHeaderBytes.data(), recipe.furtherHeaderBytes.size());
    s.Zeros(kExtendedHeaderSize - body.size());
    return body;
}

void WriteVideoStreamList(ByteSink &s, const FileRecipe &recipe, const StreamPlan &streams) {
    const std::array<uint32_t, 3> words = recipe.streamWords.value_or(
        std::array<uint32_t, 3>{kFourCcH264, 0, 0});
    const std::array<uint32_t, 3> format = recipe.formatWords.value_or(
        std::array<uint32_t, 3>{kBitmapHeaderSize, recipe.width, recipe.height});
    const uint32_t list = s.Open("LIST", "strl");
    // Without "strh" and "strf" the same bytes stand under other ids.
    const uint32_t strh = s.Open(recipe.writeStreamHeader ? "strh" : "JUNK");
    s.FourCc("vids");
    s.U32(words[0]);
    s.U32(words[1]);
    s.U32(words[2]);
    s.U32(0);  // initial frames
    s.U32(1);  // scale
    s.U32(recipe.framesPerSecond);
    s.U32(0);  // start
    s.U32(streams.videoFrames);
    s.U32(0x100000);
    s.U32(0xFFFFFFFF);  // quality
    s.U32(0);           // sample size
    s.U16(0);
    s.U16(0);
    s.U16(static_cast<uint16_t>(recipe.width));
    s.U16(static_cast<uint16_t>(recipe.height));
    s.Close(strh);
    const uint32_t strf = s.Open(recipe.writeStreamHeader ? "strf" : "JUNK");
    s.U32(format[0]);
    s.U32(format[1]);
    s.U32(format[2]);
    s.U16(1);   // planes
    s.U16(24);  // bits per pixel
    s.U32(kFourCcH264);
    s.U32(recipe.width * recipe.height * 3);
    s.Zeros(16);
    s.Close(strf);
    s.Close(list);
}

void WriteAudioStreamList(ByteSink &s) {
    const uint32_t list = s.Open("LIST", "strl");
    const uint32_t strh = s.Open("strh");
    s.FourCc("auds");
    s.U32(0);      // handler
    s.U32(0);      // flags
    s.U32(0);      // priority, language
    s.U32(0);      // initial frames
    s.U32(2);      // scale: one block of 2 bytes
    s.U32(16000);  // rate: bytes per second
    s.U32(0);
    s.U32(0);  // length
    s.U32(0x10000);
    s.U32(0xFFFFFFFF);
    s.U32(2);  // sample size
    s.Zeros(8);
    s.Close(strh);
    const uint32_t strf = s.Open("strf");
    s.U16(1);  // PCM
    s.U16(1);  // mono
    s.U32(8000);
    s.U32(16000);
    s.U16(2);
    s.U16(16);
    s.U16(0);
    s.Close(strf);
    s.Close(list);
}

void WriteTextStreamList(ByteSink &s) {
    const uint32_t list = s.Open("LIST", "strl");
    const uint32_t strh = s.Open("strh");
    s.FourCc("txts");
    s.Zeros(16);
    s.U32(1);  // scale
    s.U32(1);  // rate: one sentence per second
    s.Zeros(8);
    s.U32(0x10000);
    s.U32(0xFFFFFFFF);
    s.U32(0);
    s.Zeros(8);
    s.Close(strh);
    s.Close(list);
}

}  // namespace

StreamPlan PlanStreams(const FileRecipe &recipe) {
    StreamPlan plan;
    plan.kinds.push_back(ChunkKind::Video);
    for (const Chunk &c : recipe.chunks) {
        if (c.kind == ChunkKind::Video) ++plan.videoFrames;
        if ((c.kind == ChunkKind::Audio || c.kind == ChunkKind::Text) && c.stream > 0 &&
            c.stream < 10) {
            if (plan.kinds.size() <= static_cast<size_t>(c.stream)) {
                plan.kinds.resize(c.stream + 1, ChunkKind::Audio);
            }
            if (c.kind == ChunkKind::Text) plan.kinds[c.stream] = ChunkKind::Text;
        }
    }
    return plan;
}

void WriteHeaderList(ByteSink &s, const FileRecipe &recipe, const StreamPlan &streams,
                     const std::array<uint8_t, 8> &storedKey) {
    const uint32_t list = s.Open("LIST", "hdrl");
    std::vector<uint8_t> main = ExtendedMainHeader(recipe, streams, storedKey);
    main.resize(recipe.mainHeaderSize, 0);
    s.FourCc("avih");
    s.U32(recipe.mainHeaderSize);
    s.Bytes(main);
    for (size_t d = 0; d < streams.kinds.size(); ++d) {
        if (d == 0) {
            WriteVideoStreamList(s, recipe, streams);
        } else if (streams.kinds[d] == ChunkKind::Text) {
            WriteTextStreamList(s);
        } else {
            WriteAudioStreamList(s);
        }
    }
    s.Close(list);
}

void WriteInfoList(ByteSink &s, const FileRecipe &recipe, const std::array<uint8_t, 8> &storedKey) {
    std::vector<uint8_t> block;
    ByteSink b(block);
    b.U8(static_cast<uint8_t>(static_cast<int8_t>(recipe.header.encryption) >> 4));
    b.Bytes(storedKey.data(), storedKey.size());
    b.U8(0);
    b.Text(recipe.info.deviceId, 21);
    b.Text(recipe.info.appVersion, 52);
    b.Text(recipe.info.mcuVersion, 52);
    b.Text(recipe.info.camVersion, 52);
    const uint32_t blockSize = recipe.infoForm == InfoForm::Long ? kRecInfoLong : kRecInfoShort;
    block.resize(blockSize, 0);

    // The list's size field counts "INFO", the sub-chunk header and the
    // block; a size given in the description cuts or zero-fills the block.
    const uint32_t listSize = recipe.infoListSize.value_or(12 + blockSize);
    s.FourCc("LIST");
    s.U32(listSize);
    std::vector<uint8_t> body;
    ByteSink inner(body);
    inner.FourCc("INFO");
    inner.FourCc("IREC");
    inner.U32(blockSize);
    inner.Bytes(block);
    body.resize(listSize, 0);
    s.Bytes(body);
}

}  // namespace recsim
