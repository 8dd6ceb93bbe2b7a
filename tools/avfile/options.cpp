#include "options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

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

}  // namespace

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
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&](std::string &out) -> CliError {
            if (i + 1 >= argc) return Fail(kExitUsage, a + " needs a value");
            out = argv[++i];
            return {};
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "-o" || a == "--output") {
            if (CliError e = value(o.output)) return e;
        } else if (a == "--output-dir") {
            if (CliError e = value(o.outputDir)) return e;
        } else if (a == "--reference") {
            if (CliError e = value(o.reference)) return e;
        } else if (a == "--library") {
            if (CliError e = value(o.library)) return e;
        } else if (a == "--format") {
            if (CliError e = value(v)) return e;
            o.format = v.empty() || v[0] == '.' ? v : "." + v;
        } else if (a == "--channel") {
            if (CliError e = value(v)) return e;
            const int channel = AllDigits(v) && v.size() <= 2 ? std::atoi(v.c_str()) : 0;
            if (channel < 1 || channel > 16) {
                return Fail(kExitUsage, "--channel takes a channel number from 1 to 16, not " + v);
            }
            o.channel = channel - 1;
        } else if (a == "--password") {
            if (CliError e = value(v)) return e;
            PasswordEntry entry;
            if (!ParsePassword(v, entry)) {
                return Fail(kExitUsage, "--password takes 16 hexadecimal digits or 8 characters");
            }
            o.password = entry;
        } else if (a == "--utc-offset") {
            if (CliError e = value(v)) return e;
            if (!ParseUtcOffset(v, o.utcOffsetUs)) {
                return Fail(kExitUsage, "--utc-offset takes +HH:MM or -HH:MM, not " + v);
            }
            o.utcOffsetGiven = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail(kExitUsage, "unknown option " + a);
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.paths.push_back(a);
        }
    }
    return {};
}
