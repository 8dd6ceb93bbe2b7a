// timeline: a day's recordings on a chart of the hours that hold them (or
// of hours asked for), one row per channel, normal and alarm recordings in
// their own colours, as playback clients show a day; encrypted and damaged
// recordings are marked, and the files the search leaves out are named.
#include <algorithm>
#include <utility>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "card_files.h"
#include "commands.h"
#include "console.h"
#include "output_file.h"
#include "record_file.h"
#include "recording_tree.h"
#include "text_output.h"

namespace {

constexpr double kLeft = 90, kTop = 56, kRowHeight = 30, kBarHeight = 20;
constexpr double kChartWidth = 960;
constexpr int64_t kHourUs = 3600LL * 1000000;
constexpr int64_t kDayUs = 86400LL * 1000000;
constexpr const char *kNormalColour = "#2e7d32";
constexpr const char *kAlarmColour = "#d32f2f";

std::string Printf(const char *format, double a, double b = 0, double c = 0, double d = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }


// The first and last hour of the chart, counted from the start of the day
// the first recording begins on: the hours that hold recordings, or those
// asked for. A chart may run into the next day (24 and on).
std::pair<int, int> ChartHours(const CommandContext &c, const std::vector<Recording> &recordings, int64_t dayStart) {
    if (c.options.hours) return *c.options.hours;
    int64_t first = c.clock.Shown(recordings.front().startUs), last = first;
    for (const Recording &r : recordings) {
        first = std::min(first, c.clock.Shown(r.startUs));
        last = std::max(last, c.clock.Shown(r.EndUs()));
    }
    const int from = static_cast<int>(FloorDiv(first - dayStart, kHourUs));
    int to = static_cast<int>(FloorDiv(last - dayStart + kHourUs - 1, kHourUs));
    if (to <= from) to = from + 1;
    return {from, to};
}

}  // namespace

CliError RunTimeline(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.size() != 1) return Fail(kExitUsage, "timeline takes one day folder");
    if (o.output.empty()) return Fail(kExitUsage, "timeline needs an output file: -o day.svg");
    if (o.output.size() < 4 || o.output.compare(o.output.size() - 4, 4, ".svg") != 0) {
        return Fail(kExitUnsupportedOutput, o.output + ": the timeline is drawn as SVG; name the output *.svg");
    }
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, o.paths[0], recordings, true)) return e;
    if (o.channel) {
        for (Recording &r : recordings) {
            r.files.erase(std::remove_if(r.files.begin(), r.files.end(),
                                         [&](const RecordingFile &f) { return f.channel != *o.channel; }),
                          r.files.end());
        }
        recordings.erase(std::remove_if(recordings.begin(), recordings.end(),
                                        [](const Recording &r) { return r.files.empty(); }),
                         recordings.end());
    }
    if (recordings.empty()) return Fail(kExitNotRecordFile, o.paths[0] + ": no recordings in this day folder");
    bool keep = false;
    if (CliError e = ClaimTarget(o.output, &keep)) return e;
    if (keep) {
        if (Verbosity() >= 0) std::fprintf(Out(), "kept %s: exists already (-n)\n", o.output.c_str());
        return {};
    }

    // The damaged files: those listed are drawn and marked, those the
    // search left out are named.
    std::set<std::string> listed, damaged;
    for (const Recording &r : recordings) {
        for (const RecordingFile &f : r.files) {
            listed.insert(SamePath(f.path));
            if (JudgeFile(f.path).state != FileState::Sound) damaged.insert(f.path);
        }
    }
    std::vector<std::string> leftOut;
    for (const std::string &folder : FoldersOfDay(o.paths[0])) {
        for (const std::string &path : AviFiles(folder)) {
            if (listed.count(SamePath(path)) != 0) continue;
            const FileVerdict v = JudgeFile(path);
            if (v.state == FileState::Sound) continue;
            if (!o.channel || ChannelOfName(path) == *o.channel) leftOut.push_back(path + ": " + Describe(v));
        }
    }

    std::set<int> channelSet;
    for (const Recording &r : recordings) {
        for (const RecordingFile &f : r.files) channelSet.insert(f.channel);
    }
    const std::vector<int> channels(channelSet.begin(), channelSet.end());
    // The day shown is the one the first recording starts on.
    const int64_t dayStart = FloorDiv(c.clock.Shown(recordings.front().startUs), kDayUs) * kDayUs;
    const auto [fromHour, toHour] = ChartHours(c, recordings, dayStart);
    const double hours = toHour - fromHour;
    const double hourWidth = kChartWidth / hours;
    char date[32] = "";
    FormatUtcTime(dayStart, date, sizeof date);
    date[10] = 0;
    std::string title = date;
    if (toHour > 24) {
        char next[32] = "";
        FormatUtcTime(dayStart + kDayUs, next, sizeof next);
        next[10] = 0;
        title += std::string(" to ") + next;
    }
    const double height = kTop + kRowHeight * static_cast<double>(channels.size()) + 70;
    const double width = kLeft + kChartWidth + 30;

    COutputFile out;
    if (!out.Open(o.output)) return Fail(out.FailureCode(), out.Error());
    out.Put(Printf("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                   "font-family=\"sans-serif\">\n",
                   width, height, width, height));
    out.Put("<defs><pattern id=\"encrypted\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
            "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#9e9e9e\"/>"
            "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#424242\" stroke-width=\"3\"/></pattern></defs>\n");
    out.Put("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n<text x=\"16\" y=\"26\" font-size=\"16\">");
    PutXmlText(out, title + "  recordings of " + o.paths[0] + "  (" + c.clock.Label() + ")");
    out.Put("</text>\n");

    // Rows, hour ticks and, on a chart of a few hours, ten-minute ticks.
    const double chartBottom = kTop + kRowHeight * static_cast<double>(channels.size());
    for (size_t i = 0; i < channels.size(); ++i) {
        const double y = kTop + kRowHeight * static_cast<double>(i);
        out.Put(Printf("<rect class=\"row\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" ", kLeft, y,
                       kChartWidth, kRowHeight) +
                (i % 2 ? "fill=\"#eeeeee\"/>\n" : "fill=\"#f7f7f7\"/>\n"));
        out.Put(Printf("<text x=\"16\" y=\"%.1f\" font-size=\"13\">channel %.0f</text>\n", y + kRowHeight / 2 + 5,
                       channels[i] + 1));
    }
    for (int h = fromHour; h <= toHour; ++h) {
        const double x = kLeft + (h - fromHour) * hourWidth;
        out.Put(Printf("<line class=\"hour\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#9e9e9e\" "
                       "stroke-width=\"1\"/>\n",
                       x, kTop - 6, x, chartBottom));
        out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"middle\">%02.0f:00</text>\n", x,
                       kTop - 10, h % 24));
        if (hours > 3 || h == toHour) continue;
        for (int m = 10; m < 60; m += 10) {
            const double mx = x + hourWidth * m / 60;
            out.Put(Printf("<line class=\"minute\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#dddddd\" "
                           "stroke-width=\"1\"/>\n",
                           mx, kTop, mx, chartBottom));
            if (hours <= 2) {
                out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"9\" fill=\"#757575\" "
                               "text-anchor=\"middle\">%02.0f:%02.0f</text>\n",
                               mx, kTop - 10, h % 24, m));
            }
        }
    }

    // One bar per recording file in its channel's row; a short recording
    // still gets a visible sliver. A recording outside the hours asked for
    // is not drawn.
    size_t drawn = 0, outside = 0;
    for (const Recording &r : recordings) {
        const double from = static_cast<double>(c.clock.Shown(r.startUs) - dayStart) / 3.6e9 - fromHour;
        const double to = static_cast<double>(c.clock.Shown(r.EndUs()) - dayStart) / 3.6e9 - fromHour;
        if (to < 0 || from > hours) {
            ++outside;
            continue;
        }
        ++drawn;
        const double x1 = kLeft + std::clamp(from, 0.0, hours) * hourWidth;
        const double x2 = kLeft + std::clamp(to, 0.0, hours) * hourWidth;
        for (const RecordingFile &f : r.files) {
            const size_t row = static_cast<size_t>(std::find(channels.begin(), channels.end(), f.channel) - channels.begin());
            const double y = kTop + kRowHeight * static_cast<double>(row) + (kRowHeight - kBarHeight) / 2;
            const bool broken = damaged.count(f.path) != 0;
            std::string classes = std::string("recording ") + (r.alarm ? "alarm" : "normal");
            if (r.encrypted) classes += " encrypted";
            if (broken) classes += " damaged";
            const std::string fill = r.encrypted ? "url(#encrypted)" : r.alarm ? kAlarmColour : kNormalColour;
            out.Put("<rect class=\"" + classes + "\" fill=\"" + fill + "\"" +
                    (broken ? " stroke=\"#ff6f00\" stroke-width=\"2\" stroke-dasharray=\"3,2\"" : "") +
                    Printf(" x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%.1f\">", x1, y, std::max(x2 - x1, 2.0),
                           kBarHeight) +
                    "<title>");
            PutXmlText(out, c.clock.Format(r.startUs) + ", " + FormatDuration(static_cast<int64_t>(r.durationMs) * 1000) +
                                (r.alarm ? ", alarm" : "") + (r.encrypted ? ", encrypted" : "") +
                                (broken ? ", damaged" : "") + ": " + f.path);
            out.Put("</title></rect>\n");
        }
    }

    // Legend.
    const double ly = chartBottom + 34;
    const struct {
        const char *fill, *text, *extra;
    } legend[] = {{kNormalColour, "normal recording", ""},
                  {kAlarmColour, "alarm recording", ""},
                  {"url(#encrypted)", "encrypted", ""},
                  {"#ffffff", "damaged", " stroke=\"#ff6f00\" stroke-width=\"2\" stroke-dasharray=\"3,2\""}};
    double lx = kLeft;
    for (const auto &l : legend) {
        out.Put(Printf("<rect class=\"legend\" x=\"%.1f\" y=\"%.1f\" width=\"16\" height=\"12\" ", lx, ly) +
                "fill=\"" + l.fill + "\"" + l.extra + "/>\n");
        out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\">", lx + 22, ly + 11) + l.text + "</text>\n");
        lx += 150;
    }
    out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\">hours of the day</text>\n", lx, ly + 11));
    out.Put("</svg>\n");
    if (!out.Commit()) return Fail(kExitFailed, out.Error());
    if (Verbosity() >= 0) {
        std::fprintf(Out(), "wrote %s: %zu recordings on %zu channel rows, %02d:00 to %02d:00\n", o.output.c_str(), drawn,
                     channels.size(), fromHour % 24, toHour == 24 ? 24 : toHour % 24);
    }
    if (outside > 0) Note(std::to_string(outside) + " recordings lie outside the hours asked for and are not drawn");
    for (const std::string &l : leftOut) Note("left out, the search does not list it: " + l);
    if (!leftOut.empty()) {
        return Fail(kExitDamaged, std::to_string(leftOut.size()) + " damaged record file" + (leftOut.size() == 1 ? "" : "s") +
                                      " left out of the timeline (avfile repair recovers the incomplete)");
    }
    return {};
}
