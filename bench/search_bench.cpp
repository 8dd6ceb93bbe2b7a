// The file search of a day folder with 8 channels of one-minute recordings:
// ours against the grouping rules written out step by step, on the same
// folder with the same callbacks; the whole search with its opens, and the
// grouping alone with opens that only read the name.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "bench_files.h"
#include "bench_registry.h"
#include "common/literal_grouping.h"
#include "platform/platform.h"
#include "search/rec_search.h"

namespace {

SearchDigest g_digest;

int AVFILE_CALL Record(RecGroupInfo *group, int32_t) {
    g_digest.Add(*group);
    return 0;
}

void SetDigestCounters(benchmark::State &state) {
    state.counters["records"] = static_cast<double>(g_digest.records);
    state.counters["digest_low"] = static_cast<double>(g_digest.hash & 0xffffffffu);
    state.counters["digest_high"] = static_cast<double>(g_digest.hash >> 32);
}

// The file search written out: the folder, then its video and alarm
// sub-folders, depth first, each folder grouped by the literal rules.
int32_t LiteralSearchFile(CFileSearchJNQ &search, const std::string &folder) {
    if (!plat::PathExists(folder.c_str())) return 1;
    RecFileList list;
    search.CollectFiles(folder.c_str(), (folder + "*_*-*.avi").c_str(), list);
    if (!list.empty()) CLiteralGrouping(search).ReportGroups(list, 0, &Record);
    LiteralSearchFile(search, folder + "video" + plat::kPathSep);
    return LiteralSearchFile(search, folder + "alarm" + plat::kPathSep);
}

void SearchOurs(benchmark::State &state, const std::string &day) {
    for (auto _ : state) {
        g_digest = {};
        AVFILE_SearchFile(day.c_str(), 0, &Record);
    }
    SetDigestCounters(state);
}

void SearchLiteral(benchmark::State &state, const std::string &day) {
    CFileSearchJNQ *search = GetRecSearch();
    for (auto _ : state) {
        g_digest = {};
        LiteralSearchFile(*search, day);
    }
    SetDigestCounters(state);
}

// A search whose groups are filled from the names only, so that grouping
// is timed without opening files.
class CNameOnlySearch : public CFileSearchJNQ {
public:
    int32_t FillGroupInfo(RecGroupInfo *group) override {
        if (group->count < 1) return 0;
        GetStartTime(group->paths[0], &group->startTime);
        group->durationMs = 60000;
        return 1;
    }
};

template <bool literal>
void GroupingAlone(benchmark::State &state, const std::string &day) {
    CNameOnlySearch search;
    const std::string folder = day + "video" + plat::kPathSep;
    RecFileList files;
    search.CollectFiles(folder.c_str(), (folder + "*_*-*.avi").c_str(), files);
    for (auto _ : state) {
        state.PauseTiming();
        RecFileList list = files;
        g_digest = {};
        state.ResumeTiming();
        if (literal) {
            CLiteralGrouping(search).ReportGroups(list, 0, &Record);
        } else {
            search.ReportGroups(list, 0, &Record);
        }
    }
    SetDigestCounters(state);
}

// The paths of the first file of each record a search reported.
std::vector<std::string> g_representatives;

int AVFILE_CALL CollectRepresentative(RecGroupInfo *group, int32_t) {
    g_representatives.emplace_back(group->paths[0], strnlen(group->paths[0], 255));
    return 0;
}

// The paths of the representatives a search of the day reports.
std::vector<std::string> Representatives(const std::string &day) {
    g_representatives.clear();
    AVFILE_SearchFile(day.c_str(), 0, &CollectRepresentative);
    return g_representatives;
}

// Processor time of the process in seconds: on a shared machine it drifts
// far less than the wall clock.
double ProcessorSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double Median(std::vector<double> &values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2),
                     values.end());
    return values[values.size() / 2];
}

// A host's callback that keeps what it needs of a record: its first path.
char g_lastPath[AVFILE_MAX_PATH];
int AVFILE_CALL KeepFirstPath(RecGroupInfo *group, int32_t) {
    std::memcpy(g_lastPath, group->paths[0], sizeof g_lastPath);
    return 0;
}

// The search and the opens it cannot do without (the file of each recording
// that gives its length, opened and closed through the export, one after
// the other, as the search opens them), timed in alternate passes, so
// that whatever drifts while the benchmark runs (the page cache, the
// processor's clock, other work on the machine) weighs on both alike. The
// median pass of each is the figure. The callbacks are checked against the
// grouping rules by the search benchmarks above; here they do what a host's
// list would.
void SearchBesideOpens(benchmark::State &state, const std::string &day) {
    const std::vector<std::string> paths = Representatives(day);
    std::vector<double> searches, opens;
    for (auto _ : state) {
        double start = ProcessorSeconds();
        AVFILE_SearchFile(day.c_str(), 0, &KeepFirstPath);
        searches.push_back(ProcessorSeconds() - start);
        start = ProcessorSeconds();
        for (const std::string &path : paths) {
            AvFileHandle handle = nullptr;
            if (AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle) == 0) {
                AVFILE_FECloseFile(handle);
            }
        }
        opens.push_back(ProcessorSeconds() - start);
    }
    state.counters["opens"] = static_cast<double>(paths.size());
    state.counters["search_s"] = Median(searches);
    state.counters["opens_s"] = Median(opens);
}

// Searches of a small and a large day in alternate passes, for the time per
// file at two sizes measured alike.
void SearchAtTwoSizes(benchmark::State &state, const std::string &small, const std::string &large) {
    std::vector<double> smallPasses, largePasses;
    for (auto _ : state) {
        for (int which = 0; which < 2; ++which) {
            const double start = ProcessorSeconds();
            AVFILE_SearchFile((which == 0 ? small : large).c_str(), 0, &KeepFirstPath);
            (which == 0 ? smallPasses : largePasses).push_back(ProcessorSeconds() - start);
        }
    }
    state.counters["small_s"] = Median(smallPasses);
    state.counters["large_s"] = Median(largePasses);
}

}  // namespace

void RegisterSearchBenchmarks() {
    for (const std::string files : {"2880", "5760", "11520"}) {
        const std::string name = "day" + files;
        if (!DataExists(name)) continue;
        const std::string day = DataPath(name) + plat::kPathSep;
        benchmark::RegisterBenchmark(("grouping/" + files + "/ours").c_str(), GroupingAlone<false>, day)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("grouping/" + files + "/literal").c_str(), GroupingAlone<true>, day)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(1);
        benchmark::RegisterBenchmark(("search/" + files + "/ours").c_str(), SearchOurs, day)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("search/" + files + "/literal").c_str(), SearchLiteral, day)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(1);
    }
    if (DataExists("day11520")) {
        const std::string day = DataPath("day11520") + plat::kPathSep;
        benchmark::RegisterBenchmark("search_beside_opens/11520", SearchBesideOpens, day)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(40);
        if (DataExists("day2880")) {
            benchmark::RegisterBenchmark("search_sizes/2880/11520", SearchAtTwoSizes,
                                         DataPath("day2880") + plat::kPathSep, day)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(40);
        }
    }
}
