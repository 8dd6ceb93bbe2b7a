#include "recfile/rec_file.h"

#include <cstring>

AvWaveFormatEx CRecFile::DefaultWaveFormat() {
    AvWaveFormatEx f{};
    f.wFormatTag = 1;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 16000;
    f.nBlockAlign = 2;
    f.wBitsPerSample = 16;
    f.cbSize = 0;
    return f;
}

CRecFile::CRecFile()
    : m_waveFormat(DefaultWaveFormat()),
      m_audioFrameSize(1280),
      m_audioCodec(0),
      m_audioCodecParam(1),
      m_fileInfo{},
      m_terminalInfoValid(0),
      m_terminalInfo{},
      m_ioNameValid(0),
      m_ioName{} {
    m_fileInfo.frameRate = 25;
}

CRecFile::~CRecFile() = default;

void CRecFile::SetAudioFormat(int32_t codec, uint16_t channels,
                              uint32_t samplesPerSec, uint16_t bitsPerSample) {
    m_audioCodec = codec;
    m_waveFormat.nChannels = channels;
    m_waveFormat.nSamplesPerSec = samplesPerSec;
    m_waveFormat.wBitsPerSample = bitsPerSample;
    m_waveFormat.nBlockAlign = static_cast<uint16_t>(uint32_t{channels} * bitsPerSample / 8);
    m_audioFrameSize = codec == 4 ? 8192 : 1280;
    if (bitsPerSample != 8 && bitsPerSample != 16) {
        const uint16_t tag = m_waveFormat.wFormatTag;
        m_waveFormat = DefaultWaveFormat();
        m_waveFormat.wFormatTag = tag;  // the format tag is never changed
    }
}

int32_t CRecFile::GetReservedFlag(int32_t *flag) {
    if (flag) *flag = m_fileInfo.reserved;
    return 0;
}

int32_t CRecFile::GetWaveFormat(AvWaveFormatEx *format, uint32_t *frameSize,
                                int32_t *codec, int32_t *codecParam) const {
    if (format) std::memcpy(format, &m_waveFormat, sizeof m_waveFormat);
    if (frameSize) *frameSize = m_audioFrameSize;
    if (codec) *codec = m_audioCodec;
    if (codecParam) *codecParam = m_audioCodecParam;
    return 0;
}

int32_t CRecFile::GetFileInfo(RecFileInfo *info) const {
    if (info) std::memcpy(info, &m_fileInfo, sizeof m_fileInfo);
    return 0;
}

int32_t CRecFile::GetTerminalInfo(unsigned char *block) const {
    if (block) std::memcpy(block, m_terminalInfo, sizeof m_terminalInfo);
    return m_terminalInfoValid ? 0 : 1;
}

int32_t CRecFile::GetIOName(unsigned char *block) const {
    if (block) std::memcpy(block, m_ioName, sizeof m_ioName);
    return m_ioNameValid ? 0 : 1;
}
