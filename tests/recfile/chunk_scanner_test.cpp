// The chunk scanner against a literal byte-at-a-time transcription of its
// definition, on random byte streams and on the layouts that matter.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/platform.h"
#include "recfile/chunk_reader.h"

namespace {

// The scanner exactly as defined, one byte per step. A completed payload is
// reported right after its last byte, so that a chunk ending at the end of
// the data is still delivered.
struct LiteralScanner {
    int32_t state = 0, resumeState = 0, pos = 0, streamNo = 0, bufLen = 0;
    uint32_t bufSize = 2048;
    unsigned char buf[2048] = {};
    plat::ReadFile *file = nullptr;
    int64_t readPos = 0;
    uint32_t moviSize = 0;
    uint32_t length = 0, copied = 0;

    void Advance(int32_t next) {
        state = next;
        pos += 1;
        if (pos >= bufLen) {
            resumeState = next;
            state = 0;
        }
    }

    int32_t Read(unsigned char *dest, uint32_t capacity, int32_t *kind) {
        for (;;) {
            if (state == 0) {
                int64_t n = int64_t{moviSize} + 8 - readPos;
                if (n < 0 || n > int64_t{bufSize} - 1) n = bufSize;
                if (n == 0) return 0;
                const size_t got = plat::Read(file, buf, static_cast<size_t>(n));
                bufLen = static_cast<int32_t>(got);
                if (got == 0) return -2;
                readPos += static_cast<int64_t>(got);
                pos = 0;
                state = resumeState != 0 ? resumeState : 1;
                continue;
            }
            const unsigned char b = buf[pos];
            switch (state) {
            case 1: Advance(b == '0' ? 2 : 1); break;
            case 2: streamNo = b - '0'; Advance(3); break;
            case 3:
                if (b == 'd') Advance(4);
                else if (b == 't') Advance(10);
                else if (b == 'w') Advance(11);
                else if (b == '0' && streamNo == 0) Advance(3);
                else Advance(1);
                break;
            case 4:
                if (b == 'c' || b == 'b') { *kind = 1; length = 0; Advance(5); } else Advance(1);
                break;
            case 10:
                if (b == 'x') { *kind = 3; length = 0; Advance(5); } else Advance(1);
                break;
            case 11:
                if (b == 'b') { *kind = 2; length = 0; Advance(5); } else Advance(1);
                break;
            case 5: length += b; Advance(6); break;
            case 6: length += b * 256u; Advance(7); break;
            case 7: length += b * 65536u; Advance(8); break;
            case 8:
                length = (length & 0xffffffu) + b * 16777216u;
                if (length > capacity) return -1;
                copied = 0;
                if (length == 0) { Advance(1); return 0; }
                Advance(9);
                break;
            case 9:
                dest[copied++] = b;
                if (copied == length) { Advance(1); return static_cast<int32_t>(length); }
                Advance(9);
                break;
            default: return -100;
            }
        }
    }
};

int32_t LogicalState(int32_t state, int32_t resumeState) {
    return state != 0 ? state : (resumeState != 0 ? resumeState : 1);
}

// A byte stream of chunk identifiers, lengths, payloads, "0" runs and noise.
std::string RandomStream(std::mt19937 &rng) {
    std::string s;
    const size_t target = std::uniform_int_distribution<size_t>(1, 40000)(rng);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    while (s.size() < target) {
        switch (pick(8)) {
        case 0: {  // noise
            const int n = pick(40);
            for (int i = 0; i < n; ++i) s += static_cast<char>(pick(256));
            break;
        }
        case 1: s += std::string(static_cast<size_t>(pick(6)), '0'); break;
        default: {  // a chunk
            static const char *kTypes[] = {"dc", "db", "wb", "tx", "dx", "wc", "t", "d"};
            s += '0';
            s += static_cast<char>(pick(3) == 0 ? pick(256) : '0' + pick(5));
            s += kTypes[pick(8)];
            uint32_t len;
            switch (pick(6)) {
            case 0: len = static_cast<uint32_t>(pick(3)); break;
            case 1: len = static_cast<uint32_t>(2000 + pick(7000)); break;
            case 2: len = static_cast<uint32_t>(rng()); break;
            default: len = static_cast<uint32_t>(pick(300)); break;
            }
            for (int i = 0; i < 4; ++i) s += static_cast<char>((len >> (8 * i)) & 0xff);
            const uint32_t body = len < 9000 ? len : static_cast<uint32_t>(pick(100));
            for (uint32_t i = 0; i < body; ++i) s += static_cast<char>(pick(256));
            if (pick(2)) s += '\0';
            break;
        }
        }
    }
    return s;
}

TEST(ChunkScanner, MatchesByteAtATimeDefinitionOnRandomStreams) {
    TempDir dir;
    std::mt19937 rng(20150109);
    std::vector<unsigned char> fastOut(600000), literalOut(600000);
    for (int round = 0; round < 300; ++round) {
        const std::string bytes = RandomStream(rng);
        const std::string path = dir.WriteFile("stream" + std::to_string(round) + ".bin", bytes);
        AviChunkReader *fast = CreateChunkReader();
        ASSERT_NE(fast, nullptr);
        fast->file = plat::OpenRead(path.c_str());
        LiteralScanner literal;
        literal.file = plat::OpenRead(path.c_str());
        ASSERT_NE(literal.file, nullptr);
        // Half the streams are bounded somewhere inside, as a movie list is.
        const uint32_t bound = rng() % 2 ? 0 : static_cast<uint32_t>(rng() % (bytes.size() + 1));
        fast->moviSize = literal.moviSize = bound;
        if (bound == 0) fast->moviSize = literal.moviSize = 0xfffffff0u;  // beyond the stream
        for (int call = 0; call < 100000; ++call) {
            const uint32_t capacity = rng() % 4 ? 512000 : static_cast<uint32_t>(rng() % 3000);
            int32_t fastKind = -7, literalKind = -7;
            const int32_t a = ReadChunk(fast, fastOut.data(), capacity, &fastKind);
            const int32_t b = literal.Read(literalOut.data(), capacity, &literalKind);
            SCOPED_TRACE("round " + std::to_string(round) + " call " + std::to_string(call));
            ASSERT_EQ(a, b);
            ASSERT_EQ(fastKind, literalKind);
            ASSERT_EQ(fast->streamNo, literal.streamNo);
            ASSERT_EQ(LogicalState(fast->state, fast->resumeState),
                      LogicalState(literal.state, literal.resumeState));
            if (a > 0) {
                ASSERT_EQ(0, std::memcmp(fastOut.data(), literalOut.data(), static_cast<size_t>(a)));
            }
            // The end of the data and an oversized chunk are final: every
            // further read gives the same answer.
            const bool atBound =
                a == 0 && literal.state == 0 && int64_t{literal.moviSize} + 8 == literal.readPos;
            if (a < 0 || atBound) {
                ASSERT_EQ(ReadChunk(fast, fastOut.data(), capacity, &fastKind), a);
                ASSERT_EQ(literal.Read(literalOut.data(), capacity, &literalKind), a);
                break;
            }
        }
        plat::CloseRead(literal.file);
        FreeChunkReader(fast);
    }
}

// Reads every chunk of a byte stream placed in a file from its start.
struct Found {
    int32_t result;
    int32_t kind;
    int32_t stream;
    std::string payload;
};

std::vector<Found> ScanAll(const std::string &bytes, uint32_t capacity = 512000) {
    TempDir dir;
    const std::string path = dir.WriteFile("s.bin", bytes);
    AviChunkReader *r = CreateChunkReader();
    r->file = plat::OpenRead(path.c_str());
    r->moviSize = 0xfffffff0u;
    std::vector<unsigned char> out(512000);
    std::vector<Found> found;
    for (;;) {
        int32_t kind = 0;
        const int32_t n = ReadChunk(r, out.data(), capacity, &kind);
        found.push_back({n, kind, r->streamNo,
                         n > 0 ? std::string(reinterpret_cast<char *>(out.data()), static_cast<size_t>(n))
                               : std::string()});
        if (n < 0) break;
    }
    FreeChunkReader(r);
    return found;
}

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

TEST(ChunkScanner, FindsChunksAcrossPadBytesZeroRunsAndWindows) {
    // Video of 5 bytes, a pad byte, audio of 2 bytes of stream 1.
    const std::string padded = "00dc" + Le32(5) + "ABCDE" + std::string(1, '\0') + "01wb" + Le32(2) + "xy";
    auto found = ScanAll(padded);
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found[0].result, 5);
    EXPECT_EQ(found[0].kind, CHUNK_VIDEO);
    EXPECT_EQ(found[0].payload, "ABCDE");
    EXPECT_EQ(found[1].result, 2);
    EXPECT_EQ(found[1].kind, CHUNK_AUDIO);
    EXPECT_EQ(found[1].stream, 1);
    EXPECT_EQ(found[1].payload, "xy");
    EXPECT_EQ(found.back().result, -2);

    // A run of zeros before "dc" of stream 0 is one video chunk.
    found = ScanAll("0000dc" + Le32(3) + "abc");
    EXPECT_EQ(found[0].result, 3);
    EXPECT_EQ(found[0].kind, CHUNK_VIDEO);
    EXPECT_EQ(found[0].stream, 0);

    // Identifiers and lengths split at every position across the 2048-byte
    // window boundary read as if they were contiguous.
    for (size_t split = 2040; split <= 2049; ++split) {
        const std::string bytes = std::string(split, 'z') + "02tx" + Le32(4) + "text";
        found = ScanAll(bytes);
        SCOPED_TRACE(split);
        EXPECT_EQ(found[0].result, 4);
        EXPECT_EQ(found[0].kind, CHUNK_TEXT);
        EXPECT_EQ(found[0].stream, 2);
        EXPECT_EQ(found[0].payload, "text");
    }

    // An empty chunk answers 0 and the scan goes on behind it.
    found = ScanAll("03wb" + Le32(0) + "00db" + Le32(1) + "q");
    EXPECT_EQ(found[0].result, 0);
    EXPECT_EQ(found[1].result, 1);
    EXPECT_EQ(found[1].kind, CHUNK_VIDEO);
}

TEST(ChunkScanner, OversizedChunkIsRefusedUntilRepositioned) {
    TempDir dir;
    const std::string big(512001, 'p');
    const std::string bytes = "00dc" + Le32(512001) + big + "00dc" + Le32(1) + "k";
    const std::string path = dir.WriteFile("big.bin", bytes);
    AviChunkReader *r = CreateChunkReader();
    r->file = plat::OpenRead(path.c_str());
    r->moviSize = 0xfffffff0u;
    std::vector<unsigned char> out(512000);
    int32_t kind = 0;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadChunk(r, out.data(), 512000, &kind), -1);
    EXPECT_EQ(RepositionReader(r, static_cast<uint32_t>(8 + big.size())), 0);
    r->moviSize = 0xfffffff0u;
    EXPECT_EQ(ReadChunk(r, out.data(), 512000, &kind), 1);
    EXPECT_EQ(out[0], 'k');
    FreeChunkReader(r);
    EXPECT_EQ(ReadChunk(nullptr, out.data(), 512000, &kind), -1);
    EXPECT_EQ(RepositionReader(nullptr, 0), -1);
}

}  // namespace
