// Opening and closing a recording: its time, and the bytes it reads against
// what an open cannot do without; beside it one read() of the recording's
// idx1, the largest part of that minimum.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "avfile/avfile.h"
#include "bench_files.h"
#include "bench_registry.h"
#include "platform/fault_injection.h"

namespace {

bool OpenAndClose(const std::string &path) {
    AvFileHandle handle = nullptr;
    if (AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle) != 0) return false;
    AVFILE_FECloseFile(handle);
    return true;
}

void Open(benchmark::State &state, const std::string &path) {
    const RecordingLayout layout = ReadLayout(path);
    // The kernel's count of bytes read, around one open; asking for the
    // count itself reads a few bytes, measured by asking twice.
    const int64_t first = BytesReadSoFar();
    const int64_t second = BytesReadSoFar();
    plat::fault::StartCounting();
    const bool opened = OpenAndClose(path);
    plat::fault::StopCounting();
    const int64_t third = BytesReadSoFar();
    const plat::fault::SystemCalls calls = plat::fault::CountedCalls();
    if (!opened || !layout.ok) {
        state.SkipWithError("the recording does not open");
        return;
    }
    for (auto _ : state) OpenAndClose(path);
    if (first >= 0) {
        state.counters["bytes_read"] = static_cast<double>((third - second) - (second - first));
    }
    state.counters["minimum_bytes"] = static_cast<double>(layout.minimumOpenBytes);
    state.counters["read_calls"] = static_cast<double>(calls.reads);
    state.counters["open_calls"] = static_cast<double>(calls.opens);
}

void ReadIndexOnce(benchmark::State &state, const std::string &path) {
    const RecordingLayout layout = ReadLayout(path);
    const size_t bytes = size_t{layout.indexSize} + 8;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bytes]);
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!layout.ok || buffer == nullptr || file == nullptr) {
        if (file) std::fclose(file);
        state.SkipWithError("the recording cannot be read");
        return;
    }
    // Unbuffered: the request goes to read() as it is.
    std::setvbuf(file, nullptr, _IONBF, 0);
    for (auto _ : state) {
        std::fseek(file, static_cast<long>(layout.indexOffset), SEEK_SET);
        benchmark::DoNotOptimize(std::fread(buffer.get(), 1, bytes, file));
    }
    std::fclose(file);
}

}  // namespace

void RegisterOpenBenchmarks() {
    for (const std::string length : {"1min", "10min", "60min"}) {
        const std::string file = "open_" + length + ".avi";
        if (!DataExists(file)) continue;
        benchmark::RegisterBenchmark(("open/" + length).c_str(), Open, DataPath(file))
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("idx1_read/" + length).c_str(), ReadIndexOnce, DataPath(file))
            ->Unit(benchmark::kMicrosecond);
    }
}
