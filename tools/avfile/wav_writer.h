// WAV: the PCM audio of one channel in a RIFF "WAVE" file with the
// recording's audio format. Frames are appended as they are read; the
// sizes in the header are filled in when the audio ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "avfile/avfile.h"
#include "output_file.h"

class CWavWriter {
public:
    // Writes the header for `format`. Only PCM (format tag 1) with 1 to 8
    // channels, a sample rate and 8, 16, 24 or 32 bits per sample can be
    // written; block align and byte rate are derived from these, so a
    // format record with inconsistent derived fields still gives a file
    // players read correctly. False for any other format.
    bool Begin(COutputFile &out, const AvWaveFormatEx &format);
    // Appends audio bytes. False when the output failed or the audio would
    // pass the 4 GiB a RIFF file can describe.
    bool AddAudio(const unsigned char *data, size_t length);
    // Adds the pad byte an odd-sized data chunk needs and fills in the
    // sizes in the header.
    bool Finish();

    uint64_t AudioBytes() const { return m_dataBytes; }
    const AvWaveFormatEx &Format() const { return m_format; }

private:
    COutputFile *m_out = nullptr;
    AvWaveFormatEx m_format{};
    uint64_t m_dataBytes = 0;
};
