#include "options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool AllDigits(const std::string &text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// "A-B" as two numbers; false when malformed.
bool ParseRange(const std::string &text, double &low, double &high) {
    const size_t dash = text.find('-', 1);
    if (dash == std::string::npos) return false;
    char *end = nullptr;
    const std::string a = text.substr(0, dash), b = text.substr(dash + 1);
    low = std::strtod(a.c_str(), &end);
    if (a.empty() || *end != 0) return false;
    high = std::strtod(b.c_str(), &end);
    return !b.empty() && *end == 0;
}

CliError SetPassword(Options &o, const std::string &text, const std::string &from) {
    PasswordEntry entry;
    if (!ParsePassword(text, entry)) return Fail(kExitUsage, from + " takes 16 hexadecimal digits or 8 characters");
    o.password = entry;
    return {};
}

using Setter = CliError (*)(Options &o, const std::string &value);

struct OptionRule {
    const char *name;       // long name, "--channel"
    const char *shortName;  // "-o", or null
    bool takesValue;
    const char *commands;   // the commands that take it, by name; "*": every command
    Setter set;
};

// Every option of the tool: one line each.
const OptionRule kOptions[] = {
    {"--help", "-h", false, "*", [](Options &o, const std::string &) -> CliError { o.help = true; return {}; }},
    {"--version", nullptr, false, "*", [](Options &o, const std::string &) -> CliError { o.version = true; return {}; }},
    {"--library", nullptr, true, "*", [](Options &o, const std::string &v) -> CliError { o.library = v; return {}; }},
    {"--quiet", "-q", false, "*", [](Options &o, const std::string &) -> CliError { o.verbosity = -1; return {}; }},
    {"--verbose", "-v", false, "*", [](Options &o, const std::string &) -> CliError { o.verbosity = 1; return {}; }},
    {"--json", nullptr, false, "days recordings info frames scan",
     [](Options &o, const std::string &) -> CliError { o.json = true; return {}; }},
    {"--output", "-o", true, "export clip timeline track repair report",
     [](Options &o, const std::string &v) -> CliError { o.output = v; return {}; }},
    {"--output-dir", nullptr, true, "repair",
     [](Options &o, const std::string &v) -> CliError { o.outputDir = v; return {}; }},
    {"--reference", nullptr, true, "repair",
     [](Options &o, const std::string &v) -> CliError { o.reference = v; return {}; }},
    {"--format", nullptr, true, "export export-day clip",
     [](Options &o, const std::string &v) -> CliError {
         if (v.empty()) return Fail(kExitUsage, "--format needs an extension, .mp4 say");
         o.format = v[0] == '.' ? v : "." + v;
         return {};
     }},
    {"--channel", nullptr, true, "info frames export export-day clip timeline track report",
     [](Options &o, const std::string &v) -> CliError {
         const int channel = AllDigits(v) && v.size() <= 2 ? std::atoi(v.c_str()) : 0;
         if (channel < 1 || channel > 16) {
             return Fail(kExitUsage, "--channel takes a channel number from 1 to 16, not " + v);
         }
         o.channel = channel - 1;
         return {};
     }},
    {"--password", nullptr, true, "check info frames export export-day clip timeline track report",
     [](Options &o, const std::string &v) { return SetPassword(o, v, "--password"); }},
    {"--password-file", nullptr, true, "check info frames export export-day clip timeline track report",
     [](Options &o, const std::string &v) -> CliError {
         std::ifstream in(v, std::ios::binary);
         std::string line;
         if (!in || !std::getline(in, line)) return Fail(kExitMissingPath, v + ": cannot read the password file");
         while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
         return SetPassword(o, line, "the password file " + v);
     }},
    {"--utc-offset", nullptr, true, "recordings info frames export export-day clip timeline track report",
     [](Options &o, const std::string &v) -> CliError {
         if (v == "gps") {
             o.utcOffsetFromGps = true;
             return {};
         }
         if (!ParseUtcOffset(v, o.utcOffsetUs)) return Fail(kExitUsage, "--utc-offset takes +HH:MM, -HH:MM or gps, not " + v);
         o.utcOffsetGiven = true;
         return {};
     }},
    {"--tz", nullptr, true, "recordings info frames export export-day clip timeline track report",
     [](Options &o, const std::string &v) -> CliError { o.timeZone = v; return {}; }},
    {"--no-clobber", "-n", false, "export export-day clip timeline track report",
     [](Options &o, const std::string &) -> CliError { o.overwrite = Overwrite::Keep; return {}; }},
    {"--overwrite", "-y", false, "export export-day clip timeline track repair report",
     [](Options &o, const std::string &) -> CliError { o.overwrite = Overwrite::Replace; return {}; }},
    {"--no-progress", nullptr, false, "export export-day clip",
     [](Options &o, const std::string &) -> CliError { o.progress = false; return {}; }},
    {"--keep-gaps", nullptr, false, "export clip",
     [](Options &o, const std::string &) -> CliError { o.keepGaps = true; return {}; }},
    {"--from", nullptr, true, "clip report", [](Options &o, const std::string &v) -> CliError { o.from = v; return {}; }},
    {"--to", nullptr, true, "clip report", [](Options &o, const std::string &v) -> CliError { o.to = v; return {}; }},
    {"--mosaic", nullptr, false, "clip", [](Options &o, const std::string &) -> CliError { o.mosaic = true; return {}; }},
    {"--gpx", nullptr, false, "clip", [](Options &o, const std::string &) -> CliError { o.gpx = true; return {}; }},
    {"--join", nullptr, false, "export-day", [](Options &o, const std::string &) -> CliError { o.join = true; return {}; }},
    {"--hours", nullptr, true, "timeline",
     [](Options &o, const std::string &v) -> CliError {
         double from = 0, to = 0;
         if (!ParseRange(v, from, to) || from != static_cast<int>(from) || to != static_cast<int>(to) || from < 0 ||
             to > 48 || from >= to) {
             return Fail(kExitUsage, "--hours takes FROM-TO in whole hours, 0-24 say, not " + v);
         }
         o.hours = std::make_pair(static_cast<int>(from), static_cast<int>(to));
         return {};
     }},
    {"--speed-range", nullptr, true, "track",
     [](Options &o, const std::string &v) -> CliError {
         double low = 0, high = 0;
         if (!ParseRange(v, low, high) || low < 0 || high <= low) {
             return Fail(kExitUsage, "--speed-range takes LOW-HIGH in km/h, 0-130 say, not " + v);
         }
         o.speedRange = std::make_pair(low, high);
         return {};
     }},
};

const OptionRule *FindRule(const std::string &name) {
    for (const OptionRule &r : kOptions) {
        if (name == r.name || (r.shortName && name == r.shortName)) return &r;
    }
    return nullptr;
}

bool TakenBy(const OptionRule &rule, const std::string &command) {
    if (std::strcmp(rule.commands, "*") == 0) return true;
    const std::string list = std::string(" ") + rule.commands + " ";
    return list.find(" " + command + " ") != std::string::npos;
}

}  // namespace

bool Options::Given(const char *longName) const {
    for (const std::string &g : given) {
        if (g == longName) return true;
    }
    return false;
}

bool ParseUtcOffset(const std::string &text, int64_t &offsetUs) {
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) return false;
    std::string hours = text.substr(1), minutes = "0";
    const size_t colon = hours.find(':');
    if (colon != std::string::npos) {
        minutes = hours.substr(colon + 1);
        hours.resize(colon);
        if (minutes.size() != 2) return false;
    } else if (hours.size() == 4) {
        minutes = hours.substr(2);
        hours.resize(2);
    }
    if (hours.empty() || hours.size() > 2 || !AllDigits(hours) || !AllDigits(minutes)) return false;
    const int h = std::atoi(hours.c_str()), m = std::atoi(minutes.c_str());
    if (m > 59 || h * 60 + m > 14 * 60) return false;
    offsetUs = (text[0] == '-' ? -1 : 1) * (static_cast<int64_t>(h) * 3600 + m * 60) * 1000000;
    return true;
}

bool ParsePassword(const std::string &text, PasswordEntry &entry) {
    entry = PasswordEntry{};
    if (text.size() == 8) {
        std::memcpy(entry.key, text.data(), 8);
        return true;
    }
    if (text.size() != 16) return false;
    for (size_t i = 0; i < 8; ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        entry.key[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

CliError ParseOptions(int argc, char **argv, Options &o) {
    bool positionalOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (positionalOnly || a.size() < 2 || a[0] != '-') {
            // "-" alone is a path: standard output where an output is named.
            if (o.command.empty()) o.command = a;
            else o.paths.push_back(a);
            continue;
        }
        if (a == "--") {
            positionalOnly = true;
            continue;
        }
        std::string name = a, value;
        bool inline_ = false;
        const size_t equals = a.find('=');
        if (a.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = a.substr(0, equals);
            value = a.substr(equals + 1);
            inline_ = true;
        }
        const OptionRule *rule = FindRule(name);
        if (!rule) return Fail(kExitUsage, "unknown option " + name);
        if (rule->takesValue && !inline_) {
            if (i + 1 >= argc) return Fail(kExitUsage, a + " needs a value");
            value = argv[++i];
        } else if (!rule->takesValue && inline_) {
            return Fail(kExitUsage, name + " takes no value");
        }
        const bool password = std::strncmp(rule->name, "--password", 10) == 0;
        if (password && (o.Given("--password") || o.Given("--password-file"))) {
            return Fail(kExitUsage, "give the password once: --password or --password-file");
        }
        if (CliError e = rule->set(o, value)) return e;
        o.given.push_back(rule->name);
    }
    // The environment's password serves the commands that read one.
    const char *fromEnvironment = std::getenv("AVFILE_PASSWORD");
    const OptionRule *passwordRule = FindRule("--password");
    if (!o.password && fromEnvironment && *fromEnvironment && passwordRule && TakenBy(*passwordRule, o.command)) {
        if (CliError e = SetPassword(o, fromEnvironment, "AVFILE_PASSWORD")) return e;
    }
    return {};
}

CliError CheckOptionsOfCommand(const Options &o) {
    for (const std::string &g : o.given) {
        const OptionRule *rule = FindRule(g);
        if (rule && !TakenBy(*rule, o.command)) return Fail(kExitUsage, o.command + " does not take " + g);
    }
    return {};
}
