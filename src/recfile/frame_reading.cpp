// Sequential frame reading: one chunk per call, typed and timed through the
// index, key frames of encrypted files deciphered before delivery.
#include <cstring>

#include "recfile/chunk_reader.h"
#include "recfile/file_avi_vsk.h"
#include "recfile/frame_cipher.h"
#include "recfile/gps.h"

namespace {

// An H.264 access unit delimiter in byte-stream form opens many recorder
// frames; the host's decoder gets the frame without it.
constexpr unsigned char kAudPrefix[5] = {0x00, 0x00, 0x00, 0x01, 0x09};
constexpr int32_t kAudLength = 6;

// value - by, modulo 2^32.
int32_t LowerBy(int32_t value, int32_t by) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) - static_cast<uint32_t>(by));
}

int32_t FirstWord(const AvFrameInfo &request) {
    int32_t word;
    std::memcpy(&word, &request, sizeof word);
    return word;
}

}  // namespace

int32_t CFileAviVsk::SeekBegin() { return SeekIFrame(m_fileInfo.startTimeUs, 0); }

int32_t CFileAviVsk::ReadFrame(AvFrameInfo *frame, const AvFrameInfo *request) {
    if (frame == nullptr) return 1;
    const int32_t requestType = request ? request->type : 0;
    if (requestType == FRAME_REQ_SIDEDATA) return ReadSideDataRecord(frame);

    CAutoLock guard(&m_lock);
    // Audio of channel c is stream c + 1; a host channel as large as an int
    // holds matches no stream.
    const int64_t wanted =
        int64_t{requestType == FRAME_REQ_AUDIO_CHANNEL ? FirstWord(*request) : m_fileInfo.channel} + 1;
    for (;;) {
        if (m_activeReader == nullptr) return 1;
        int32_t kind = 0;
        const int32_t n = ReadChunk(m_activeReader, m_frameBuf, m_frameBufSize, &kind);
        if (n <= 0) return 1;
        // Audio of the other channels is passed over.
        if (kind == CHUNK_AUDIO && m_activeReader->streamNo != wanted) continue;
        DeliverFrame(frame, m_frameBuf, n, kind);
        return 0;
    }
}

void CFileAviVsk::DeliverFrame(AvFrameInfo *frame, unsigned char *payload, int32_t n,
                               int32_t kind) {
    frame->length = n;
    frame->data = payload;
    if (kind == CHUNK_TEXT) {
        frame->type = FRAME_TYPE_SIDEDATA;
        frame->timeUs = m_curTimeUs;
        frame->data = m_auxBuf;
        BuildSideData(payload, n, m_auxBuf, &frame->length);
        return;
    }
    if (kind == CHUNK_AUDIO) {
        frame->altLength1 = n;
        frame->altLength2 = n;
        frame->type = FRAME_TYPE_AUDIO;
        return;  // the host's time stays on the record
    }
    // Video: typed by the index, timed by its position in it.
    const uint32_t v = m_index ? static_cast<uint32_t>(m_index->cursor) : 0;
    IndexEntry entry{};
    const bool keyFrame = NextIndexEntry(m_index, &entry) == 0 && entry.flags != 0;
    m_curTimeUs = TimeOfEntry(v);
    frame->timeUs = m_curTimeUs;
    if (keyFrame) {
        frame->type = FRAME_TYPE_I;
        if (m_encryptMode != 0) {
            DecryptKeyFrame(m_index->recInfo.fileKey, payload, static_cast<uint32_t>(n),
                            m_frameBufSize - static_cast<uint32_t>(payload - m_frameBuf));
        }
    } else {
        frame->type = FRAME_TYPE_P;
    }
    if (n > kAudLength && std::memcmp(payload, kAudPrefix, sizeof kAudPrefix) == 0) {
        frame->data += kAudLength;
        frame->length -= kAudLength;
        // The host's own values: lowered with the length, wrapping at the
        // ends of their range.
        frame->altLength1 = LowerBy(frame->altLength1, kAudLength);
        frame->altLength2 = LowerBy(frame->altLength2, kAudLength);
    }
}
