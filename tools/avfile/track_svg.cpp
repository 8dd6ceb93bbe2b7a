// track: the GPS route of a recording or of a whole day drawn to scale,
// coloured by speed on a fixed scale (so that pictures compare), with its
// start and end marked, times along the way and a speed legend. What it
// leaves out (an encrypted recording without its password, a damaged file)
// it names, and then ends with that failure's exit code.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
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
#include "track_point.h"
#include "track_projection.h"

namespace {

constexpr double kWidth = 800, kHeight = 600, kMargin = 40, kLegendHeight = 70;

struct Segment {
    std::string name;
    std::vector<GpsBlock> fixes;
    std::vector<int64_t> timesUs;  // each fix's, on the recorder's clock
};

constexpr double kDefaultSlowest = 0, kDefaultFastest = 130;  // km/h

std::string Printf(const char *format, double a, double b = 0, double c = 0, double d = 0, double e = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c, d, e);
    return text;
}

// Collects the route. What is left out is noted in *leftOut, the first
// such failure in *failure.
CliError Collect(const CommandContext &c, std::vector<Segment> &segments, CliError *failure) {
    const std::string &path = c.options.paths[0];
    std::vector<std::string> files;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        std::vector<Recording> recordings;
        if (CliError e = ListRecordings(c.lib, path, recordings)) return e;
        std::set<std::string> listed;
        // Every channel of a recording carries the same route: one file
        // each, the first whose GPS can be read (of --channel's files).
        for (const Recording &r : recordings) {
            CliError why;
            bool found = false;
            for (const RecordingFile &f : r.files) {
                listed.insert(SamePath(f.path));
                if (found || (c.options.channel && f.channel != *c.options.channel)) continue;
                CRecordFile file(c.lib);
                if (CliError e = file.Open(f.path, 0, c.options.password)) {
                    if (!why) why = e;
                    continue;
                }
                files.push_back(f.path);
                found = true;
            }
            if (!found && why) {
                Note("left out: the recording of " + c.clock.Format(r.startUs) + ": " + why.message);
                if (!*failure) *failure = why;
            }
        }
        for (const std::string &folder : FoldersOfDay(path)) {
            for (const std::string &file : AviFiles(folder)) {
                if (listed.count(SamePath(file)) != 0) continue;
                const FileVerdict v = JudgeFile(file);
                if (v.state == FileState::Sound) continue;
                Note("left out, the search does not list it: " + file + ": " + Describe(v));
                if (!*failure) *failure = Fail(kExitDamaged, "damaged record files left out of the track");
            }
        }
        if (files.empty()) {
            return *failure ? *failure : Fail(kExitNotRecordFile, path + ": no recordings that can be read in this day folder");
        }
    } else {
        files.push_back(path);
    }
    for (const std::string &f : files) {
        CRecordFile file(c.lib);
        if (CliError e = file.Open(f, 0, c.options.password)) return e;
        Segment s;
        s.name = BaseName(f);
        AvFrameInfo frame{};
        while (file.NextSideData(frame)) {
            GpsBlock gps;
            if (GpsFromSideData(frame.data, frame.length, &gps) && IsDrawable(gps)) {
                s.fixes.push_back(gps);
                s.timesUs.push_back(frame.timeUs);
            }
        }
        if (!s.fixes.empty()) segments.push_back(std::move(s));
    }
    return {};
}

}  // namespace

CliError RunTrack(const CommandContext &c) {
    const Options &o = c.options;
    if (o.paths.size() != 1) return Fail(kExitUsage, "track takes one record file or day folder");
    if (o.output.empty()) return Fail(kExitUsage, "track needs an output file: -o track.svg");
    if (o.output.size() < 4 || o.output.compare(o.output.size() - 4, 4, ".svg") != 0) {
        return Fail(kExitUnsupportedOutput, o.output + ": the track is drawn as SVG; name the output *.svg");
    }
    std::error_code ec;
    if (!std::filesystem::exists(o.paths[0], ec)) return Fail(kExitMissingPath, o.paths[0] + ": no such file or folder");
    bool keep = false;
    if (CliError e = ClaimTarget(o.output, &keep)) return e;
    if (keep) {
        if (Verbosity() >= 0) std::fprintf(Out(), "kept %s: exists already (-n)\n", o.output.c_str());
        return {};
    }
    std::vector<Segment> segments;
    CliError leftOut;
    if (CliError e = Collect(c, segments, &leftOut)) return e;
    if (segments.empty()) return leftOut ? leftOut : Fail(kExitFailed, o.paths[0] + ": no GPS positions to draw");

    // Bounds and an equirectangular projection about the route's middle
    // latitude: distances keep their proportions at this scale.
    double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
    const double slowest = o.speedRange ? o.speedRange->first : kDefaultSlowest;
    const double fastest = o.speedRange ? o.speedRange->second : kDefaultFastest;
    size_t fixes = 0;
    for (const Segment &s : segments) {
        for (const GpsBlock &g : s.fixes) {
            // The record is packed: its doubles are read into aligned copies
            // before std::min and std::max take references to them.
            const double latitude = g.latitude, longitude = g.longitude;
            minLat = std::min(minLat, latitude);
            maxLat = std::max(maxLat, latitude);
            minLon = std::min(minLon, longitude);
            maxLon = std::max(maxLon, longitude);
            ++fixes;
        }
    }
    const CTrackProjection projection(minLat, maxLat, minLon, maxLon, kWidth, kHeight, kMargin);
    const double spanX = projection.SpanX(), spanY = projection.SpanY(), scale = projection.Scale();
    const auto x = [&](const GpsBlock &g) { return projection.X(g); };
    const auto y = [&](const GpsBlock &g) { return projection.Y(g); };

    COutputFile out;
    if (!out.Open(o.output)) return Fail(out.FailureCode(), out.Error());
    const double height = kHeight + kLegendHeight;
    out.Put(Printf("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                   "font-family=\"sans-serif\">\n",
                   kWidth, height, kWidth, height));
    out.Put("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n<text x=\"16\" y=\"24\" font-size=\"15\">");
    PutXmlText(out, "GPS track of " + o.paths[0]);
    out.Put("</text>\n");

    // One group per recording file; each leg coloured by its speed.
    for (const Segment &s : segments) {
        out.Put("<g class=\"track-segment\"><title>");
        PutXmlText(out, s.name);
        out.Put("</title>\n");
        if (s.fixes.size() == 1) {
            const GpsBlock &g = s.fixes[0];
            out.Put(Printf("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3\" ", x(g), y(g)) + "fill=\"" +
                    SpeedColour(SpeedKmh(g), slowest, fastest) + "\"/>\n");
        }
        for (size_t i = 1; i < s.fixes.size(); ++i) {
            const GpsBlock &a = s.fixes[i - 1], &b = s.fixes[i];
            out.Put(Printf("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" ", x(a), y(a), x(b), y(b)) + "stroke=\"" +
                    SpeedColour((SpeedKmh(a) + SpeedKmh(b)) / 2, slowest, fastest) +
                    "\" stroke-width=\"4\" stroke-linecap=\"round\"/>\n");
        }
        out.Put("</g>\n");
    }
    const GpsBlock &start = segments.front().fixes.front(), &end = segments.back().fixes.back();
    out.Put(Printf("<circle class=\"start\" cx=\"%.2f\" cy=\"%.2f\" r=\"7\" fill=\"#ffffff\" stroke=\"#1b5e20\" "
                   "stroke-width=\"3\"/>\n<text x=\"%.2f\" y=\"%.2f\" font-size=\"12\">start</text>\n",
                   x(start), y(start), x(start) + 10, y(start) - 8));
    out.Put(Printf("<circle class=\"end\" cx=\"%.2f\" cy=\"%.2f\" r=\"7\" fill=\"#b71c1c\"/>\n"
                   "<text x=\"%.2f\" y=\"%.2f\" font-size=\"12\">end</text>\n",
                   x(end), y(end), x(end) + 10, y(end) - 8));

    // Times along the route: at its start and end and at the first fix of
    // every few minutes between, as many minutes as keep it to about eight
    // labels.
    const int64_t firstUs = segments.front().timesUs.front(), lastUs = segments.back().timesUs.back();
    int64_t stepUs = 60LL * 1000000;
    for (int minutes : {1, 2, 5, 10, 15, 30, 60, 120, 240}) {
        stepUs = minutes * 60LL * 1000000;
        if ((lastUs - firstUs) / stepUs <= 8) break;
    }
    const auto timeLabel = [&](const GpsBlock &g, int64_t timeUs, const char *cls) {
        std::string text = c.clock.Format(timeUs);
        if (text.size() >= 19) text = text.substr(11, 8);  // the time of day
        out.Put(std::string("<text class=\"time-label ") + cls + "\"" +
                Printf(" x=\"%.2f\" y=\"%.2f\" font-size=\"11\" fill=\"#424242\">", x(g) + 9, y(g) + 14));
        PutXmlText(out, text);
        out.Put("</text>\n");
    };
    timeLabel(segments.front().fixes.front(), firstUs, "start");
    int64_t next = (firstUs / stepUs + 1) * stepUs;
    for (const Segment &s : segments) {
        for (size_t i = 0; i < s.fixes.size(); ++i) {
            const int64_t t = s.timesUs[i];
            if (t < next || t >= lastUs) continue;
            timeLabel(s.fixes[i], t, "along");
            next = (t / stepUs + 1) * stepUs;
        }
    }
    timeLabel(segments.back().fixes.back(), lastUs, "end");

    // Speed legend and scale bar below the map.
    const double ly = kHeight + 10;
    out.Put("<defs><linearGradient id=\"speed\">");
    for (int i = 0; i <= 4; ++i) {
        out.Put(Printf("<stop offset=\"%.0f%%\" stop-color=\"", i * 25.0) +
                SpeedColour(slowest + (fastest - slowest) * i / 4, slowest, fastest) + "\"/>");
    }
    out.Put("</linearGradient></defs>\n");
    out.Put(Printf("<rect class=\"legend\" x=\"%.0f\" y=\"%.0f\" width=\"200\" height=\"14\" fill=\"url(#speed)\"/>\n",
                   kMargin, ly));
    out.Put(Printf("<text x=\"%.0f\" y=\"%.0f\" font-size=\"12\">%.0f km/h</text>\n", kMargin, ly + 30, slowest));
    out.Put(Printf("<text x=\"%.0f\" y=\"%.0f\" font-size=\"12\" text-anchor=\"end\">%.0f km/h</text>\n", kMargin + 200,
                   ly + 30, fastest));
    out.Put(Printf("<text x=\"%.0f\" y=\"%.0f\" font-size=\"12\" text-anchor=\"middle\">speed</text>\n", kMargin + 100,
                   ly + 30));
    const double metres = ScaleLength(std::max(spanX, spanY));
    const double bar = metres * scale;
    out.Put(Printf("<line class=\"scale\" x1=\"%.0f\" y1=\"%.0f\" x2=\"%.2f\" y2=\"%.0f\" stroke=\"#000000\" "
                   "stroke-width=\"2\"/>\n",
                   kWidth - kMargin - bar, ly + 7, kWidth - kMargin, ly + 7));
    out.Put(Printf(metres >= 1000 ? "<text x=\"%.0f\" y=\"%.0f\" font-size=\"12\" text-anchor=\"end\">%.0f km</text>\n"
                                  : "<text x=\"%.0f\" y=\"%.0f\" font-size=\"12\" text-anchor=\"end\">%.0f m</text>\n",
                   kWidth - kMargin, ly + 30, metres >= 1000 ? metres / 1000 : metres));
    out.Put("</svg>\n");
    if (!out.Commit()) return Fail(kExitFailed, out.Error());
    if (Verbosity() >= 0) {
        std::fprintf(Out(), "wrote %s: %zu GPS positions in %zu segment%s\n", o.output.c_str(), fixes, segments.size(),
                     segments.size() == 1 ? "" : "s");
    }
    if (leftOut) leftOut.message = "some recordings were left out of the track (see above)";
    return leftOut;
}
