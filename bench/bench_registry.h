// Each group of benchmarks registers itself for the recordings bench_data
// wrote; missing recordings leave their benchmarks out.
#pragma once

void RegisterPlaybackBenchmarks();
void RegisterOpenBenchmarks();
void RegisterSearchBenchmarks();
void RegisterDecryptBenchmarks();
