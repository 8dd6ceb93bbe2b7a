#include "recfile/file_avi_vsk.h"

#include <atomic>
#include <cstring>
#include <new>

#include "recfile/chunk_reader.h"
#include "recfile/container_walk.h"
#include "search/rec_search.h"

namespace {

// FILETIME of 1970-01-01 00:00:00: seconds from 1601 to 1970.
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000LL;
constexpr int64_t kUsPerSecond = 1000000LL;
// The RIFF header, the header list, the INFO list and the movie list's
// header of a recorder file, with the reader's first window: one read.
constexpr size_t kHeaderReadAhead = 4096;

}  // namespace

CFileAviVsk::CFileAviVsk()
    : m_frameBufSize(kFrameBufSize),
      m_frameBuf(new (std::nothrow) unsigned char[kFrameBufSize]),
      m_auxBuf(new (std::nothrow) unsigned char[kAuxBufSize]),
      m_curTimeUs(0),
      m_reader(CreateChunkReader()),
      m_index(nullptr),
      m_activeReader(m_reader),
      m_encryptMode(0) {
    m_waveFormat = DefaultWaveFormat();
    m_audioCodec = 5;
    m_audioCodecParam = 3;
    m_audioFrameSize = 4096;
}

CFileAviVsk::~CFileAviVsk() {
    Close();
    delete[] m_frameBuf;
    delete[] m_auxBuf;
}

bool CFileAviVsk::Ready() const {
    return m_frameBuf != nullptr && m_auxBuf != nullptr && m_reader != nullptr;
}

int32_t CFileAviVsk::Open(const char *path, int32_t channel, const PasswordEntry *passwords,
                          int32_t passwordCount, int32_t checkPassword) {
    // The object is not known to the host yet: no lock.
    if (m_reader == nullptr || m_reader->file != nullptr) return 1;
    // One handle serves the reader and the walk. The reader's set-up and the
    // walk's header chunks come from the first read; the reader then goes on
    // from where its set-up left it.
    m_reader->file = plat::OpenRead(path);
    int64_t readerPos = -1;
    if (m_reader->file != nullptr) {
        plat::ReadAhead(m_reader->file, kHeaderReadAhead);
        SetUpReader(m_reader);
        readerPos = plat::Tell(m_reader->file);
    }
    m_index = WalkContainer(m_reader->file);
    if (m_index == nullptr || m_activeReader == nullptr) return 1;
    if (readerPos < 0 || !plat::Seek(m_reader->file, readerPos)) {
        // Reading on from where the walk stopped would take the index for
        // chunks.
        ParkReader(m_reader);
    }
    BoundToMovieList(m_reader, m_index->moviEnd);

    const RecHeader header = m_index->recHeader;
    const RecInfo &info = m_index->recInfo;
    CFileSearchJNQ *search = GetRecSearch();
    if (search == nullptr) return 1;
    // Opens on several host threads may write it at once.
    std::atomic_ref<int32_t>(search->m_lastComposite)
        .store(header.composite, std::memory_order_relaxed);
    m_composite = header.composite;

    if (search->GetStartTime(path, &m_fileInfo.startTime) == 0) {
        const int64_t fileTime =
            (int64_t{header.startSeconds} + kSecondsFrom1601To1970) * kFileTimeUnitsPerSecond;
        plat::FileTimeToSystemTime(static_cast<uint64_t>(fileTime), &m_fileInfo.startTime);
    }
    m_fileInfo.alarm = header.alarmFile;
    m_fileInfo.channel = channel;
    m_fileInfo.startTimeUs = int64_t{header.startSeconds} * kUsPerSecond;
    m_fileInfo.stopTimeUs = int64_t{header.stopSeconds} * kUsPerSecond;
    m_fileInfo.durationMs = static_cast<uint32_t>(
        static_cast<uint64_t>(m_fileInfo.stopTimeUs - m_fileInfo.startTimeUs) / 1000);

    int32_t rate = 0;
    search->GetFrameRate(path, &rate);
    if (static_cast<uint32_t>(rate) > 6) {
        m_fileInfo.frameRate = static_cast<uint8_t>(rate & 0xff);
    } else {
        m_fileInfo.frameRate = header.videoStandard == 1 ? 25 : 30;
    }
    m_curTimeUs = m_fileInfo.startTimeUs;

    m_encryptMode = static_cast<int8_t>(header.encryption) >> 4;
    if (m_encryptMode != 0 && checkPassword != 0) {
        bool matched = false;
        if (passwords != nullptr) {
            for (int32_t i = 0; i < passwordCount && !matched; ++i) {
                matched = std::memcmp(passwords[i].key, info.fileKey, sizeof info.fileKey) == 0;
            }
        }
        if (!matched) {
            Close();
            return 2;
        }
    }
    DecideAudioFormat();
    return 0;
}

int32_t CFileAviVsk::Close() {
    CAutoLock guard(&m_lock);
    if (m_index != nullptr) {
        FreeAviIndex(m_index);
        m_index = nullptr;
    }
    if (m_activeReader != nullptr && m_reader != nullptr) {
        FreeChunkReader(m_reader);
        m_reader = nullptr;
        m_activeReader = nullptr;
    }
    return 0;
}

int64_t InterpolateTime(int64_t startUs, int64_t stopUs, uint64_t v, uint64_t count) {
    if (count == 0) return startUs;
    const bool negative = stopUs < startUs;
    const uint64_t span = negative ? static_cast<uint64_t>(startUs) - static_cast<uint64_t>(stopUs)
                                   : static_cast<uint64_t>(stopUs) - static_cast<uint64_t>(startUs);
    // span * v / count, split so that no product leaves 64 bits.
    const uint64_t scaled = (span / count) * v + ((span % count) * v) / count;
    return negative ? startUs - static_cast<int64_t>(scaled) : startUs + static_cast<int64_t>(scaled);
}

int64_t CFileAviVsk::TimeOfEntry(uint32_t v) const {
    return InterpolateTime(m_fileInfo.startTimeUs, m_fileInfo.stopTimeUs, v,
                           m_index ? m_index->frameCount : 0);
}
