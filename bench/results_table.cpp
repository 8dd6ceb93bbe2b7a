#include "results_table.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

void CCollectingReporter::ReportRuns(const std::vector<Run> &runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
            continue;
        }
        // Processor time (user and system) of the process: on a shared
        // machine it drifts far less than the wall clock.
        const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
        RunFigures &f = m_figures[run.run_name.function_name];
        if (f.seconds != 0 && f.seconds <= seconds) continue;
        f.seconds = seconds;
        f.counters.clear();
        for (const auto &[name, counter] : run.counters) f.counters[name] = counter.value;
    }
}

ExternalFigures ReadExternalFigures(const std::string &path) {
    ExternalFigures figures;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string mode, file;
        double seconds = 0, packets = 0, bytes = 0;
        if (!(fields >> mode >> file >> seconds >> packets >> bytes) || seconds <= 0) continue;
        const std::string name = std::filesystem::path(file).filename().string();
        figures[mode + " " + name] = {seconds, bytes};
    }
    return figures;
}

namespace {

class CTable {
public:
    explicit CTable(std::FILE *out) : m_out(out) {
        std::fprintf(m_out, "\n%-46s %14s %14s %10s %10s  %s\n", "measure", "ours", "yardstick",
                     "ratio", "target", "");
        Rule();
    }
    ~CTable() { Rule(); }

    void Section(const char *title) { std::fprintf(m_out, "%s\n", title); }

    // ratio: ours / yardstick as a factor ("x") or a share ("%"); target is
    // met when the ratio is at least (atLeast) or at most the limit. A limit
    // of 0 sets no target.
    void Row(const std::string &measure, const std::string &ours, const std::string &yardstick,
             double ratio, bool percent, double limit, bool atLeast) {
        char ratioText[32] = "-";
        if (std::isfinite(ratio) && ratio > 0) {
            if (percent) std::snprintf(ratioText, sizeof ratioText, "%.0f%%", ratio * 100);
            else std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
        }
        char targetText[32] = "";
        const char *verdict = "";
        if (limit > 0) {
            if (percent) std::snprintf(targetText, sizeof targetText, "%s%.0f%%", atLeast ? ">=" : "<=", limit * 100);
            else std::snprintf(targetText, sizeof targetText, "%s%.2fx", atLeast ? ">=" : "<=", limit);
            const bool met = std::isfinite(ratio) && ratio > 0 && (atLeast ? ratio >= limit : ratio <= limit);
            verdict = met ? "met" : "MISSED";
            if (!met) ++m_missed;
        }
        std::fprintf(m_out, "  %-44s %14s %14s %10s %10s  %s\n", measure.c_str(), ours.c_str(),
                     yardstick.c_str(), ratioText, targetText, verdict);
    }
    int Missed() const { return m_missed; }

private:
    void Rule() {
        for (int i = 0; i < 104; ++i) std::fputc('-', m_out);
        std::fputc('\n', m_out);
    }
    std::FILE *m_out;
    int m_missed = 0;
};

std::string Format(const char *format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

const RunFigures *Find(const std::map<std::string, RunFigures> &runs, const std::string &name) {
    const auto it = runs.find(name);
    return it == runs.end() ? nullptr : &it->second;
}

double Counter(const RunFigures *f, const char *name) {
    if (f == nullptr) return 0;
    const auto it = f->counters.find(name);
    return it == f->counters.end() ? 0 : it->second;
}

void PlaybackRows(CTable &t, const std::map<std::string, RunFigures> &runs,
                  const ExternalFigures &external) {
    t.Section("Sequential playback through AVFILE_FEReadFrame, 10-minute recording (MB of file per second)");
    for (const char *rate : {"4m", "12m"}) {
        const RunFigures *ours = Find(runs, std::string("playback/") + rate);
        if (ours == nullptr) continue;
        const std::string file = std::string("play_") + rate + ".avi";
        const double oursRate = Counter(ours, "file_bytes") / ours->seconds / 1e6;
        const std::string label = std::string(rate == std::string("4m") ? "4" : "12") + " Mbit/s";
        const auto demux = external.find("demux " + file);
        if (demux != external.end()) {
            const double r = demux->second.bytes > 0 ? Counter(ours, "file_bytes") / demux->second.seconds / 1e6 : 0;
            t.Row(label + ": ours vs FFmpeg's demuxer", Format("%.0f MB/s", oursRate),
                  Format("%.0f MB/s", r), oursRate / r, false, 1.5, true);
        }
        const auto limit = external.find("read " + file);
        if (limit != external.end()) {
            const double r = limit->second.bytes / limit->second.seconds / 1e6;
            t.Row(label + ": ours vs read() into 1 MiB", Format("%.0f MB/s", oursRate),
                  Format("%.0f MB/s", r), oursRate / r, true, 0.40, true);
        }
    }
}

void OpenRows(CTable &t, const std::map<std::string, RunFigures> &runs) {
    t.Section("Open + close (bytes read per open vs the header list, INFO, idx1 and first key frame)");
    for (const char *length : {"1min", "10min", "60min"}) {
        const RunFigures *open = Find(runs, std::string("open/") + length);
        if (open == nullptr) continue;
        const double bytes = Counter(open, "bytes_read");
        const double minimum = Counter(open, "minimum_bytes");
        t.Row(std::string(length) + ": bytes read vs minimum", Format("%.0f", bytes),
              Format("%.0f", minimum), minimum > 0 && bytes > 0 ? bytes / minimum : 0, false, 1.2,
              false);
        if (std::string(length) == "1min" && Counter(open, "open_calls") > 0) {
            // What an open asks of the file system, counted by the platform
            // layer: at most one open and four reads.
            t.Row("1min: read calls per open vs 4", Format("%.0f", Counter(open, "read_calls")), "4",
                  Counter(open, "read_calls") / 4, false, 1.0, false);
            t.Row("1min: file opens per open vs 1", Format("%.0f", Counter(open, "open_calls")), "1",
                  Counter(open, "open_calls"), false, 1.0, false);
        }
        const RunFigures *index = Find(runs, std::string("idx1_read/") + length);
        if (index != nullptr) {
            const bool target = std::string(length) == "60min";
            t.Row(std::string(length) + ": open time vs one read() of its idx1",
                  Format("%.0f us", open->seconds * 1e6), Format("%.0f us", index->seconds * 1e6),
                  open->seconds / index->seconds, false, target ? 3.0 : 0, false);
        }
    }
}

void SeekRows(CTable &t, const std::map<std::string, RunFigures> &runs) {
    for (const char *rate : {"4m", "12m"}) {
        const RunFigures *seek = Find(runs, std::string("seek/") + rate);
        if (seek == nullptr) continue;
        const double seeks = Counter(seek, "seeks");
        if (seeks <= 0) continue;
        if (std::string(rate) == "4m" || Find(runs, "seek/4m") == nullptr) {
            t.Section("Seek + first frame at 100 random times");
        }
        t.Row(std::string(rate == std::string("4m") ? "4" : "12") + " Mbit/s: per seek",
              Format("%.1f us", seek->seconds / seeks * 1e6), "", 0, false, 0, true);
    }
}

void SearchRows(CTable &t, const std::map<std::string, RunFigures> &runs) {
    t.Section("Day search, 8 channels of one-minute recordings (ms; same callbacks required)");
    for (const char *files : {"2880", "5760", "11520"}) {
        for (const char *kind : {"search", "grouping"}) {
            const RunFigures *ours = Find(runs, std::string(kind) + "/" + files + "/ours");
            const RunFigures *literal = Find(runs, std::string(kind) + "/" + files + "/literal");
            if (ours == nullptr) continue;
            const bool same = Counter(ours, "digest_low") == Counter(literal, "digest_low") &&
                              Counter(ours, "digest_high") == Counter(literal, "digest_high") &&
                              Counter(ours, "records") == Counter(literal, "records");
            const std::string measure = std::string(files) + " files, " +
                                        (std::string(kind) == "search" ? "AVFILE_SearchFile" : "grouping alone") +
                                        (literal == nullptr ? "" : same ? ", same" : ", DIFFERENT");
            const bool target = std::string(kind) == "search" && std::string(files) == "11520";
            t.Row(measure, Format("%.1f ms", ours->seconds * 1e3),
                  literal ? Format("%.1f ms", literal->seconds * 1e3) : "",
                  literal && same ? literal->seconds / ours->seconds : 0, false, target ? 20.0 : 0, true);
        }
    }
    // Time per file at two sizes, and the search against the opens of one
    // file per recording it cannot do without: each pair timed in alternate
    // passes of one benchmark, its median passes compared.
    if (const RunFigures *sizes = Find(runs, "search_sizes/2880/11520")) {
        const double small = Counter(sizes, "small_s") / 2880, large = Counter(sizes, "large_s") / 11520;
        t.Row("time per file, 11520 vs 2880 files", Format("%.2f us", large * 1e6),
              Format("%.2f us", small * 1e6), small > 0 ? large / small : 0, false, 1.3, false);
    }
    if (const RunFigures *pair = Find(runs, "search_beside_opens/11520")) {
        const double search = Counter(pair, "search_s"), opens = Counter(pair, "opens_s");
        t.Row("11520 files: AVFILE_SearchFile vs its " + Format("%.0f", Counter(pair, "opens")) + " opens",
              Format("%.1f ms", search * 1e3), Format("%.1f ms", opens * 1e3),
              opens > 0 ? search / opens : 0, false, 1.5, false);
    }
}

void DecryptRows(CTable &t, const std::map<std::string, RunFigures> &runs) {
    const RunFigures *ours = Find(runs, "decrypt/ours");
    if (ours == nullptr) return;
    const RunFigures *openssl = Find(runs, "decrypt/openssl");
    t.Section("Key-frame deciphering: key schedule + 32 blocks (ns per key frame)");
    t.Row("ours vs OpenSSL's DES", Format("%.0f ns", ours->seconds * 1e9),
          openssl ? Format("%.0f ns", openssl->seconds * 1e9) : "not built",
          openssl ? ours->seconds / openssl->seconds : 0, false, 0, false);
}

void RepairRows(CTable &t, const ExternalFigures &external) {
    const auto repair = external.find("repair repair_10min.avi");
    const auto copy = external.find("copy repair_10min.avi");
    const auto peak = external.find("peak repair_10min.avi");
    if (repair == external.end() || copy == external.end()) return;
    t.Section("Repair of a 10-minute recording cut at 90 % by power loss (MB of input per second, child process)");
    const double ours = repair->second.bytes / repair->second.seconds / 1e6;
    const double cp = copy->second.bytes / copy->second.seconds / 1e6;
    t.Row("ours vs cp from the page cache", Format("%.0f MB/s", ours), Format("%.0f MB/s", cp), ours / cp,
          true, 0.50, true);
    if (peak != external.end()) {
        constexpr double kLimit = 64.0 * 1024 * 1024;
        t.Row("peak resident memory vs 64 MiB", Format("%.1f MiB", peak->second.bytes / 1024 / 1024),
              "64.0 MiB", peak->second.bytes / kLimit, false, 1.0, false);
    }
}

void ClipRows(CTable &t, const ExternalFigures &external) {
    const auto clip = external.find("clip clip_10min");
    const auto copy = external.find("copy clip_10min");
    if (clip == external.end() || copy == external.end()) return;
    t.Section("Clip of 10 minutes across ten one-minute files, stream copy to .mkv (MB of input per second, child process)");
    const double ours = clip->second.bytes / clip->second.seconds / 1e6;
    const double cp = copy->second.bytes / copy->second.seconds / 1e6;
    t.Row("avfile clip vs cp of the same files", Format("%.0f MB/s", ours), Format("%.0f MB/s", cp), ours / cp, true,
          0.50, true);
}

void CardRows(CTable &t, const ExternalFigures &external) {
    const auto scan = external.find("scan card");
    const auto listing = external.find("listing card");
    if (scan == external.end() || listing == external.end()) return;
    t.Section("avfile scan of a whole card of small recordings (s, child process)");
    t.Row("ours vs find | wc -l + first 4 KiB of each file", Format("%.2f s", scan->second.seconds),
          Format("%.2f s", listing->second.seconds), scan->second.seconds / listing->second.seconds, false,
          10.0, false);
    const auto card = external.find("scanpeak card");
    const auto day = external.find("scanpeak card-day");
    if (card != external.end() && day != external.end() && day->second.bytes > 0) {
        t.Row("peak resident memory, whole card vs its first day",
              Format("%.1f MiB", card->second.bytes / 1024 / 1024),
              Format("%.1f MiB", day->second.bytes / 1024 / 1024), card->second.bytes / day->second.bytes, false,
              1.2, false);
    }
}

}  // namespace

int PrintResultsTable(const std::map<std::string, RunFigures> &runs,
                      const ExternalFigures &external, std::FILE *out) {
    CTable table(out);
    PlaybackRows(table, runs, external);
    OpenRows(table, runs);
    SeekRows(table, runs);
    SearchRows(table, runs);
    DecryptRows(table, runs);
    RepairRows(table, external);
    ClipRows(table, external);
    CardRows(table, external);
    return table.Missed();
}
