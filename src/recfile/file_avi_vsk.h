// The record file object of the recorder's AVI files: the container walk and
// index at open, the sequential chunk reader, frame delivery with key-frame
// deciphering, key-frame seeking and GPS side data.
#pragma once

#include <cstdint>

#include "recfile/avi_records.h"
#include "recfile/rec_file.h"

class CFileAviVsk : public CRecFile {
public:
    CFileAviVsk();
    ~CFileAviVsk() override;

    // False when the work buffers or the reader could not be allocated; such
    // an object is never opened.
    bool Ready() const;

    int32_t Open(const char *path, int32_t channel, const PasswordEntry *passwords,
                 int32_t passwordCount, int32_t checkPassword) override;
    int32_t Close() override;
    int32_t SeekBegin() override;
    int32_t ReadFrame(AvFrameInfo *frame, const AvFrameInfo *request) override;
    int32_t SeekIFrame(int64_t timeUs, int32_t flag) override;
    int32_t BackwardIFrame(AvFrameInfo *frame, const AvFrameInfo *request) override;
    int32_t ForwardIFrame(AvFrameInfo *frame, const AvFrameInfo *request) override;

    // Delivers the next text chunk listed in the index as a side-data record;
    // the reader is left behind that chunk. 0 when delivered, 1 when none is
    // left or the chunk cannot be read.
    int32_t ReadSideDataRecord(AvFrameInfo *frame);

    // Views for diagnostics and tests.
    const AviIndex *Index() const { return m_index; }
    int64_t CurrentTimeUs() const { return m_curTimeUs; }
    int32_t EncryptMode() const { return m_encryptMode; }

private:
    // Fills the frame record for one chunk of n payload bytes.
    void DeliverFrame(AvFrameInfo *frame, unsigned char *payload, int32_t n, int32_t kind);
    // Chooses the audio format from the stream words and the first frame.
    void DecideAudioFormat();
    // Time of video entry v, interpolated between the file's start and stop.
    int64_t TimeOfEntry(uint32_t v) const;

    uint32_t m_frameBufSize;
    unsigned char *m_frameBuf;
    unsigned char *m_auxBuf;
    int64_t m_curTimeUs;
    AviChunkReader *m_reader;
    AviIndex *m_index;
    AviChunkReader *m_activeReader;
    int32_t m_encryptMode;
};

// Capacities of the frame buffer and of the side-data buffer.
constexpr uint32_t kFrameBufSize = 512000;
constexpr uint32_t kAuxBufSize = 204800;

// Finds the first key-frame entry with a nonzero offset at or after the
// index position that `second` takes between the file's start and stop
// seconds. -1 when there is no index or the second lies outside the file;
// otherwise 0, and on a hit `offset` and the index cursor are set (`offset`
// stays as passed when nothing was found).
int32_t FindKeyEntryAtTime(AviIndex *index, int32_t second, uint32_t *offset);

// start + (stop - start) * v / count, truncated, without overflow; start
// when count is 0.
int64_t InterpolateTime(int64_t startUs, int64_t stopUs, uint64_t v, uint64_t count);
