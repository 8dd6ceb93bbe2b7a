#include "report_page.h"

#include <algorithm>
#include <cstdio>

#include "text_output.h"
#include "track_point.h"
#include "track_projection.h"

namespace {

// The route's drawing area; the page scales it to fit.
constexpr double kMapWidth = 800, kMapHeight = 600, kMapMargin = 30;
// Fixes further apart than this belong to different recordings: no line
// is drawn between them.
constexpr int64_t kLegGapUs = 10 * 1000000;

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Seconds(int64_t us) { return Number(static_cast<double>(us) / 1e6, 3); }

std::string Html(const std::string &text) {
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string Bool(bool value) { return value ? "true" : "false"; }

struct Route {
    std::vector<std::pair<double, double>> points;  // x, y of each fix
    std::string svg;
};

Route DrawRoute(const std::vector<ReportFix> &fixes) {
    Route route;
    if (fixes.empty()) return route;
    double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180, slowest = 1e9, fastest = 0;
    for (const ReportFix &f : fixes) {
        const double latitude = f.gps.latitude, longitude = f.gps.longitude;
        minLat = std::min(minLat, latitude);
        maxLat = std::max(maxLat, latitude);
        minLon = std::min(minLon, longitude);
        maxLon = std::max(maxLon, longitude);
        slowest = std::min(slowest, SpeedKmh(f.gps));
        fastest = std::max(fastest, SpeedKmh(f.gps));
    }
    const CTrackProjection projection(minLat, maxLat, minLon, maxLon, kMapWidth, kMapHeight, kMapMargin);
    for (const ReportFix &f : fixes) route.points.emplace_back(projection.X(f.gps), projection.Y(f.gps));
    std::string &s = route.svg;
    s += "<svg id=\"route\" viewBox=\"0 0 800 600\" role=\"img\" aria-label=\"GPS route; click to go to that moment\">\n";
    s += "<g class=\"legs\">\n";
    for (size_t i = 1; i < fixes.size(); ++i) {
        if (fixes[i].timeUs - fixes[i - 1].timeUs > kLegGapUs) continue;
        const auto &[x1, y1] = route.points[i - 1];
        const auto &[x2, y2] = route.points[i];
        s += "<line x1=\"" + Number(x1, 2) + "\" y1=\"" + Number(y1, 2) + "\" x2=\"" + Number(x2, 2) + "\" y2=\"" +
             Number(y2, 2) + "\" stroke=\"" +
             SpeedColour((SpeedKmh(fixes[i - 1].gps) + SpeedKmh(fixes[i].gps)) / 2, slowest, fastest) + "\"/>\n";
    }
    s += "</g>\n";
    const auto &[sx, sy] = route.points.front();
    const auto &[ex, ey] = route.points.back();
    s += "<circle class=\"start\" cx=\"" + Number(sx, 2) + "\" cy=\"" + Number(sy, 2) + "\" r=\"7\"/>\n";
    s += "<circle class=\"end\" cx=\"" + Number(ex, 2) + "\" cy=\"" + Number(ey, 2) + "\" r=\"7\"/>\n";
    const double metres = ScaleLength(std::max(projection.SpanX(), projection.SpanY()));
    const double bar = metres * projection.Scale();
    s += "<line class=\"scale\" x1=\"" + Number(kMapWidth - kMapMargin - bar, 2) + "\" y1=\"585\" x2=\"" +
         Number(kMapWidth - kMapMargin, 2) + "\" y2=\"585\"/>\n";
    s += "<text class=\"scale\" x=\"" + Number(kMapWidth - kMapMargin, 0) + "\" y=\"578\" text-anchor=\"end\">" +
         (metres >= 1000 ? Number(metres / 1000, 0) + " km" : Number(metres, 0) + " m") + "</text>\n";
    s += "<circle id=\"marker\" cx=\"" + Number(sx, 2) + "\" cy=\"" + Number(sy, 2) + "\" r=\"10\"/>\n";
    s += "</svg>";
    return route;
}

// The template with each @KEY@ replaced by its value, in one pass: text
// put in is never searched for keys again.
std::string Fill(const std::string &pageTemplate, const std::vector<std::pair<std::string, std::string>> &values) {
    std::string out;
    size_t at = 0;
    while (at < pageTemplate.size()) {
        const size_t key = pageTemplate.find('@', at);
        if (key == std::string::npos) break;
        out.append(pageTemplate, at, key - at);
        const size_t end = pageTemplate.find('@', key + 1);
        const std::string name = end == std::string::npos ? std::string() : pageTemplate.substr(key + 1, end - key - 1);
        const auto value = std::find_if(values.begin(), values.end(), [&](const auto &v) { return v.first == name; });
        if (value == values.end()) {
            out += '@';
            at = key + 1;
        } else {
            out += value->second;
            at = end + 1;
        }
    }
    if (at < pageTemplate.size()) out.append(pageTemplate, at, std::string::npos);
    return out;
}

}  // namespace

std::string ReportJson(const ReportContent &r, const CClock &clock) {
    const Route route = DrawRoute(r.fixes);
    std::string j = "{\n";
    j += "  \"title\": " + JsonQuoted(r.title) + ",\n";
    j += "  \"clock\": " + JsonQuoted(clock.Label()) + ",\n";
    j += "  \"utc\": " + Bool(clock.Utc()) + ",\n";
    j += "  \"start\": " + JsonQuoted(clock.Format(r.originUs)) + ",\n";
    j += "  \"startMs\": " + std::to_string(clock.Shown(r.originUs) / 1000) + ",\n";
    j += "  \"end\": " + JsonQuoted(clock.Format(r.endUs)) + ",\n";
    j += "  \"duration\": " + Seconds(r.endUs - r.originUs) + ",\n";
    if (r.window.given) {
        j += "  \"window\": {\"from\": " + JsonQuoted(clock.Format(r.window.fromUs)) +
             ", \"to\": " + JsonQuoted(clock.Format(r.window.toUs)) +
             ", \"cut\": \"from the key frame at or before the window's start to its end\"},\n";
    } else {
        j += "  \"window\": null,\n";
    }
    j += "  \"channels\": [";
    for (size_t i = 0; i < r.videos.size(); ++i) {
        const ChannelVideo &v = r.videos[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"channel\": " + std::to_string(v.channel + 1) + ", \"file\": " + JsonQuoted(v.file) +
             ", \"offset\": " + Seconds(v.originUs - r.originUs) + ", \"videoFrames\": " +
             std::to_string(v.videoFrames) + ", \"audio\": " + Bool(v.audio) + ", \"spans\": [";
        for (size_t k = 0; k < v.spans.size(); ++k) {
            j += (k ? ", [" : "[") + Seconds(v.spans[k].startUs - r.originUs) + ", " +
                 Seconds(v.spans[k].endUs - r.originUs) + "]";
        }
        j += "]}";
    }
    j += "\n  ],\n  \"fixes\": [";
    for (size_t i = 0; i < r.fixes.size(); ++i) {
        const ReportFix &f = r.fixes[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"t\": " + Seconds(f.timeUs - r.originUs) + ", \"time\": " + JsonQuoted(clock.Format(f.timeUs)) +
             ", \"lat\": " + Number(f.gps.latitude, 7) + ", \"lon\": " + Number(f.gps.longitude, 7) +
             ", \"speed\": " + Number(SpeedKmh(f.gps), 2) +
             ", \"course\": " + (HasCourse(f.gps) ? std::to_string(f.gps.course) : std::string("null")) +
             ", \"x\": " + Number(route.points[i].first, 2) + ", \"y\": " + Number(route.points[i].second, 2) + "}";
    }
    j += "\n  ],\n  \"sources\": [";
    for (size_t i = 0; i < r.sources.size(); ++i) {
        const ReportSource &s = r.sources[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"path\": " + JsonQuoted(s.path) + ", \"channel\": " + std::to_string(s.channel + 1) +
             ", \"start\": " + JsonQuoted(clock.Format(s.startUs)) + ", \"duration\": " + Seconds(s.durationUs) +
             ", \"encrypted\": " + Bool(s.encrypted) + ", \"damaged\": " + Bool(s.verdict.state != FileState::Sound) +
             ", \"state\": " + JsonQuoted(StateName(s.verdict.state)) + ", \"condition\": " +
             JsonQuoted(Describe(s.verdict)) + ", \"bytes\": " + std::to_string(s.bytes) +
             ", \"sha256\": " + JsonQuoted(s.sha256) + "}";
    }
    j += "\n  ],\n  \"outputs\": [";
    for (size_t i = 0; i < r.outputs.size(); ++i) {
        const ReportOutput &o = r.outputs[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"file\": " + JsonQuoted(o.file) + ", \"bytes\": " + std::to_string(o.bytes) +
             ", \"sha256\": " + JsonQuoted(o.sha256) + "}";
    }
    j += "\n  ],\n  \"versions\": [";
    for (size_t i = 0; i < r.versions.size(); ++i) {
        j += i ? ",\n    " : "\n    ";
        j += "{\"name\": " + JsonQuoted(r.versions[i].first) + ", \"version\": " + JsonQuoted(r.versions[i].second) +
             "}";
    }
    j += "\n  ]\n}\n";
    return j;
}

std::string ReportPage(const ReportContent &r, const std::string &json, const std::string &pageTemplate,
                       const CClock &clock) {
    // Inside a script element "</script" or "<!--" in a name would end or
    // change it: every '<' (found only inside JSON strings) is escaped.
    std::string data;
    for (char ch : json) {
        if (ch == '<') {
            data += "\\u003c";
        } else {
            data += ch;
        }
    }
    std::string sources;
    for (const ReportSource &s : r.sources) {
        sources += "<tr><td class=\"path\">" + Html(s.path) + "</td><td>" + std::to_string(s.channel + 1) +
                   "</td><td>" + Html(clock.Format(s.startUs)) + "</td><td>" + Html(FormatDuration(s.durationUs)) +
                   "</td><td>" + (s.encrypted ? "yes" : "no") + "</td><td>" + Html(Describe(s.verdict)) +
                   "</td><td class=\"num\">" + std::to_string(s.bytes) + "</td><td class=\"hash\">" + s.sha256 +
                   "</td></tr>\n";
    }
    std::string outputs;
    for (const ReportOutput &o : r.outputs) {
        outputs += "<tr><td class=\"path\"><a href=\"" + Html(o.file) + "\">" + Html(o.file) +
                   "</a></td><td class=\"num\">" + std::to_string(o.bytes) + "</td><td class=\"hash\">" + o.sha256 +
                   "</td></tr>\n";
    }
    std::string versions;
    for (const auto &[name, version] : r.versions) {
        versions += "<tr><td>" + Html(name) + "</td><td>" + Html(version) + "</td></tr>\n";
    }
    std::string span = Html(clock.Format(r.originUs)) + " to " + Html(clock.Format(r.endUs)) + " (" +
                       Html(clock.Label()) + ")";
    if (r.window.given) {
        span += "; asked for " + Html(clock.Format(r.window.fromUs)) + " to " + Html(clock.Format(r.window.toUs)) +
                ", cut from the key frame at or before its start";
    }
    const Route route = DrawRoute(r.fixes);
    return Fill(pageTemplate,
                {{"TITLE", Html(r.title)},
                 {"SPAN", span},
                 {"ROUTE", route.svg.empty() ? "<p class=\"none\">No GPS positions in these recordings.</p>" : route.svg},
                 {"SOURCES", sources},
                 {"OUTPUTS", outputs},
                 {"VERSIONS", versions},
                 {"DATA", data}});
}
