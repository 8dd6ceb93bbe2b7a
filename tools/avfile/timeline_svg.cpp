// timeline: a day's recordings on a 24-hour chart, one row per channel,
// normal and alarm recordings in their own colours, as playback clients
// show a day.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "output_file.h"
#include "recording_tree.h"
#include "text_output.h"

namespace {

constexpr double kLeft = 90, kTop = 56, kHourWidth = 40, kRowHeight = 30, kBarHeight = 20;
constexpr double kChartWidth = 24 * kHourWidth;
constexpr int64_t kDayUs = 86400LL * 1000000;
constexpr const char *kNormalColour = "#2e7d32";
constexpr const char *kAlarmColour = "#d32f2f";

std::string Printf(const char *format, double a, double b = 0, double c = 0, double d = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

CliError RunTimeline(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.size() != 1) return Fail(kExitUsage, "timeline takes one day folder");
    if (o.output.empty()) return Fail(kExitUsage, "timeline needs an output file: -o day.svg");
    if (o.output.size() < 4 || o.output.compare(o.output.size() - 4, 4, ".svg") != 0) {
        return Fail(kExitUnsupportedOutput, o.output + ": the timeline is drawn as SVG; name the output *.svg");
    }
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, o.paths[0], recordings)) return e;
    if (recordings.empty()) return Fail(kExitNotRecordFile, o.paths[0] + ": no recordings in this day folder");

    std::set<int> channelSet;
    for (const Recording &r : recordings) {
        for (const RecordingFile &f : r.files) channelSet.insert(f.channel);
    }
    const std::vector<int> channels(channelSet.begin(), channelSet.end());
    // The day shown is the one the first recording starts on.
    const int64_t dayStart = FloorDiv(c.clock.Shown(recordings.front().startUs), kDayUs) * kDayUs;
    char date[32] = "";
    FormatUtcTime(dayStart, date, sizeof date);
    date[10] = 0;
    const double height = kTop + kRowHeight * static_cast<double>(channels.size()) + 70;
    const double width = kLeft + kChartWidth + 30;

    COutputFile out;
    if (!out.Open(o.output)) return Fail(kExitFailed, out.Error());
    out.Put(Printf("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                   "font-family=\"sans-serif\">\n",
                   width, height, width, height));
    out.Put("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n<text x=\"16\" y=\"26\" font-size=\"16\">");
    PutXmlText(out, std::string(date) + "  recordings of " + o.paths[0] + "  (" + c.clock.Label() + ")");
    out.Put("</text>\n");

    // Rows and hour ticks.
    const double chartBottom = kTop + kRowHeight * static_cast<double>(channels.size());
    for (size_t i = 0; i < channels.size(); ++i) {
        const double y = kTop + kRowHeight * static_cast<double>(i);
        out.Put(Printf("<rect class=\"row\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" ", kLeft, y,
                       kChartWidth, kRowHeight) +
                (i % 2 ? "fill=\"#eeeeee\"/>\n" : "fill=\"#f7f7f7\"/>\n"));
        out.Put(Printf("<text x=\"16\" y=\"%.1f\" font-size=\"13\">channel %.0f</text>\n", y + kRowHeight / 2 + 5,
                       channels[i] + 1));
    }
    for (int h = 0; h <= 24; ++h) {
        const double x = kLeft + h * kHourWidth;
        out.Put(Printf("<line class=\"hour\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#9e9e9e\" "
                       "stroke-width=\"1\"/>\n",
                       x, kTop - 6, x, chartBottom));
        out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"middle\">%02.0f</text>\n", x, kTop - 10,
                       h));
    }

    // One bar per recording file in its channel's row; a short recording
    // still gets a visible sliver.
    for (const Recording &r : recordings) {
        const double from = static_cast<double>(c.clock.Shown(r.startUs) - dayStart) / 3.6e9;
        const double to = static_cast<double>(c.clock.Shown(r.EndUs()) - dayStart) / 3.6e9;
        const double x1 = kLeft + std::clamp(from, 0.0, 24.0) * kHourWidth;
        const double x2 = kLeft + std::clamp(to, 0.0, 24.0) * kHourWidth;
        for (const RecordingFile &f : r.files) {
            const size_t row = static_cast<size_t>(std::find(channels.begin(), channels.end(), f.channel) - channels.begin());
            const double y = kTop + kRowHeight * static_cast<double>(row) + (kRowHeight - kBarHeight) / 2;
            out.Put(std::string("<rect class=\"recording ") + (r.alarm ? "alarm" : "normal") + "\" fill=\"" +
                    (r.alarm ? kAlarmColour : kNormalColour) + "\"" +
                    Printf(" x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%.1f\">", x1, y, std::max(x2 - x1, 2.0),
                           kBarHeight) +
                    "<title>");
            PutXmlText(out, c.clock.Format(r.startUs) + ", " + FormatDuration(static_cast<int64_t>(r.durationMs) * 1000) +
                                (r.alarm ? ", alarm: " : ": ") + f.path);
            out.Put("</title></rect>\n");
        }
    }

    // Legend.
    const double ly = chartBottom + 34;
    out.Put(Printf("<rect class=\"legend\" x=\"%.1f\" y=\"%.1f\" width=\"16\" height=\"12\" fill=\"", kLeft, ly) +
            kNormalColour + "\"/>\n");
    out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\">normal recording</text>\n", kLeft + 22, ly + 11));
    out.Put(Printf("<rect class=\"legend\" x=\"%.1f\" y=\"%.1f\" width=\"16\" height=\"12\" fill=\"", kLeft + 170, ly) +
            kAlarmColour + "\"/>\n");
    out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\">alarm recording</text>\n", kLeft + 192, ly + 11));
    out.Put(Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\">hours of the day</text>\n", kLeft + 340, ly + 11));
    out.Put("</svg>\n");
    if (!out.Commit()) return Fail(kExitFailed, out.Error());
    std::fprintf(Out(), "wrote %s: %zu recordings on %zu channel rows\n", o.output.c_str(), recordings.size(), channels.size());
    return {};
}
