// ffprobe's report of a file (-of default: [STREAM] and [FORMAT] sections
// of name=value lines) read into fields, and their comparison with what a
// test expects: numbers as numbers, within a tolerance, and names as text,
// so that the way one ffprobe version prints a number does not matter.
#pragma once

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct ProbeSection {
    std::string kind;  // "STREAM", "FORMAT"
    std::map<std::string, std::string> fields;
};

inline std::vector<ProbeSection> ParseProbeReport(const std::string &report) {
    std::vector<ProbeSection> sections;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            if (line[1] != '/') sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const size_t equals = line.find('=');
        if (equals != std::string::npos && !sections.empty()) {
            sections.back().fields[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return sections;
}

// A field a test expects: a text, or a number and how far off it may be.
struct ProbeField {
    ProbeField(const char *name, const char *text) : name(name), text(text) {}
    ProbeField(const char *name, double value, double tolerance = 0)
        : name(name), value(value), tolerance(tolerance), numeric(true) {}
    std::string name, text;
    double value = 0, tolerance = 0;
    bool numeric = false;
};

inline ::testing::AssertionResult FieldsAre(const ProbeSection &section, const std::vector<ProbeField> &expected) {
    for (const ProbeField &e : expected) {
        const auto it = section.fields.find(e.name);
        if (it == section.fields.end()) return ::testing::AssertionFailure() << section.kind << " has no " << e.name;
        const std::string &actual = it->second;
        if (!e.numeric) {
            if (actual != e.text) return ::testing::AssertionFailure() << e.name << " is " << actual << ", not " << e.text;
            continue;
        }
        char *end = nullptr;
        const double number = std::strtod(actual.c_str(), &end);
        if (actual.empty() || *end != '\0' || !(std::fabs(number - e.value) <= e.tolerance)) {
            return ::testing::AssertionFailure() << e.name << " is " << actual << ", not " << e.value << " (within "
                                                 << e.tolerance << ")";
        }
    }
    return ::testing::AssertionSuccess();
}
