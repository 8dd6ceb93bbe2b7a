// Side data on request: the text chunks listed in the index, fetched one
// after another in file order, whatever the video position; the one reader
// is left behind the chunk fetched.
#include "recfile/chunk_reader.h"
#include "recfile/file_avi_vsk.h"
#include "recfile/gps.h"

int32_t CFileAviVsk::ReadSideDataRecord(AvFrameInfo *frame) {
    CAutoLock guard(&m_lock);
    if (frame == nullptr || m_index == nullptr) return 1;
    AviIndex &index = *m_index;
    if (index.textCursor >= index.textCount) return 1;
    const IndexEntry entry = index.entries[index.entryCapacity - 1 - index.textCursor];
    if (RepositionReader(m_activeReader, entry.offset) != 0) return 1;
    ++index.textCursor;
    int32_t kind = 0;
    const int32_t n = ReadChunk(m_activeReader, m_frameBuf, m_frameBufSize, &kind);
    if (n <= 0 || kind != CHUNK_TEXT) return 1;
    frame->type = FRAME_TYPE_SIDEDATA;
    frame->data = m_auxBuf;
    BuildSideData(m_frameBuf, n, m_auxBuf, &frame->length);
    // The record takes the time of the video frames that precede it.
    if (index.frameCount != 0 && frame->length != 0) {
        frame->timeUs = InterpolateTime(m_fileInfo.startTimeUs, m_fileInfo.stopTimeUs,
                                        entry.flags, index.frameCount);
    }
    return 0;
}
