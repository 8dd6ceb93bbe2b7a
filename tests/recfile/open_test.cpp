// Opening record files: the name rule, the container walk with its messages,
// the recorder's header blocks, the index, the file information and the
// password check of encrypted files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recfile/sim_file.h"
#include "search/rec_search.h"

namespace {

using recsim::Chunk;
using recsim::ChunkKind;
using recsim::FileRecipe;

uint32_t U32(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::string Hdr(const std::vector<uint8_t> &b, size_t at) {
    return "size:" + std::to_string(static_cast<int32_t>(U32(b, at + 4)));
}

TEST(OpenFile, NameRuleAndSignature) {
    TempDir dir;
    const SimFile upper = WriteSim(dir, "REC.AVI", PlainRecording());
    const SimFile bak = WriteSim(dir, "rec.avi.bak", PlainRecording());
    FileRecipe avix = PlainRecording();
    avix.formType = "AVIX";
    const SimFile anyFourth = WriteSim(dir, "avix.avi", avix);
    FileRecipe rifx = PlainRecording();
    rifx.riffId = "RIFX";
    const SimFile noRiff = WriteSim(dir, "rifx.avi", rifx);
    FileRecipe avx = PlainRecording();
    avx.formType = "AVX ";
    const SimFile noAvi = WriteSim(dir, "avx.avi", avx);
    FileRecipe shortRecipe = PlainRecording();
    shortRecipe.truncateAt = 2047;
    const SimFile tooShort = WriteSim(dir, "short.avi", shortRecipe);

    struct Case {
        std::string path;
        int32_t result;
        const char *message;  // printed by the walk, when any
    } cases[] = {
        {upper.path, 0, nullptr},
        {bak.path, 1, nullptr},
        {"avi", 1, nullptr},
        {anyFourth.path, 0, nullptr},
        {noRiff.path, 1, "No RIFF chunck found!\n"},
        {noAvi.path, 1, "No RIFF chunck found!\n"},
        {tooShort.path, 1, "file read failed\n"},
        {dir / "missing.avi", 1, "file open failed!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        AvFileHandle handle = reinterpret_cast<AvFileHandle>(0x1234);
        int32_t result = -1;
        const std::string out = StdoutOf([&] {
            result = AVFILE_FEOpenFile(c.path.c_str(), 0, nullptr, 0, 0, &handle);
        });
        EXPECT_EQ(result, c.result);
        if (c.result == 0) {
            EXPECT_NE(handle, reinterpret_cast<AvFileHandle>(0x1234));
            EXPECT_EQ(AVFILE_FECloseFile(handle), 0);
        } else {
            EXPECT_EQ(handle, reinterpret_cast<AvFileHandle>(0x1234));  // untouched
        }
        if (c.message) {
            EXPECT_EQ(out, c.message);
        }
    }
    EXPECT_EQ(AVFILE_FECloseFile(nullptr), 1);
}

TEST(OpenFile, WalkPrintsEveryChunkInTheRecordersOrder) {
    TempDir dir;
    FileRecipe recipe = PlainRecording();
    // An odd-sized JUNK chunk and an unknown list stand before the movie
    // list: the walk goes on at offset + 8 + size, with no rounding.
    recipe.beforeMovie.push_back({"JUNK", "", std::vector<uint8_t>(7, 0x55)});
    recipe.beforeMovie.push_back({"LIST", "abcd", std::vector<uint8_t>(9, 0x11)});
    recipe.beforeMovie.push_back({"zzzz", "", std::vector<uint8_t>(3, 0x22)});
    const SimFile f = WriteSim(dir, "walk.avi", recipe);
    const auto &b = f.bytes;
    const size_t hdrl = f.written.headerListOffset, info = f.written.infoListOffset,
                 movi = f.written.movieListOffset, idx = f.written.indexOffset;
    const size_t junk = info + 8 + U32(b, info + 4), abcd = junk + 8 + 7, zzzz = abcd + 8 + 13;
    ASSERT_EQ(std::string(b.begin() + junk, b.begin() + junk + 4), "JUNK");
    ASSERT_EQ(std::string(b.begin() + zzzz, b.begin() + zzzz + 4), "zzzz");
    const std::string expected =
        "chunk hdrl found, chunk " + Hdr(b, hdrl) + "\n" +
        "chunk INFO found, chunk " + Hdr(b, info) + "\n" +
        "chunk JUNK found, chunk" + Hdr(b, junk) + "\n" +
        "unknown chunk, type:abcd, " + Hdr(b, abcd) + "\n" +
        "unknown chunk id: zzzz, " + Hdr(b, zzzz) + "\n" +
        "chunk movi found, chunk " + Hdr(b, movi) + "\n" +
        "chunk idx1 found, chunk" + Hdr(b, idx) + "\n";
    AvFileHandle handle = nullptr;
    const std::string out = StdoutOf([&] {
        ASSERT_EQ(AVFILE_FEOpenFile(f.path.c_str(), 0, nullptr, 0, 0, &handle), 0);
    });
    EXPECT_EQ(out, expected);
    EXPECT_EQ(FileObject(handle)->Index()->frameCount, f.written.VideoCount());
    AVFILE_FECloseFile(handle);
}

// Main AVI header sizes decide what the walk takes from the header list.
TEST(OpenFile, MainHeaderSizes) {
    struct Case {
        uint32_t size;
        int32_t result;
        const char *message;
        bool extendedBlock;  // the information block comes from the header
    } cases[] = {
        {32, 0, "main avi header size error: 32", false},
        {40, 1, nullptr, false},
        {55, 1, nullptr, false},
        {56, 0, nullptr, false},
        {103, 0, nullptr, false},
        {104, 0, nullptr, true},
        {180, 0, nullptr, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        TempDir dir;
        FileRecipe recipe = PlainRecording(4);
        recipe.mainHeaderSize = c.size;
        recipe.infoPlacement = recsim::InfoPlacement::None;
        const SimFile f = WriteSim(dir, "plain.avi", recipe);
        Opened o;
        const std::string out = StdoutOf([&] { o = OpenSim(f.path); });
        ASSERT_EQ(o.result, c.result);
        if (c.message) {
            EXPECT_NE(out.find(c.message), std::string::npos) << out;
        }
        if (o.result != 0) continue;
        const AviIndex *index = FileObject(o.handle)->Index();
        RecFileInfo info{};
        AVFILE_FEGetFileInfo(o.handle, &info);
        if (c.size < 40) {
            // Nothing taken: start 0, stop from the frame count at 30 per second.
            EXPECT_EQ(index->recHeader.startSeconds, 0);
            EXPECT_EQ(index->recHeader.stopSeconds,
                      static_cast<int32_t>(f.written.VideoCount() / 30));
            EXPECT_EQ(int64_t{info.startTimeUs}, 0);
            EXPECT_EQ(info.startTime.wYear, 1970);
            EXPECT_EQ(info.startTime.wDayOfWeek, 4);  // a Thursday
        } else {
            EXPECT_EQ(index->recHeader.startSeconds, recipe.header.startSeconds);
        }
        const RecInfo &ri = index->recInfo;
        if (c.extendedBlock) {
            EXPECT_EQ(0, std::memcmp(ri.deviceId, "ID :", 4));
            EXPECT_EQ(0, std::memcmp(ri.fileKey, recipe.info.fileKey.data(), 8));
            EXPECT_EQ(0, std::memcmp(reinterpret_cast<const uint8_t *>(&ri) + 94,
                                     recipe.furtherHeaderBytes.data(), 16));
        } else {
            const RecInfo zero{};
            EXPECT_EQ(0, std::memcmp(&ri, &zero, sizeof zero));
        }
        AVFILE_FECloseFile(o.handle);
    }
}

// The INFO list fills the information block by its size: 187 bytes or less
// nothing, 188 to 243 the short form, 244 or more the long form.
TEST(OpenFile, InfoListSizes) {
    for (uint32_t listSize : {187u, 188u, 243u, 244u, 300u}) {
        SCOPED_TRACE(listSize);
        TempDir dir;
        FileRecipe recipe = PlainRecording();
        recipe.infoPlacement = recsim::InfoPlacement::None;
        std::vector<uint8_t> body(listSize - 4);
        for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7 + 3);
        recipe.beforeMovie.push_back({"LIST", "INFO", body});
        const SimFile f = WriteSim(dir, "info.avi", recipe);
        OpenHandle h(f.path);
        ASSERT_EQ(h.result(), 0);
        const RecInfo &ri = FileObject(h.get())->Index()->recInfo;
        const uint8_t *got = reinterpret_cast<const uint8_t *>(&ri);
        size_t list = 0;
        for (size_t at = 12; at + 12 < f.bytes.size(); ++at) {
            if (std::memcmp(&f.bytes[at], "LIST", 4) == 0 && std::memcmp(&f.bytes[at + 8], "INFO", 4) == 0) {
                list = at;
                break;
            }
        }
        ASSERT_NE(list, 0u);
        const size_t copied = listSize >= 244 ? 244 : listSize >= 188 ? 187 : 0;
        EXPECT_EQ(0, std::memcmp(got, &f.bytes[list + 20], copied));
        if (copied < 244) {
            // The rest is what the extended header left: its file key and
            // identification, zeros elsewhere.
            if (copied == 0) {
                EXPECT_EQ(0, std::memcmp(ri.fileKey, recipe.info.fileKey.data(), 8));
            }
            for (size_t i = 187; i < 244; ++i) ASSERT_EQ(got[i], 0) << i;
        }
    }
}

TEST(OpenFile, IndexKeepsStreamZeroVideoAndTagsTextEntries) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(0);
    recipe.chunks.clear();
    auto video = [](bool key, int stream = 0) {
        Chunk c;
        c.kind = ChunkKind::Video;
        c.stream = stream;
        c.key = key;
        // Large enough that idx1 does not start in the file's last window.
        c.payload = key ? recsim::SyntheticKeyFrame(3000) : recsim::SyntheticFrame(100);
        return c;
    };
    auto other = [](ChunkKind kind, int stream) {
        Chunk c;
        c.kind = kind;
        c.stream = stream;
        c.payload = kind == ChunkKind::Text ? recsim::TextPayload(recsim::RmcSentence({}))
                                            : recsim::PcmAudio(320);
        return c;
    };
    recipe.chunks = {other(ChunkKind::Text, 2), video(true), other(ChunkKind::Audio, 1), video(false),
                   video(false, 1), other(ChunkKind::Text, 2), video(true), other(ChunkKind::Text, 2)};
    recipe.header.stopSeconds = recipe.header.startSeconds + 10;
    const SimFile f = WriteSim(dir, "index.avi", recipe);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    const AviIndex *index = FileObject(h.get())->Index();
    ASSERT_EQ(index->frameCount, 3u);  // stream 01 video is dropped like audio
    ASSERT_EQ(index->textCount, 3u);
    ASSERT_EQ(index->entryCapacity, f.written.chunks.size());
    const std::vector<const recsim::WrittenChunk *> videos = f.written.Of(ChunkKind::Video, 0);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(index->entries[i].offset, videos[i]->offset);
        EXPECT_EQ(index->entries[i].flags != 0, videos[i]->key);
    }
    const std::vector<const recsim::WrittenChunk *> texts = f.written.Of(ChunkKind::Text);
    const uint32_t tags[] = {0, 2, 3};  // video entries before each text entry
    for (size_t i = 0; i < 3; ++i) {
        const IndexEntry &e = index->entries[index->entryCapacity - 1 - i];
        EXPECT_EQ(e.offset, texts[i]->offset);
        EXPECT_EQ(e.flags, tags[i]);
    }
}

TEST(OpenFile, DamagedIndexAndChunkSizes) {
    struct Case {
        const char *name;
        void (*damage)(FileRecipe &);
        uint32_t frameCount;  // expected; UINT32_MAX: as written
    } cases[] = {
        {"audio only",
         [](FileRecipe &s) {
             for (Chunk &c : s.chunks) c.inIndex = c.kind == ChunkKind::Audio;
         },
         0},
        {"size field beyond the file",
         [](FileRecipe &s) { s.index.sizeField = 0x7ffffff0u; }, UINT32_MAX},
        {"cut index",
         [](FileRecipe &s) { s.index.entriesWritten = 5; }, UINT32_MAX},
        {"no index", [](FileRecipe &s) { s.index.present = false; }, 0},
        {"size that wraps the walk back",
         [](FileRecipe &s) { s.beforeMovie.push_back({"JUNK", "", std::vector<uint8_t>(4)}); },
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        FileRecipe recipe = PlainRecording(4);
        c.damage(recipe);
        SimFile f = WriteSim(dir, "damaged.avi", recipe);
        if (std::string(c.name) == "size that wraps the walk back") {
            // The JUNK size makes offset + 8 + size wrap onto the chunk itself.
            size_t junk = 0;
            for (size_t at = 12; at < f.bytes.size(); ++at) {
                if (std::memcmp(&f.bytes[at], "JUNK", 4) == 0) {
                    junk = at;
                    break;
                }
            }
            ASSERT_NE(junk, 0u);
            const uint32_t wrap = 0xfffffff8u;
            std::memcpy(&f.bytes[junk + 4], &wrap, 4);
            Rewrite(f);
        }
        Opened o;
        const std::string out = StdoutOf([&] { o = OpenSim(f.path); });
        ASSERT_EQ(o.result, 0) << out;
        const AviIndex *index = FileObject(o.handle)->Index();
        uint32_t expected = c.frameCount;
        if (expected == UINT32_MAX) {
            expected = 0;
            const size_t listed = recipe.index.entriesWritten.value_or(f.written.chunks.size());
            for (size_t i = 0; i < listed && i < f.written.chunks.size(); ++i) {
                if (f.written.chunks[i].kind == ChunkKind::Video) ++expected;
            }
        }
        EXPECT_EQ(index->frameCount, expected);
        EXPECT_LE(index->entryCapacity, f.bytes.size() / 16);
        AVFILE_FECloseFile(o.handle);
    }
}

// A list that starts in the file's last window does not hide the index
// behind it.
TEST(OpenFile, IndexBehindAShortListAtTheEnd) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(1);
    recipe.infoPlacement = recsim::InfoPlacement::AfterMovie;
    const SimFile f = WriteSim(dir, "late.avi", recipe);
    ASSERT_LT(f.bytes.size() - f.written.infoListOffset, 2048u);
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    EXPECT_EQ(FileObject(h.get())->Index()->frameCount, f.written.VideoCount());
}

TEST(OpenFile, FileInformation) {
    struct Case {
        const char *name;
        uint8_t videoStandard;
        int8_t alarm;
        int32_t seconds;
        AvSystemTime start;  // expected
        uint8_t frameRate;
    } cases[] = {
        {"3_20150109-104929_1030h.avi", 0, 0, 90, {2015, 1, 0, 9, 10, 49, 29, 0}, 30},
        {"3_20150109-104929_1025h.avi", 0, 1, 90, {2015, 1, 0, 9, 10, 49, 29, 0}, 25},
        {"3_20150109-104929_1000h.avi", 1, 0, 60, {2015, 1, 0, 9, 10, 49, 29, 0}, 25},
        {"3_20150109-104929_1006h.avi", 0, 0, 60, {2015, 1, 0, 9, 10, 49, 29, 0}, 30},
        {"3_20150109-104929_1007h.avi", 1, 0, 60, {2015, 1, 0, 9, 10, 49, 29, 0}, 7},
        // No date in the name: the header's start with its day of week.
        {"record.avi", 1, 0, 60, {2015, 1, 5, 9, 10, 49, 29, 0}, 25},
        {"record.avi", 0, 0, 60, {2015, 1, 5, 9, 10, 49, 29, 0}, 30},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        FileRecipe recipe = PlainRecording(4);
        recipe.header.videoStandard = c.videoStandard;
        recipe.header.alarmFile = c.alarm;
        recipe.header.stopSeconds = recipe.header.startSeconds + c.seconds;
        const SimFile f = WriteSim(dir, c.name, recipe);
        const Opened o = OpenSim(f.path, 5);
        ASSERT_EQ(o.result, 0);
        RecFileInfo info;
        std::memset(&info, 0xee, sizeof info);
        EXPECT_EQ(AVFILE_FEGetFileInfo(o.handle, &info), 0);
        EXPECT_EQ(0, std::memcmp(&info.startTime, &c.start, sizeof c.start));
        EXPECT_EQ(info.durationMs, static_cast<uint32_t>(c.seconds) * 1000);
        EXPECT_EQ(info.channel, 5);
        EXPECT_EQ(info.alarm, c.alarm);
        EXPECT_EQ(int64_t{info.startTimeUs}, int64_t{recipe.header.startSeconds} * 1000000);
        EXPECT_EQ(int64_t{info.stopTimeUs}, int64_t{recipe.header.stopSeconds} * 1000000);
        EXPECT_EQ(info.frameRate, c.frameRate);
        EXPECT_EQ(info.reserved, 0);
        EXPECT_EQ(info.padding[0] | info.padding[1], 0);
        EXPECT_EQ(FileObject(o.handle)->CurrentTimeUs(), int64_t{info.startTimeUs});
        AVFILE_FECloseFile(o.handle);
    }
    EXPECT_EQ(AVFILE_FEGetFileInfo(nullptr, nullptr), 1);
}

TEST(OpenFile, StartNotBeforeStopFailsTheOpen) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(4);
    recipe.header.stopSeconds = recipe.header.startSeconds;
    const SimFile f = WriteSim(dir, "equal.avi", recipe);
    EXPECT_EQ(OpenSim(f.path).result, 1);
}

TEST(OpenFile, CompositeByteOfTheLastOpen) {
    TempDir dir;
    for (int8_t composite : {int8_t{1}, int8_t{0}, int8_t{-1}, int8_t{1}}) {
        FileRecipe recipe = PlainRecording(2);
        recipe.header.composite = composite;
        const SimFile f = WriteSim(dir, "c.avi", recipe);
        OpenHandle h(f.path);
        ASSERT_EQ(h.result(), 0);
        EXPECT_EQ(GetRecSearch()->m_lastComposite, composite);
    }
}

TEST(OpenFile, PasswordCheckOfEncryptedFiles) {
    TempDir dir;
    FileRecipe recipe = PlainRecording(2);
    const PasswordEntry right = Password(recipe.info.fileKey);
    const PasswordEntry wrong = Password({'w', 'r', 'o', 'n', 'g', 'k', 'e', 'y'});
    PasswordEntry rightKeyOtherTail = right;
    std::memset(rightKeyOtherTail.reserved, 0x7f, sizeof rightKeyOtherTail.reserved);
    struct Case {
        uint8_t encryption;
        int32_t check;
        std::vector<PasswordEntry> passwords;
        bool nullList;
        int32_t result;
    } cases[] = {
        {0x15, 0, {}, true, 0},
        {0x15, 1, {}, true, 2},
        {0x15, 1, {wrong}, true, 2},  // count given, list null
        {0x15, 1, {wrong}, false, 2},
        {0x15, 1, {right}, false, 0},
        {0x15, 1, {wrong, wrong, rightKeyOtherTail}, false, 0},
        {0x25, 1, {right}, false, 0},
        {0x05, 1, {wrong}, false, 0},  // plain file: passwords are ignored
        {0x05, 1, {}, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.encryption} << " check " << c.check
                                        << " entries " << c.passwords.size());
        recipe.header.encryption = c.encryption;
        const SimFile f = WriteSim(dir, "enc.avi", recipe);
        AvFileHandle handle = reinterpret_cast<AvFileHandle>(0x5678);
        const int32_t result = AVFILE_FEOpenFile(
            f.path.c_str(), 0, c.nullList ? nullptr : c.passwords.data(),
            static_cast<int32_t>(c.passwords.size()), c.check, &handle);
        EXPECT_EQ(result, c.result);
        if (result == 0) {
            EXPECT_EQ(FileObject(handle)->EncryptMode(), c.encryption >> 4);
            // The file key is deciphered with the master key at open.
            EXPECT_EQ(0, std::memcmp(FileObject(handle)->Index()->recInfo.fileKey,
                                     recipe.info.fileKey.data(), 8));
            AVFILE_FECloseFile(handle);
        } else {
            EXPECT_EQ(handle, reinterpret_cast<AvFileHandle>(0x5678));
        }
    }
}

TEST(OpenFile, RecorderBlocksAreNeverFilled) {
    TempDir dir;
    const SimFile f = WriteSim(dir, "blocks.avi", PlainRecording(2));
    OpenHandle h(f.path);
    ASSERT_EQ(h.result(), 0);
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], names[AVFILE_IO_NAME_SIZE];
    std::memset(terminal, 0xcc, sizeof terminal);
    std::memset(names, 0xcc, sizeof names);
    EXPECT_EQ(AVFILE_FEGetTerminalInfo(h.get(), terminal), 1);
    EXPECT_EQ(AVFILE_FEGetIOName(h.get(), names), 1);
    for (unsigned char b : terminal) ASSERT_EQ(b, 0);
    for (unsigned char b : names) ASSERT_EQ(b, 0);
    EXPECT_EQ(AVFILE_FEGetTerminalInfo(nullptr, terminal), 1);
    EXPECT_EQ(AVFILE_FEGetIOName(nullptr, names), 1);
}

}  // namespace
