#include "gps_summary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "damaged_copy.h"
#include "salvage/salvage_scan.h"

namespace {

constexpr size_t kSentenceBytes = 266;  // the sentence stands in front of the samples
constexpr int64_t kUsPerSecond = 1000000;

class CTextCollector final : public salvage::ChunkSink {
public:
    CTextCollector(salvage::ByteSource &source, std::vector<GpsText> &texts, std::vector<uint32_t> &videoBefore)
        : m_source(source), m_texts(texts), m_videoBefore(videoBefore) {}

    bool OnChunk(const salvage::MovieChunk &chunk) override {
        if (chunk.kind == salvage::ChunkKind::Video) {
            ++m_video;
            return true;
        }
        if (chunk.kind != salvage::ChunkKind::Text) return true;
        const size_t bytes = std::min<size_t>(chunk.length, kSentenceBytes);
        const size_t got = m_source.ReadAt(chunk.offset + 8, m_buffer, bytes);
        GpsText text;
        ParseRmc(reinterpret_cast<const char *>(m_buffer), got, text.rmc);
        m_texts.push_back(text);
        m_videoBefore.push_back(m_video);
        return true;
    }

private:
    salvage::ByteSource &m_source;
    std::vector<GpsText> &m_texts;
    std::vector<uint32_t> &m_videoBefore;
    uint32_t m_video = 0;
    uint8_t m_buffer[kSentenceBytes];
};

double Radians(double degrees) { return degrees * 3.14159265358979323846 / 180.0; }

double DistanceM(const GpsBlock &a, const GpsBlock &b) {
    constexpr double kEarthRadiusM = 6371008.8;
    const double dLat = Radians(b.latitude - a.latitude), dLon = Radians(b.longitude - a.longitude);
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(Radians(a.latitude)) * std::cos(Radians(b.latitude)) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(h)));
}

uint32_t U32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The text chunks of a sound file through its idx1, as the library finds
// them: only the index and the text chunks are read, however large the
// video. `frames`: the index's video entries.
bool TextThroughIndex(salvage::ByteSource &source, const salvage::ScanResult &sound, std::vector<GpsText> &texts,
                      std::vector<uint32_t> &videoBefore, uint32_t &frames) {
    uint8_t head[8];
    if (source.ReadAt(sound.indexOffset, head, 8) != 8 || std::memcmp(head, "idx1", 4) != 0) return false;
    const uint64_t entries = U32(head + 4) / 16;
    constexpr size_t kBlock = 4096;
    std::vector<uint8_t> block(kBlock * 16);
    uint8_t chunk[8 + kSentenceBytes];
    frames = 0;
    for (uint64_t done = 0; done < entries;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, entries - done));
        if (source.ReadAt(sound.indexOffset + 8 + done * 16, block.data(), n * 16) != n * 16) return false;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t *e = block.data() + i * 16;
            if (e[0] == '0' && e[1] == '0' && e[2] == 'd' && (e[3] == 'c' || e[3] == 'b')) {
                ++frames;
            } else if (e[2] == 't') {
                const size_t got = source.ReadAt(U32(e + 8), chunk, sizeof chunk);
                GpsText text;
                if (got >= 8 && std::memcmp(chunk, e, 4) == 0) {
                    const size_t bytes = std::min<size_t>(got - 8, U32(chunk + 4));
                    ParseRmc(reinterpret_cast<const char *>(chunk + 8), bytes, text.rmc);
                }
                texts.push_back(text);
                videoBefore.push_back(frames);
            }
        }
        done += n;
    }
    return true;
}

}  // namespace

bool ReadGpsText(const std::string &path, std::vector<GpsText> &texts) {
    texts.clear();
    std::unique_ptr<salvage::ByteSource> source = salvage::OpenFileSource(path.c_str());
    if (!source) return false;
    std::vector<uint32_t> videoBefore;
    salvage::ScanResult scan;
    uint32_t frames = 0;
    if (!salvage::LooksSound(*source, scan) || !TextThroughIndex(*source, scan, texts, videoBefore, frames)) {
        // No index to go by: the movie list walked chunk by chunk.
        texts.clear();
        videoBefore.clear();
        CTextCollector collector(*source, texts, videoBefore);
        scan = salvage::Scan(*source, &collector);
        if (scan.status != salvage::ScanStatus::Scanned) return false;
        frames = scan.videoFrames;
    }
    // Frame v of N is at start + duration * v / N; a chunk has the time of
    // the video frame in front of it, the start when none is.
    const int64_t startUs = static_cast<int64_t>(scan.startSeconds) * kUsPerSecond;
    const int64_t spanUs = (static_cast<int64_t>(scan.stopSeconds) - scan.startSeconds) * kUsPerSecond;
    for (size_t i = 0; i < texts.size(); ++i) {
        const int64_t v = videoBefore[i] > 0 ? videoBefore[i] - 1 : 0;
        texts[i].frameUs = frames ? startUs + spanUs * v / frames : startUs;
    }
    return true;
}

void ClockOffsetOf(const std::vector<GpsText> &texts, int64_t &offsetUs, size_t &fixes) {
    std::vector<int64_t> offsets;
    offsets.reserve(texts.size());
    for (const GpsText &t : texts) {
        if (t.rmc.utcKnown) offsets.push_back(t.frameUs - t.rmc.utcUs);
    }
    fixes = offsets.size();
    offsetUs = 0;
    if (offsets.empty()) return;
    std::sort(offsets.begin(), offsets.end());
    const size_t n = offsets.size();
    const int64_t median = n % 2 ? offsets[n / 2] : offsets[n / 2 - 1] + (offsets[n / 2] - offsets[n / 2 - 1]) / 2;
    const int64_t half = kUsPerSecond / 2;
    offsetUs = (median >= 0 ? (median + half) / kUsPerSecond : -((-median + half) / kUsPerSecond)) * kUsPerSecond;
}

void MeasureClockOffset(const std::vector<std::string> &files, int64_t &offsetUs, size_t &fixes) {
    std::vector<GpsText> all, one;
    for (const std::string &file : files) {
        if (ReadGpsText(ReadablePath(file), one)) all.insert(all.end(), one.begin(), one.end());
    }
    ClockOffsetOf(all, offsetUs, fixes);
}

GpsSummary SummariseGps(const std::vector<GpsText> &texts) {
    GpsSummary s;
    s.texts = texts.size();
    double speedSum = 0;
    for (const GpsText &t : texts) {
        if (!t.rmc.valid || !IsDrawable(t.rmc.gps)) continue;
        if (s.fixes == 0) s.first = t;
        else s.distanceM += DistanceM(s.last.rmc.gps, t.rmc.gps);
        s.last = t;
        ++s.fixes;
        s.topKmh = std::max(s.topKmh, SpeedKmh(t.rmc.gps));
        speedSum += SpeedKmh(t.rmc.gps);
    }
    if (s.fixes) s.meanKmh = speedSum / static_cast<double>(s.fixes);
    ClockOffsetOf(texts, s.offsetUs, s.offsetFixes);
    return s;
}

CPointTimes::CPointTimes(const std::string &path, const CClock &clock) : m_clock(clock) {
    if (!ReadGpsText(path, m_texts)) m_texts.clear();
}

int64_t PointTimeUs(const CClock &clock, const GpsText &text) {
    if (clock.FromGps() && text.rmc.utcKnown) return text.rmc.utcUs;
    return clock.Shown(text.frameUs);
}

int64_t CPointTimes::Next(int64_t libraryUs) {
    if (m_next >= m_texts.size()) return m_clock.Shown(libraryUs);
    return PointTimeUs(m_clock, m_texts[m_next++]);
}
