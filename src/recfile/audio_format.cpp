// The audio format of an open file: from the recorder's PCM marker in the
// stream header, or else from the kind of the first video frame together
// with the stream format.
#include "recfile/file_avi_vsk.h"

namespace {

// Stream header word 1 of a file whose audio is plain PCM described by the
// stream format.
constexpr uint32_t kPcmMarker = 359110706u;

constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalAud = 9;

}  // namespace

void CFileAviVsk::DecideAudioFormat() {
    if (m_index == nullptr) return;
    const uint32_t sw0 = m_index->streamWords[0];
    const uint32_t sw1 = m_index->streamWords[1];
    const uint32_t sw2 = m_index->streamWords[2];
    const uint32_t fw0 = m_index->formatWords[0];
    const uint32_t fw1 = m_index->formatWords[1];
    const uint32_t fw2 = m_index->formatWords[2];
    const uint16_t tag = static_cast<uint16_t>(fw0 & 0xffff);
    const uint16_t channels = static_cast<uint16_t>(fw0 >> 16);
    AvWaveFormatEx &wf = m_waveFormat;

    if (sw1 == kPcmMarker) {
        // Without a sample rate or a channel count there is nothing to divide
        // by: the default format stays.
        if (fw1 == 0 || channels == 0) return;
        // Signed divisions. A damaged header's sample size in bits may not
        // fit 16 bits, or an int: it is formed unsigned and its low 16 bits
        // are kept.
        const int32_t bytesPerSecondPerSample = static_cast<int32_t>(
            int64_t{static_cast<int32_t>(fw2)} / int64_t{static_cast<int32_t>(fw1)});
        const int32_t bytesPerSample = bytesPerSecondPerSample / channels;
        const uint32_t bits = static_cast<uint32_t>(bytesPerSample) * 8u;
        wf.wFormatTag = 1;
        wf.nChannels = channels;
        wf.nSamplesPerSec = fw1;
        wf.wBitsPerSample = static_cast<uint16_t>(bits);
        wf.nBlockAlign = static_cast<uint16_t>(uint32_t{channels} * wf.wBitsPerSample / 8);
        wf.nAvgBytesPerSec = wf.nBlockAlign * fw1;
        wf.cbSize = 0;
        m_audioCodec = -1;
        m_audioFrameSize = sw2;
        return;
    }

    SeekBegin();
    AvFrameInfo frame{};
    const AvFrameInfo request{};
    if (ReadFrame(&frame, &request) != 0) return;
    // The payload as read, access unit delimiter included.
    const int32_t n = frame.type == FRAME_TYPE_SIDEDATA
                          ? 0
                          : frame.length + static_cast<int32_t>(frame.data - m_frameBuf);
    const uint8_t typeAt4 = n > 4 ? m_frameBuf[4] & 0x1f : 0;
    const uint8_t typeAt10 = n > 10 ? m_frameBuf[10] & 0x1f : 0;

    auto setStereo16 = [&](uint32_t rate) {
        wf.nSamplesPerSec = rate;
        wf.wFormatTag = 1;
        wf.nChannels = 2;
        wf.nBlockAlign = 4;
        wf.wBitsPerSample = 16;
        wf.nAvgBytesPerSec = 4 * rate;
        wf.cbSize = 0;
    };
    if (typeAt4 == kNalSps) {
        wf = DefaultWaveFormat();
        m_audioCodec = 5;
        m_audioCodecParam = 3;
        m_audioFrameSize = 2000;
        if (tag == 1) {
            wf.nSamplesPerSec = fw1;
            m_audioCodec = -1;
            m_audioFrameSize = 5120;
        } else if (tag == 255) {
            setStereo16(fw2);
            m_audioCodec = 4;
            m_audioCodecParam = 2;
            m_audioFrameSize = 8192;
        }
    } else if (typeAt4 == kNalAud && typeAt10 == kNalSps) {
        setStereo16(fw2);
        if (tag == 1) {
            wf.nSamplesPerSec = fw1;
            m_audioCodec = -1;
            m_audioFrameSize = 5120;
        } else {
            m_audioCodec = 4;
            m_audioCodecParam = 2;
            m_audioFrameSize = 8192;
        }
    } else {
        wf.wFormatTag = tag;
        wf.nChannels = channels;
        wf.nSamplesPerSec = fw1;
        wf.wBitsPerSample = static_cast<uint16_t>(fw2 & 0xffff);
        // Widened first: a damaged header's 16-bit sample size times its
        // channel count does not fit an int.
        wf.nBlockAlign = static_cast<uint16_t>(uint32_t{wf.wBitsPerSample} * channels / 8);
        wf.nAvgBytesPerSec = wf.nBlockAlign * fw1;
        wf.cbSize = 0;
        m_audioCodec = static_cast<int32_t>(sw0);
        m_audioCodecParam = static_cast<int32_t>(sw1);
        m_audioFrameSize = sw2;
    }
    SeekBegin();
}
