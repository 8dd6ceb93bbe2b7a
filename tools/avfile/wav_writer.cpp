#include "wav_writer.h"

namespace {

constexpr size_t kHeaderSize = 44;
constexpr uint64_t kRiffSizeOffset = 4;
constexpr uint64_t kDataSizeOffset = 40;
// The RIFF size field counts everything after itself: "WAVE", the format
// chunk, the data chunk's head, the data and its pad byte.
constexpr uint64_t kMaxDataBytes = 0xffffffffull - (kHeaderSize - 8) - 1;

void PutLe16(unsigned char *p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void PutLe32(unsigned char *p, uint32_t v) {
    PutLe16(p, v & 0xffff);
    PutLe16(p + 2, v >> 16);
}

}  // namespace

bool CWavWriter::Begin(COutputFile &out, const AvWaveFormatEx &format) {
    m_out = &out;
    m_dataBytes = 0;
    const uint32_t bits = format.wBitsPerSample;
    if (format.wFormatTag != 1 || format.nChannels < 1 || format.nChannels > 8 || format.nSamplesPerSec == 0 ||
        format.nSamplesPerSec > 768000 || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
        out.SetError("audio format cannot be written as PCM WAV");
        return false;
    }
    m_format = format;
    m_format.nBlockAlign = static_cast<uint16_t>(format.nChannels * bits / 8);
    m_format.nAvgBytesPerSec = format.nSamplesPerSec * m_format.nBlockAlign;
    m_format.cbSize = 0;

    unsigned char header[kHeaderSize] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                         'f', 'm', 't', ' ', 16, 0, 0, 0};
    PutLe16(header + 20, m_format.wFormatTag);
    PutLe16(header + 22, m_format.nChannels);
    PutLe32(header + 24, m_format.nSamplesPerSec);
    PutLe32(header + 28, m_format.nAvgBytesPerSec);
    PutLe16(header + 32, m_format.nBlockAlign);
    PutLe16(header + 34, m_format.wBitsPerSample);
    header[36] = 'd';
    header[37] = 'a';
    header[38] = 't';
    header[39] = 'a';
    // Sizes of an empty file until Finish fills in the real ones; on a
    // stream, which cannot be rewritten, the largest sizes, as streaming
    // readers expect.
    PutLe32(header + kRiffSizeOffset, out.Seekable() ? kHeaderSize - 8 : 0xffffffffu);
    if (!out.Seekable()) PutLe32(header + kDataSizeOffset, 0xffffffffu);
    return out.Write(header, sizeof header);
}

bool CWavWriter::AddAudio(const unsigned char *data, size_t length) {
    if (length > kMaxDataBytes - m_dataBytes) {
        m_out->SetError("audio longer than a WAV file can hold");
        return false;
    }
    if (!m_out->Write(data, length)) return false;
    m_dataBytes += length;
    return true;
}

bool CWavWriter::Finish() {
    const bool odd = (m_dataBytes & 1) != 0;
    if (odd && !m_out->Put('\0')) return false;
    if (!m_out->Seekable()) return true;
    unsigned char size[4];
    PutLe32(size, static_cast<uint32_t>(kHeaderSize - 8 + m_dataBytes + (odd ? 1 : 0)));
    if (!m_out->Patch(kRiffSizeOffset, size, 4)) return false;
    PutLe32(size, static_cast<uint32_t>(m_dataBytes));
    return m_out->Patch(kDataSizeOffset, size, 4);
}
