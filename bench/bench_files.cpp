#include "bench_files.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::string g_dataDir = ".";

uint32_t U32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Length of the first key-frame chunk the idx1 lists for stream 0.
uint64_t FirstKeyFrameChunk(std::ifstream &in, uint32_t indexOffset, uint32_t indexSize) {
    in.clear();
    in.seekg(indexOffset + 8);
    unsigned char entry[16];
    for (uint32_t at = 0; at + 16 <= indexSize; at += 16) {
        if (!in.read(reinterpret_cast<char *>(entry), 16)) break;
        const bool video = std::memcmp(entry, "00dc", 4) == 0 || std::memcmp(entry, "00db", 4) == 0;
        if (video && U32(entry + 4) != 0) return 8ull + U32(entry + 12);
    }
    return 0;
}

}  // namespace

void SetDataDir(const std::string &dir) {
    g_dataDir = dir;
    if (!g_dataDir.empty() && g_dataDir.back() != '/') g_dataDir += '/';
}

std::string DataPath(const std::string &name) { return g_dataDir + name; }

bool DataExists(const std::string &name) {
    std::error_code ec;
    return std::filesystem::exists(DataPath(name), ec);
}

RecordingLayout ReadLayout(const std::string &path) {
    RecordingLayout layout;
    std::ifstream in(path, std::ios::binary);
    if (!in) return layout;
    in.seekg(0, std::ios::end);
    layout.fileSize = static_cast<uint64_t>(in.tellg());
    uint64_t needed = 12;
    bool header = false;
    bool info = false;
    for (uint64_t offset = 12; offset + 12 <= layout.fileSize;) {
        unsigned char head[12];
        in.seekg(static_cast<std::streamoff>(offset));
        if (!in.read(reinterpret_cast<char *>(head), 12)) break;
        const uint32_t size = U32(head + 4);
        if (std::memcmp(head, "LIST", 4) == 0 && std::memcmp(head + 8, "hdrl", 4) == 0) {
            needed += 8ull + size;
            header = true;
        } else if (std::memcmp(head, "LIST", 4) == 0 && std::memcmp(head + 8, "INFO", 4) == 0) {
            needed += 8ull + size;
            info = true;
        } else if (std::memcmp(head, "idx1", 4) == 0) {
            needed += 8ull + size;
            layout.indexOffset = static_cast<uint32_t>(offset);
            layout.indexSize = size;
        }
        offset += 8ull + size;
    }
    if (!header || !info || layout.indexOffset == 0) return layout;
    const uint64_t key = FirstKeyFrameChunk(in, layout.indexOffset, layout.indexSize);
    if (key == 0) return layout;
    layout.minimumOpenBytes = needed + key;
    layout.ok = true;
    return layout;
}

int64_t BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return -1;
}

void SearchDigest::Add(const RecGroupInfo &record) {
    // FNV-1a over 8-byte words (the record's 4596 bytes end in a 4-byte one)
    // in four interleaved lanes, folded into the running hash: cheap beside
    // the search it follows, which it is timed with.
    const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
    uint64_t lanes[4] = {hash, hash ^ 1, hash ^ 2, hash ^ 3};
    for (size_t i = 0, lane = 0; i < sizeof record; i += 8, lane = (lane + 1) & 3) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + i, sizeof record - i < 8 ? sizeof record - i : 8);
        lanes[lane] = (lanes[lane] ^ word) * 1099511628211ull;
    }
    for (uint64_t lane : lanes) hash = (hash ^ lane) * 1099511628211ull;
    ++records;
}
