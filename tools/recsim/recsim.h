// The recorder simulator: writes record files byte for byte as the vehicle
// recorder does, from a readable description, and reports every chunk it
// wrote so that a test can compare what a reader delivers against it.
//
// A record file is a RIFF/AVI file: the header list with the recorder's
// extended main AVI header (its recording header, the enciphered file key and
// 16 further bytes) and the stream lists; the INFO list with the recording
// information block; the movie list with video ("00dc"/"00db"), audio
// ("01wb".."04wb") and text ("0Ntx") chunks; and idx1 with absolute
// chunk-header offsets. An encrypted file carries its file key enciphered
// under the master key and the 256-byte region of each key frame that begins
// with a sequence parameter set enciphered under the file key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace recsim {

// ---- Describing a file ----

enum class ChunkKind { Video, Audio, Text, Raw };

// One chunk of the movie list.
struct Chunk {
    ChunkKind kind = ChunkKind::Video;
    // Stream digit: 0 for video, c + 1 for audio channel c, the text
    // stream's digit for text.
    int stream = 0;
    // Video: a key frame (idx1 flag 0x10; enciphered in an encrypted file
    // when it begins with a sequence parameter set).
    bool key = false;
    // Identifier as written; empty: "0Ndc" for video, "0Nwb" for audio,
    // "0Ntx" for text. Raw chunks need one.
    std::string id;
    std::vector<uint8_t> payload;  // plain payload
    bool inIndex = true;           // listed in idx1
    // idx1 flags; default 0x10 for key frames, audio and text, 0 otherwise.
    std::optional<uint32_t> indexFlags;
    // Size field as written when it must differ from the payload's length.
    std::optional<uint32_t> sizeField;
};

// The recorder's 16-byte recording header.
struct RecHeaderRecipe {
    uint8_t incomplete = 0;
    int8_t videoChannel = 0;
    uint8_t audioPresence = 1;
    int8_t alarmFile = 0;
    int8_t composite = 0;
    int8_t headerFrameRate = 25;
    uint8_t videoStandard = 1;  // 1 PAL, 0 NTSC
    uint8_t encryption = 0;     // upper four bits: encryption mode
    int32_t startSeconds = 1420800569;  // 2015-01-09 10:49:29
    int32_t stopSeconds = 1420800569 + 60;
};

// The recording information block (244 bytes in its long form).
struct RecInfoRecipe {
    std::array<uint8_t, 8> fileKey = {'F', 'i', 'l', 'e', 'K', 'e', 'y', '1'};  // plain
    std::string deviceId = "DEV-00001";
    std::string appVersion = "APP V2.1.3";
    std::string mcuVersion = "MCU V1.0.7";
    std::string camVersion = "CAM V3.2.0";
};

enum class InfoPlacement {
    BeforeMovie,  // header list, INFO list, movie list, idx1: the recorder's order
    AfterMovie,   // header list, movie list, INFO list, idx1
    AfterIndex,   // header list, movie list, idx1, INFO list
    None,
};

enum class InfoForm { Long, Short };  // 244- or 187-byte block

// A top-level chunk written as given: a list when listType is set.
struct TopChunk {
    std::string id = "LIST";
    std::string listType;  // 4 characters for a list
    std::vector<uint8_t> body;
};

struct IndexEntry {
    std::string id;
    uint32_t flags = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

struct IndexRecipe {
    bool present = true;
    std::optional<uint32_t> sizeField;  // idx1 size as written (default: the entries')
    // Only this many entries are written and the file ends there, while the
    // size field still counts all of them.
    std::optional<size_t> entriesWritten;
    std::vector<IndexEntry> extra;  // appended behind the chunks' entries
};

// A recorder writes its headers when recording begins and fixes the sizes,
// the frame counts, the stop time and idx1 when it closes the file. These say
// how far it got when power failed; the defaults describe a closed file.
enum class OpeningSizes {
    Final,         // the finished file's sizes and frame counts
    Zero,          // RIFF and movie-list sizes and the frame counts still 0
    Preallocated,  // the sizes of the pre-allocated file; frame counts 0
};
enum class OpeningStopTime {
    Final,  // the stop time of the finished recording
    Zero,   // still 0, and the header's incomplete byte still 1
    Start,  // still equal to the start, and the incomplete byte still 1
};

struct PowerLossRecipe {
    // RIFF size, movie-list size, and the frame counts of the main AVI
    // header and the video stream header.
    OpeningSizes sizes = OpeningSizes::Final;
    OpeningStopTime stopTime = OpeningStopTime::Final;
    // The file was laid out at this many bytes before recording began: what
    // was not written (behind the cut, or behind the end of the data) reads
    // as zeros. 0: not pre-allocated.
    size_t preallocatedSize = 0;
};

// A whole record file. Mind that a reader refuses files shorter than 2048
// bytes: a description of a few tiny chunks gives such a file.
struct FileRecipe {
    std::string riffId = "RIFF";
    std::string formType = "AVI ";
    RecHeaderRecipe header;
    RecInfoRecipe info;
    std::array<uint8_t, 16> furtherHeaderBytes = {'R', 'E', 'C', '-', 'E', 'X', 'T', '-',
                                                  '0', '1', '2', '3', '4', '5', '6', '7'};
    // Size of the main AVI header; its body is the 180-byte extended header
    // cut to this size, or extended with zeros.
    uint32_t mainHeaderSize = 180;
    uint32_t framesPerSecond = 25;
    uint32_t width = 704;
    uint32_t height = 576;
    // The first stream header's data bytes 4..15 and its format's bytes 0..11,
    // where the recorder keeps its audio description. Unset: the values a
    // standard writer puts there (handler "H264"; format size, width, height).
    std::optional<std::array<uint32_t, 3>> streamWords;
    std::optional<std::array<uint32_t, 3>> formatWords;
    bool writeStreamHeader = true;  // false: the first stream list has no "strh"/"strf"
    InfoPlacement infoPlacement = InfoPlacement::BeforeMovie;
    InfoForm infoForm = InfoForm::Long;
    std::optional<uint32_t> infoListSize;  // size field of the INFO list as written
    std::vector<TopChunk> beforeMovie;     // further top-level chunks before the movie list
    bool padOddChunks = true;              // a pad byte after each odd-sized movie chunk
    std::vector<Chunk> chunks;
    IndexRecipe index;
    // Master key the file key is enciphered with; unset: the library's.
    std::optional<std::array<uint8_t, 8>> masterKey;
    bool watermark = false;              // the watermark trailer at the end of the file
    // The file is cut to this many bytes: where power failed, tearing the
    // chunk that was being written.
    std::optional<size_t> truncateAt;
    PowerLossRecipe powerLoss;
};

// The power-loss shape of a recorder that writes its headers when recording
// begins and fixes sizes, stop time and idx1 when it closes the file, cut
// after `cutAt` bytes: no idx1, RIFF and movie-list sizes and frame counts 0,
// stop time 0 with the incomplete byte set, the last chunk torn; no
// pre-allocated tail.
FileRecipe PowerLossFile(FileRecipe recipe, size_t cutAt);

// ---- What was written ----

struct WrittenChunk {
    std::string id;
    ChunkKind kind = ChunkKind::Video;
    int stream = 0;
    uint32_t offset = 0;  // absolute offset of the chunk's header
    uint32_t length = 0;  // payload bytes
    bool key = false;
    bool enciphered = false;            // a key frame whose region was enciphered
    std::vector<uint8_t> payload;       // plain, as described
    std::vector<uint8_t> stored;        // as in the file
};

struct WrittenFile {
    std::vector<WrittenChunk> chunks;  // movie-list chunks in file order
    uint32_t headerListOffset = 0;
    uint32_t infoListOffset = 0;      // 0 when there is none
    uint32_t movieListOffset = 0;
    uint32_t movieListSize = 0;       // size field of the movie list
    uint32_t indexOffset = 0;         // 0 when there is none
    uint64_t fileSize = 0;
    uint64_t writtenSize = 0;  // bytes in front of a pre-allocated zero tail
    std::array<uint8_t, 8> storedFileKey{};  // the file key as stored

    std::vector<const WrittenChunk *> Of(ChunkKind kind, int stream = -1) const;
    size_t VideoCount() const { return Of(ChunkKind::Video).size(); }
};

// Lays out the whole file in memory. Payload copies are kept in the list of
// what was written only when one is asked for.
std::vector<uint8_t> BuildFile(const FileRecipe &recipe, WrittenFile *written = nullptr);
// Writes it to `path` (folders must exist); false when it cannot be written.
bool WriteFile(const std::string &path, const FileRecipe &recipe, WrittenFile *written = nullptr);

// ---- Payloads ----

// Synthetic H.264 access units in Annex B form: a key frame is sequence and
// picture parameter sets and an IDR slice; another frame one non-IDR slice.
// `delimiter` puts a 6-byte access unit delimiter in front. The bytes behind
// the NAL headers never form a start code.
std::vector<uint8_t> SyntheticKeyFrame(size_t size, bool delimiter = false, uint32_t seed = 1);
std::vector<uint8_t> SyntheticFrame(size_t size, bool delimiter = false, uint32_t seed = 1);

struct AccessUnit {
    std::vector<uint8_t> bytes;
    bool key = false;  // carries a sequence parameter set
};
// Splits an Annex B H.264 stream into access units.
std::vector<AccessUnit> SplitAccessUnits(const std::vector<uint8_t> &stream);

// 16-bit mono PCM, a tone of `hz`, `bytes` long, starting at sample `first`.
std::vector<uint8_t> PcmAudio(size_t bytes, uint32_t sampleRate = 8000, double hz = 440.0,
                              uint64_t first = 0);

// A point of a simple route: straight ahead at constant speed and course.
struct Fix {
    double latitude = 31.846333;    // decimal degrees, north positive
    double longitude = 121.508333;  // east positive
    double speedKnots = 10.0;
    double course = 90.5;
    int64_t utcSeconds = 1420800569;
    bool valid = true;
};
struct Route {
    Fix start;  // its utcSeconds on the recorder's clock, as the recording's start is
    // The recorder's clock against the receiver's UTC: this far ahead at
    // the route's start, gaining `clockGainPerHour` seconds every hour. The
    // sentences carry the receiver's UTC; both 0: the clocks agree.
    double clockAheadSeconds = 0;
    double clockGainPerHour = 0;
    // The fix `seconds` after the start, its utcSeconds the receiver's UTC
    // (whole seconds, as the receiver reports them).
    Fix At(double seconds) const;
};

// "$GPRMC,hhmmss.00,A,ddmm.mmmm,N,dddmm.mmmm,E,k.k,c.c,ddmmyy,,,A*hh".
std::string RmcSentence(const Fix &fix, const char *talker = "GP");
// A text chunk's payload: the sentence and its terminating NUL; with
// samples, padded to 266 bytes and followed by ten 16-byte samples whose
// first three 16-bit values are given (30 values).
std::vector<uint8_t> TextPayload(const std::string &sentence,
                                 const std::vector<uint16_t> *samples = nullptr);

// ---- Whole recordings ----

struct RecordingPlan {
    int seconds = 4;
    int framesPerSecond = 25;
    int keyFrameInterval = 25;          // frames from one key frame to the next
    size_t keyFrameSize = 3000;
    size_t frameSize = 700;
    bool delimiters = false;            // access unit delimiters in front of the frames
    std::vector<int> audioChannels = {0};
    size_t audioChunkBytes = 1280;      // one chunk per 80 ms at 8000 samples/s
    bool gps = true;                    // one text chunk per second
    bool gpsSamples = false;            // with ten samples each
    int textStream = -1;                // stream digit; -1: one above the audio digits
    Route route;
    // Video frames taken from these access units (cycled) instead of
    // synthetic ones.
    const std::vector<AccessUnit> *video = nullptr;
};

// The recorder's interleaving: per video frame its chunk, audio chunks as
// their time comes, a text chunk at the start of every second.
std::vector<Chunk> PlanChunks(const RecordingPlan &plan);
// A file of `plan` whose header's start and stop span the plan's seconds.
FileRecipe PlannedFile(const RecordingPlan &plan, int32_t startSeconds = 1420800569);

// The recorder's audio description in the first stream's words (16-bit PCM
// at `sampleRate`, mono): stream word 1 is the PCM marker.
void DescribePcmAudio(FileRecipe &recipe, uint32_t sampleRate = 8000, uint32_t frameBytes = 1280);

// ---- Ciphers (the recorder's direction) ----

// Enciphers whole 8-byte blocks in place under `key` with DES (ECB).
void EncipherBlocks(const uint8_t *key, uint8_t *data, size_t blocks);
// A key frame as an encrypted recorder stores it: when it begins with a
// sequence parameter set (bare or behind a delimiter), the 32 blocks from
// byte 24 are enciphered; a shorter payload keeps only its own bytes of them.
std::vector<uint8_t> EncipherKeyFrame(const std::array<uint8_t, 8> &fileKey,
                                      const std::vector<uint8_t> &payload, bool *enciphered);

// ---- Watermark trailer ----

// Appends the 4-byte trailer that marks a data block as the recorder's:
// W = T + (bytes before it), T's three low bytes "jnq", its high byte `high`.
void AppendWatermark(std::vector<uint8_t> &block, uint8_t high = 0);

// ---- Recording tree ----

// Calendar date and time of seconds since 1970-01-01 00:00:00 (no time zone).
struct CivilTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
CivilTime CivilFromSeconds(int64_t seconds);

enum class NameLayout {
    Compact,    // "3_20150109-104929_1030h.avi"
    Separated,  // "3_2015-01-09_10-49-29_x1.avi"
    Prefixed,   // "ch3_20150109-104929_1030h.avi"
};

struct RecordName {
    int channel = 0;  // 0-based; the name carries channel + 1
    int year = 2015, month = 1, day = 9, hour = 10, minute = 49, second = 29;
    bool alarm = false;
    int frameRate = 30;  // compact layout only: two digits
    NameLayout layout = NameLayout::Compact;
    std::string prefix;  // prefixed layout; empty: "ch" and the channel digit
    std::string extension = ".avi";
};
std::string RecordFileName(const RecordName &name);
// A compact-layout name of a recording that starts at `seconds` since 1970.
RecordName RecordNameAt(int64_t seconds, int channel = 0, bool alarm = false, int frameRate = 25);

enum class DayLayout {
    Dashed,       // "2015-01-09"
    Underscored,  // "2015_01_09"
    Suffixed,     // "20150109_01"
    Digits,       // "2015010900"
};
std::string DayFolderName(int year, int month, int day, DayLayout layout = DayLayout::Dashed);

// Writes recording trees below a root folder (a path ending in a separator).
class TreeWriter {
public:
    explicit TreeWriter(std::string root);
    const std::string &root() const { return root_; }
    // Creates root/day/ with its "video" and "alarm" sub-folders; returns
    // the day folder's path, ending in a separator.
    std::string AddDay(const std::string &dayName);
    // Writes a record file into root/day/sub/ ("video" or "alarm"; empty:
    // the day folder itself); returns its path, empty on failure.
    std::string AddFile(const std::string &dayName, const std::string &sub,
                        const std::string &fileName, const FileRecipe &recipe,
                        WrittenFile *written = nullptr);

private:
    std::string root_;
};

}  // namespace recsim
