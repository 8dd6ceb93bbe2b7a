// The record file object the host holds as a handle: the abstract base with
// the fields every record file kind shares (audio format, file information,
// recorder blocks) and its lock.
#pragma once

#include <cstdint>

#include "avfile/avfile.h"
#include "support/locks.h"

class CRecFile {
public:
    CRecFile();
    // Slot 0.
    virtual ~CRecFile();
    CRecFile(const CRecFile &) = delete;
    CRecFile &operator=(const CRecFile &) = delete;

    // Slots 1 to 7, in this order.
    virtual int32_t Open(const char *path, int32_t channel,
                         const PasswordEntry *passwords, int32_t passwordCount,
                         int32_t checkPassword) = 0;
    virtual int32_t Close() = 0;
    virtual int32_t SeekBegin() = 0;
    virtual int32_t ReadFrame(AvFrameInfo *frame, const AvFrameInfo *request) = 0;
    virtual int32_t SeekIFrame(int64_t timeUs, int32_t flag) = 0;
    virtual int32_t BackwardIFrame(AvFrameInfo *frame, const AvFrameInfo *request) = 0;
    virtual int32_t ForwardIFrame(AvFrameInfo *frame, const AvFrameInfo *request) = 0;

    // Slot 8: sets the audio codec and format from a decoder's description.
    virtual void SetAudioFormat(int32_t codec, uint16_t channels,
                                uint32_t samplesPerSec, uint16_t bitsPerSample);
    // Slot 9: the reserved byte of the file information; returns 0.
    virtual int32_t GetReservedFlag(int32_t *flag);

    // Plain getters of the exports; they take no lock and only copy.
    int32_t GetWaveFormat(AvWaveFormatEx *format, uint32_t *frameSize,
                          int32_t *codec, int32_t *codecParam) const;
    int32_t GetFileInfo(RecFileInfo *info) const;
    int32_t GetTerminalInfo(unsigned char *block) const;
    int32_t GetIOName(unsigned char *block) const;
    // The composite byte of the recording header (1: several channels in one
    // file), sign-extended, as the open read it; 0 before.
    int32_t GetComposite() const { return m_composite; }

    // The default audio format: PCM, 1 channel, 8000 samples/s, 16 bits.
    static AvWaveFormatEx DefaultWaveFormat();

protected:
    CMutexLock m_lock;
    AvWaveFormatEx m_waveFormat;
    uint32_t m_audioFrameSize;
    int32_t m_audioCodec;
    int32_t m_audioCodecParam;
    RecFileInfo m_fileInfo;
    int32_t m_terminalInfoValid;
    unsigned char m_terminalInfo[AVFILE_TERMINAL_INFO_SIZE];
    int32_t m_ioNameValid;
    unsigned char m_ioName[AVFILE_IO_NAME_SIZE];
    int32_t m_composite = 0;
};
