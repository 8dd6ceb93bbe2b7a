// Sequential playback through the exports over a whole recording, and seeks
// with their first frame at random times.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "avfile/avfile.h"
#include "bench_files.h"
#include "bench_registry.h"

namespace {

void Playback(benchmark::State &state, const std::string &path) {
    const RecordingLayout layout = ReadLayout(path);
    int64_t payload = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        AvFileHandle handle = nullptr;
        if (AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle) != 0) {
            state.SkipWithError("the recording does not open");
            return;
        }
        AvFrameInfo frame{};
        const AvFrameInfo request{};
        payload = 0;
        frames = 0;
        while (AVFILE_FEReadFrame(handle, &frame, &request) == 0) {
            payload += frame.length;
            ++frames;
        }
        AVFILE_FECloseFile(handle);
    }
    state.counters["file_bytes"] = static_cast<double>(layout.fileSize);
    state.counters["payload_bytes"] = static_cast<double>(payload);
    state.counters["frames"] = static_cast<double>(frames);
}

// 100 times spread over the recording (a fixed draw), each sought and its
// key frame read.
void SeekAndRead(benchmark::State &state, const std::string &path) {
    AvFileHandle handle = nullptr;
    if (AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle) != 0) {
        state.SkipWithError("the recording does not open");
        return;
    }
    RecFileInfo info{};
    AVFILE_FEGetFileInfo(handle, &info);
    std::mt19937_64 random(20150109);
    // The last second holds no key frame to land on.
    const uint64_t span = static_cast<uint64_t>(info.stopTimeUs - info.startTimeUs) - 1000000;
    uint64_t times[100];
    for (uint64_t &t : times) t = static_cast<uint64_t>(info.startTimeUs) + random() % span;
    int64_t keyFrames = 0;
    for (auto _ : state) {
        keyFrames = 0;
        for (uint64_t t : times) {
            AvFrameInfo frame{};
            const AvFrameInfo request{};
            if (AVFILE_FESeekIFrame(handle, static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32)) == 0 &&
                AVFILE_FEReadFrame(handle, &frame, &request) == 0 && frame.type == FRAME_TYPE_I) {
                ++keyFrames;
            }
        }
    }
    AVFILE_FECloseFile(handle);
    if (keyFrames != 100) state.SkipWithError("a seek did not deliver a key frame");
    state.counters["seeks"] = 100;
}

}  // namespace

void RegisterPlaybackBenchmarks() {
    for (const std::string rate : {"4m", "12m"}) {
        const std::string file = "play_" + rate + ".avi";
        if (!DataExists(file)) continue;
        benchmark::RegisterBenchmark(("playback/" + rate).c_str(), Playback, DataPath(file))
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("seek/" + rate).c_str(), SeekAndRead, DataPath(file))
            ->Unit(benchmark::kMicrosecond);
    }
}
