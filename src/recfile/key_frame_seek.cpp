// Key-frame seeking: a time maps to an index position by proportion between
// the file's start and stop seconds; the reader is then placed on the chunk
// header of the next key frame the index lists.
#include "recfile/chunk_reader.h"
#include "recfile/file_avi_vsk.h"

int32_t FindKeyEntryAtTime(AviIndex *index, int32_t second, uint32_t *offset) {
    if (index == nullptr) return -1;
    const int32_t start = index->recHeader.startSeconds;
    const int32_t stop = index->recHeader.stopSeconds;
    if (second < start || second > stop) return -1;
    const uint64_t count = index->frameCount;
    uint64_t i = 0;
    if (stop != start) {
        const uint64_t into = static_cast<uint64_t>(int64_t{second} - start);
        const uint64_t span = static_cast<uint64_t>(int64_t{stop} - start);
        i = (into / span) * count + ((into % span) * count) / span;
    }
    for (; i < count; ++i) {
        const IndexEntry &e = index->entries[i];
        if (e.flags != 0 && e.offset > *offset) {
            *offset = e.offset;
            index->cursor = static_cast<int32_t>(i);
            return 0;
        }
    }
    return 0;
}

int32_t CFileAviVsk::SeekIFrame(int64_t timeUs, int32_t /*flag*/) {
    CAutoLock guard(&m_lock);
    const int32_t second = static_cast<int32_t>(static_cast<uint64_t>(timeUs) / 1000000u);
    uint32_t offset = 0;
    if (FindKeyEntryAtTime(m_index, second, &offset) != 0) return 1;
    if (m_activeReader == nullptr) return 1;
    if (offset != 0) {
        RepositionReader(m_activeReader, offset);
    } else {
        ParkReader(m_activeReader);  // no key frame from there on
    }
    m_curTimeUs = timeUs;
    return 0;
}

int32_t CFileAviVsk::BackwardIFrame(AvFrameInfo *frame, const AvFrameInfo *request) {
    // Steps to the next key frame later in the file, the one at the cursor
    // included.
    CAutoLock guard(&m_lock);
    if (m_index == nullptr || m_index->cursor < 0) return 1;
    uint32_t j = static_cast<uint32_t>(m_index->cursor);
    while (j < m_index->frameCount && m_index->entries[j].flags == 0) ++j;
    if (j >= m_index->frameCount) return 1;
    m_index->cursor = static_cast<int32_t>(j);
    RepositionReader(m_activeReader, m_index->entries[j].offset);
    const int32_t result = ReadFrame(frame, request);
    if (result == 0) {
        m_curTimeUs = TimeOfEntry(j);
        frame->timeUs = m_curTimeUs;
        // A damaged index entry may lead to an audio or text chunk, which
        // leaves the cursor where it was; the next step must still move on,
        // or a host stepping to the end would step forever.
        if (m_index->cursor <= static_cast<int32_t>(j)) {
            m_index->cursor = static_cast<int32_t>(j) + 1;
        }
    }
    return result;
}

int32_t CFileAviVsk::ForwardIFrame(AvFrameInfo *frame, const AvFrameInfo *request) {
    // Steps to the key frame before the frame delivered last.
    CAutoLock guard(&m_lock);
    if (m_index == nullptr) return 1;
    int64_t j = int64_t{m_index->cursor} - 2;
    if (j >= int64_t{m_index->frameCount}) j = int64_t{m_index->frameCount} - 1;
    while (j >= 0 && m_index->entries[j].flags == 0) --j;
    if (j < 0) return 1;
    m_index->cursor = static_cast<int32_t>(j);
    RepositionReader(m_activeReader, m_index->entries[j].offset);
    return ReadFrame(frame, request);
}
