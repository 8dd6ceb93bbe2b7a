// Collects the benchmark runs and prints the one table of ratios that
// bench/run shows: each figure of the library beside its yardstick from the
// same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// A run of one benchmark: the fastest repetition's processor seconds per
// iteration and its counters.
struct RunFigures {
    double seconds = 0;
    std::map<std::string, double> counters;
};

// Passes every run on to the console and keeps its figures.
class CCollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override;
    const std::map<std::string, RunFigures> &Figures() const { return m_figures; }

private:
    std::map<std::string, RunFigures> m_figures;
};

// Figures measured outside this program: "demux FILE" or "read FILE"
// (ffdemux), "copy FILE" or "repair FILE" (repair_bench) to processor
// seconds per pass and bytes of a pass; "peak FILE" to the repair's peak
// resident memory in bytes; "scan card" and "listing card" (card_bench) to
// the processor seconds of avfile scan and of its yardstick, "scanpeak card"
// and "scanpeak card-day" to the scan's peak memory on the card and on one
// day of it.
struct ExternalFigure {
    double seconds = 0;
    double bytes = 0;
};
using ExternalFigures = std::map<std::string, ExternalFigure>;
// Reads the lines ffdemux printed; unreadable lines are skipped.
ExternalFigures ReadExternalFigures(const std::string &path);

// Prints the table; returns the number of targets missed.
int PrintResultsTable(const std::map<std::string, RunFigures> &runs,
                      const ExternalFigures &external, std::FILE *out);
