// The files of an incident report besides its videos: report.json with the
// facts, and index.html (from the page template) showing them with the
// videos, the route, the speed and the table of files.
#pragma once

#include <string>
#include <vector>

#include "clock.h"
#include "report_model.h"

struct ReportContent {
    std::string title;
    ReportWindow window;
    std::vector<ReportSource> sources;
    std::vector<ChannelVideo> videos;
    std::vector<ReportFix> fixes;
    std::vector<ReportOutput> outputs;  // every file beside index.html and report.json
    std::vector<std::pair<std::string, std::string>> versions;  // program or library, version
    int64_t originUs = 0;  // the report's time 0: its earliest recording's start
    int64_t endUs = 0;     // its latest recording's end
};

// report.json: the facts of the report as one JSON object.
std::string ReportJson(const ReportContent &content, const CClock &clock);
// index.html: the page template with the facts (`json`), the route and the
// tables filled in.
std::string ReportPage(const ReportContent &content, const std::string &json, const std::string &pageTemplate,
                       const CClock &clock);
