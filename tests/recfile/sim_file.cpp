#include "recfile/sim_file.h"

#include <cstring>
#include <fstream>

#include "recfile/gps.h"

SimFile WriteSim(const TempDir &dir, const std::string &name, const recsim::FileRecipe &recipe) {
    SimFile file;
    file.path = dir / name;
    file.bytes = recsim::BuildFile(recipe, &file.written);
    Rewrite(file);
    return file;
}

recsim::FileRecipe PlainRecording(int seconds) {
    recsim::RecordingPlan plan;
    plan.seconds = seconds;
    return recsim::PlannedFile(plan);
}

Opened OpenSim(const std::string &path, int32_t channel,
               const std::vector<PasswordEntry> *passwords, int32_t checkPassword) {
    Opened o;
    o.result = AVFILE_FEOpenFile(path.c_str(), channel, passwords ? passwords->data() : nullptr,
                                 passwords ? static_cast<int32_t>(passwords->size()) : 0,
                                 checkPassword, &o.handle);
    return o;
}

OpenHandle::OpenHandle(const std::string &path, int32_t channel) {
    const Opened o = OpenSim(path, channel);
    handle_ = o.handle;
    result_ = o.result;
}

OpenHandle::~OpenHandle() {
    if (handle_) AVFILE_FECloseFile(handle_);
}

PasswordEntry Password(const std::array<uint8_t, 8> &key) {
    PasswordEntry p{};
    std::memcpy(p.key, key.data(), 8);
    return p;
}

Delivered Copy(const AvFrameInfo &frame) {
    Delivered d;
    d.type = frame.type;
    d.timeUs = frame.timeUs;
    if (frame.data && frame.length > 0) d.payload.assign(frame.data, frame.data + frame.length);
    return d;
}

std::vector<Delivered> ReadAll(AvFileHandle handle, int32_t requestType, int32_t requestWord,
                               size_t limit) {
    std::vector<Delivered> frames;
    AvFrameInfo request{};
    request.type = requestType;
    std::memcpy(&request, &requestWord, sizeof requestWord);
    while (frames.size() < limit) {
        AvFrameInfo frame{};
        if (AVFILE_FEReadFrame(handle, &frame, &request) != 0) break;
        frames.push_back(Copy(frame));
    }
    return frames;
}

const CFileAviVsk *FileObject(AvFileHandle handle) {
    return dynamic_cast<const CFileAviVsk *>(static_cast<CRecFile *>(handle));
}

void Rewrite(const SimFile &file) {
    std::ofstream out(file.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(file.bytes.data()),
              static_cast<std::streamsize>(file.bytes.size()));
    EXPECT_TRUE(out.good()) << file.path;
}

void ExpectSame(const std::vector<Delivered> &got, const std::vector<Delivered> &want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].type, want[i].type) << i;
        ASSERT_EQ(got[i].timeUs, want[i].timeUs) << i;
        ASSERT_TRUE(got[i].payload == want[i].payload) << i;
    }
}

std::vector<uint8_t> WithoutDelimiter(const std::vector<uint8_t> &payload) {
    static const uint8_t aud[5] = {0, 0, 0, 1, 9};
    if (payload.size() > 6 && std::memcmp(payload.data(), aud, 5) == 0) {
        return std::vector<uint8_t>(payload.begin() + 6, payload.end());
    }
    return payload;
}

int64_t FrameTime(const recsim::FileRecipe &recipe, uint64_t v, uint64_t count) {
    const int64_t start = int64_t{recipe.header.startSeconds} * 1000000;
    const int64_t stop = int64_t{recipe.header.stopSeconds} * 1000000;
    if (count == 0) return start;
    return start + static_cast<int64_t>(static_cast<uint64_t>(stop - start) * v / count);
}

std::vector<Delivered> ExpectedPlayback(const SimFile &file, const recsim::FileRecipe &recipe,
                                        int32_t channel, int64_t fromVideo, int64_t seekTimeUs) {
    using recsim::ChunkKind;
    const auto &chunks = file.written.chunks;
    uint64_t count = 0;
    for (const auto &c : chunks) count += c.kind == ChunkKind::Video && c.stream == 0;
    size_t first = chunks.size();
    uint64_t cursor = 0;
    for (size_t i = 0, v = 0; i < chunks.size(); ++i) {
        if (chunks[i].kind != ChunkKind::Video || chunks[i].stream != 0) continue;
        if (fromVideo < 0 ? chunks[i].key : static_cast<int64_t>(v) == fromVideo) {
            first = i;
            cursor = v;
            break;
        }
        ++v;
    }
    std::vector<Delivered> out;
    int64_t lastTime = seekTimeUs >= 0 ? seekTimeUs : int64_t{recipe.header.startSeconds} * 1000000;
    for (size_t i = first; i < chunks.size(); ++i) {
        const auto &c = chunks[i];
        Delivered d;
        if (c.kind == ChunkKind::Video) {
            d.type = cursor < count && c.key ? FRAME_TYPE_I : FRAME_TYPE_P;
            d.timeUs = lastTime = FrameTime(recipe, cursor < count ? cursor : count, count);
            if (cursor < count) ++cursor;
            d.payload = WithoutDelimiter(c.payload);
        } else if (c.kind == ChunkKind::Audio) {
            if (c.stream != channel + 1) continue;
            d.type = FRAME_TYPE_AUDIO;
            d.timeUs = 0;
            d.payload = c.payload;
        } else if (c.kind == ChunkKind::Text) {
            d.type = FRAME_TYPE_SIDEDATA;
            d.timeUs = lastTime;
            unsigned char record[kSideDataMaxLength];
            int32_t length = 0;
            BuildSideData(c.payload.data(), static_cast<int32_t>(c.payload.size()), record, &length);
            d.payload.assign(record, record + length);
        } else {
            continue;
        }
        if (d.payload.empty()) continue;  // an empty chunk delivers nothing
        out.push_back(std::move(d));
    }
    return out;
}
