// Record files written by the recorder simulator for the record file tests,
// and the small steps every test repeats on them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "common/temp_dir.h"
#include "recfile/file_avi_vsk.h"
#include "recsim/recsim.h"

struct SimFile {
    std::string path;
    recsim::WrittenFile written;
    std::vector<uint8_t> bytes;
};

// Writes the file under `name` in the folder; fails the test when it cannot.
SimFile WriteSim(const TempDir &dir, const std::string &name, const recsim::FileRecipe &recipe);

// A plain recording of `seconds` with the recorder's interleaving.
recsim::FileRecipe PlainRecording(int seconds = 4);

// Opens through the export; the handle (null on failure) and the result.
struct Opened {
    int32_t result = -1;
    AvFileHandle handle = nullptr;
};
Opened OpenSim(const std::string &path, int32_t channel = 0,
               const std::vector<PasswordEntry> *passwords = nullptr, int32_t checkPassword = 0);

// Owns an open handle and closes it at the end of the test.
class OpenHandle {
public:
    explicit OpenHandle(const std::string &path, int32_t channel = 0);
    ~OpenHandle();
    OpenHandle(const OpenHandle &) = delete;
    OpenHandle &operator=(const OpenHandle &) = delete;
    AvFileHandle get() const { return handle_; }
    int32_t result() const { return result_; }

private:
    AvFileHandle handle_ = nullptr;
    int32_t result_ = -1;
};

// What standard output received while `run` ran.
template <typename F>
std::string StdoutOf(F &&run);

PasswordEntry Password(const std::array<uint8_t, 8> &key);

// A frame as the host received it, copied out.
struct Delivered {
    int32_t type = -1;
    int64_t timeUs = 0;
    std::vector<uint8_t> payload;
};
Delivered Copy(const AvFrameInfo &frame);

// Reads frames until the reader reports none; the request type and word
// are passed on every call.
std::vector<Delivered> ReadAll(AvFileHandle handle, int32_t requestType = 0,
                               int32_t requestWord = 0, size_t limit = 100000);

#include <gtest/gtest.h>
#include <cstdio>

template <typename F>
std::string StdoutOf(F &&run) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    run();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// What playback from the file's first key frame must deliver, chunk by
// chunk, as the recorder wrote it: video typed by its index flags and timed
// by its index position, audio of `channel` only (its time left at 0, as
// ReadAll's fresh records hold), text as side-data records with the time of
// the last video frame. Every chunk is expected to be listed in idx1.
// Playback may also start at video entry `fromVideo` (-1: the first key
// frame), with `seekTimeUs` the time side data carries before the first
// video frame (-1: the start time).
std::vector<Delivered> ExpectedPlayback(const SimFile &file, const recsim::FileRecipe &recipe,
                                        int32_t channel, int64_t fromVideo = -1,
                                        int64_t seekTimeUs = -1);

// Video payload as the host receives it: an access unit delimiter in front
// is dropped.
std::vector<uint8_t> WithoutDelimiter(const std::vector<uint8_t> &payload);

// The record file object behind a handle, for looking at its index.
const CFileAviVsk *FileObject(AvFileHandle handle);

// Writes the file's bytes again, after a test changed them.
void Rewrite(const SimFile &file);

// The frames match one by one in type, time and payload.
void ExpectSame(const std::vector<Delivered> &got, const std::vector<Delivered> &want);

// start + (stop - start) * v / count in microseconds.
int64_t FrameTime(const recsim::FileRecipe &recipe, uint64_t v, uint64_t count);
