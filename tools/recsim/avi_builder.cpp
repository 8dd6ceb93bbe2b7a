#include <cstdio>

#include "recfile/master_key.h"
#include "recsim/byte_sink.h"
#include "recsim/header_list.h"
#include "recsim/recsim.h"

namespace recsim {

namespace {

constexpr uint32_t kIndexKeyFrame = 0x10;

std::string ChunkId(const Chunk &c) {
    if (!c.id.empty()) return c.id;
    const char digit = static_cast<char>('0' + c.stream);
    switch (c.kind) {
        case ChunkKind::Video: return std::string("0") + digit + "dc";
        case ChunkKind::Audio: return std::string("0") + digit + "wb";
        case ChunkKind::Text: return std::string("0") + digit + "tx";
        case ChunkKind::Raw: break;
    }
    return "JUNK";
}

uint32_t IndexFlags(const Chunk &c) {
    if (c.indexFlags) return *c.indexFlags;
    if (c.kind == ChunkKind::Video) return c.key ? kIndexKeyFrame : 0;
    return kIndexKeyFrame;
}

bool Encrypted(const FileRecipe &recipe) { return (recipe.header.encryption & 0xF0) != 0; }

std::array<uint8_t, 8> StoredFileKey(const FileRecipe &recipe) {
    std::array<uint8_t, 8> key = recipe.info.fileKey;
    if (Encrypted(recipe)) {
        std::array<uint8_t, 8> master{};
        if (recipe.masterKey) {
            master = *recipe.masterKey;
        } else {
            const unsigned char *library = MasterKey();
            for (size_t i = 0; i < 8; ++i) master[i] = library[i];
        }
        EncipherBlocks(master.data(), key.data(), 1);
    }
    return key;
}

// The movie list; fills in where each chunk landed, with copies of the
// payloads only when the caller asked for the list of what was written.
void WriteMovieList(ByteSink &s, const FileRecipe &recipe, WrittenFile &w, bool keepPayloads) {
    const bool encrypted = Encrypted(recipe);
    w.movieListOffset = s.Offset();
    const uint32_t list = s.Open("LIST", "movi");
    for (const Chunk &c : recipe.chunks) {
        WrittenChunk out;
        out.id = ChunkId(c);
        out.kind = c.kind;
        out.stream = c.stream;
        out.key = c.kind == ChunkKind::Video && c.key;
        out.offset = s.Offset();
        out.length = static_cast<uint32_t>(c.payload.size());
        s.FourCc(out.id);
        s.U32(c.sizeField.value_or(out.length));
        if (out.key && encrypted) {
            std::vector<uint8_t> stored =
                EncipherKeyFrame(recipe.info.fileKey, c.payload, &out.enciphered);
            s.Bytes(stored);
            if (keepPayloads) out.stored = std::move(stored);
        } else {
            s.Bytes(c.payload);
            if (keepPayloads) out.stored = c.payload;
        }
        if (keepPayloads) out.payload = c.payload;
        if (recipe.padOddChunks && (out.length & 1)) s.U8(0);
        w.chunks.push_back(std::move(out));
    }
    s.Close(list);
    w.movieListSize = s.Offset() - w.movieListOffset - 8;
}

// idx1; returns false when the description cuts the file inside it.
bool WriteIndex(ByteSink &s, const FileRecipe &recipe, WrittenFile &w) {
    std::vector<IndexEntry> entries;
    for (size_t i = 0; i < recipe.chunks.size(); ++i) {
        const Chunk &c = recipe.chunks[i];
        if (!c.inIndex) continue;
        entries.push_back({w.chunks[i].id, IndexFlags(c), w.chunks[i].offset, w.chunks[i].length});
    }
    entries.insert(entries.end(), recipe.index.extra.begin(), recipe.index.extra.end());
    w.indexOffset = s.Offset();
    s.FourCc("idx1");
    s.U32(recipe.index.sizeField.value_or(static_cast<uint32_t>(16 * entries.size())));
    const size_t count = recipe.index.entriesWritten.value_or(entries.size());
    for (size_t i = 0; i < count && i < entries.size(); ++i) {
        s.FourCc(entries[i].id);
        s.U32(entries[i].flags);
        s.U32(entries[i].offset);
        s.U32(entries[i].length);
    }
    return !recipe.index.entriesWritten;
}

void WriteTopChunk(ByteSink &s, const TopChunk &c) {
    s.FourCc(c.id);
    s.U32(static_cast<uint32_t>(c.body.size() + (c.listType.empty() ? 0 : 4)));
    if (!c.listType.empty()) s.FourCc(c.listType);
    s.Bytes(c.body);
}

}  // namespace

std::vector<const WrittenChunk *> WrittenFile::Of(ChunkKind kind, int stream) const {
    std::vector<const WrittenChunk *> found;
    for (const WrittenChunk &c : chunks) {
        if (c.kind == kind && (stream < 0 || c.stream == stream)) found.push_back(&c);
    }
    return found;
}

std::vector<uint8_t> BuildFile(const FileRecipe &recipe, WrittenFile *written) {
    WrittenFile local;
    WrittenFile &w = written ? *written : local;
    w = WrittenFile{};
    w.storedFileKey = StoredFileKey(recipe);
    StreamPlan streams = PlanStreams(recipe);
    const PowerLossRecipe &loss = recipe.powerLoss;
    if (loss.sizes != OpeningSizes::Final) streams.videoFrames = 0;

    std::vector<uint8_t> file;
    ByteSink s(file);
    s.FourCc(recipe.riffId);
    s.U32(0);
    s.FourCc(recipe.formType);

    w.headerListOffset = s.Offset();
    WriteHeaderList(s, recipe, streams, w.storedFileKey);
    auto info = [&](InfoPlacement where) {
        if (recipe.infoPlacement != where) return;
        w.infoListOffset = s.Offset();
        WriteInfoList(s, recipe, w.storedFileKey);
    };
    info(InfoPlacement::BeforeMovie);
    for (const TopChunk &c : recipe.beforeMovie) WriteTopChunk(s, c);
    WriteMovieList(s, recipe, w, written != nullptr);
    info(InfoPlacement::AfterMovie);
    bool complete = true;
    if (recipe.index.present) complete = WriteIndex(s, recipe, w);
    if (complete) info(InfoPlacement::AfterIndex);
    s.PatchU32(4, s.Offset() - 8);
    if (loss.sizes != OpeningSizes::Final) {
        uint64_t riff = 0, movie = 0;
        if (loss.sizes == OpeningSizes::Preallocated) {
            const uint64_t laidOut = loss.preallocatedSize ? loss.preallocatedSize : file.size();
            riff = laidOut > 8 ? laidOut - 8 : 0;
            movie = laidOut > w.movieListOffset + 8 ? laidOut - w.movieListOffset - 8 : 0;
        }
        s.PatchU32(4, static_cast<uint32_t>(riff));
        s.PatchU32(w.movieListOffset + 4, static_cast<uint32_t>(movie));
        w.movieListSize = static_cast<uint32_t>(movie);
    }
    if (loss.stopTime != OpeningStopTime::Final) {
        // The recording header as written when recording began: not yet
        // complete, and no stop time (or the start's).
        const uint32_t header = w.headerListOffset + 60;
        if (recipe.mainHeaderSize > 40) file[header] = 1;
        if (recipe.mainHeaderSize >= 56) {
            s.PatchU32(header + 12, loss.stopTime == OpeningStopTime::Zero
                                        ? 0
                                        : static_cast<uint32_t>(recipe.header.startSeconds));
        }
    }
    if (complete && recipe.watermark) AppendWatermark(file);
    if (recipe.truncateAt && *recipe.truncateAt < file.size()) file.resize(*recipe.truncateAt);
    w.writtenSize = file.size();
    if (loss.preallocatedSize > file.size()) file.resize(loss.preallocatedSize, 0);
    w.fileSize = file.size();
    return file;
}

FileRecipe PowerLossFile(FileRecipe recipe, size_t cutAt) {
    recipe.index.present = false;
    recipe.watermark = false;
    recipe.powerLoss.sizes = OpeningSizes::Zero;
    recipe.powerLoss.stopTime = OpeningStopTime::Zero;
    recipe.powerLoss.preallocatedSize = 0;
    recipe.truncateAt = cutAt;
    return recipe;
}

bool WriteFile(const std::string &path, const FileRecipe &recipe, WrittenFile *written) {
    const std::vector<uint8_t> bytes = BuildFile(recipe, written);
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace recsim
