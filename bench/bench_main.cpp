// avfile_bench: the library's benchmarks, then the table of ratios.
//
//   avfile_bench --data=DIR [--external=FILE] [--table=FILE] [benchmark flags]
//
// DIR is what bench_data wrote; FILE of --external holds the lines ffdemux
// printed (FFmpeg's demuxer and the read() limit on the same recordings).
// Benchmark results and the table go to standard error: standard output
// carries the messages the library prints while it opens files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bench_files.h"
#include "bench_registry.h"
#include "results_table.h"

namespace {

// Takes "--name=value" out of the arguments; empty when absent.
std::string TakeFlag(int &argc, char **argv, const char *name) {
    const std::string prefix = std::string("--") + name + "=";
    std::string value;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) {
            value = argv[i] + prefix.size();
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    return value;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string data = TakeFlag(argc, argv, "data");
    const std::string external = TakeFlag(argc, argv, "external");
    const std::string tableFile = TakeFlag(argc, argv, "table");
    if (data.empty()) {
        std::fprintf(stderr, "usage: avfile_bench --data=DIR [--external=FILE] [--table=FILE] "
                             "[benchmark flags]\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    SetDataDir(data);
    RegisterPlaybackBenchmarks();
    RegisterOpenBenchmarks();
    RegisterSearchBenchmarks();
    RegisterDecryptBenchmarks();

    CCollectingReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);

    const ExternalFigures figures = ReadExternalFigures(external);
    const int missed = PrintResultsTable(reporter.Figures(), figures, stderr);
    if (!tableFile.empty()) {
        if (std::FILE *out = std::fopen(tableFile.c_str(), "w")) {
            PrintResultsTable(reporter.Figures(), figures, out);
            std::fclose(out);
        }
    }
    std::fprintf(stderr, "%d target%s missed\n", missed, missed == 1 ? "" : "s");
    return 0;
}
