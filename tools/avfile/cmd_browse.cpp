// days, recordings and check: the card's day folders, a day's recordings,
// and whether a folder holds recordings at all.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "record_file.h"
#include "recording_tree.h"
#include "text_output.h"

namespace {

CliError OnePath(const CommandContext &c, const char *what) {
    if (c.options.paths.size() != 1) return Fail(kExitUsage, std::string(c.options.command) + " takes one " + what);
    return {};
}

std::string ChannelList(const Recording &r, const char *separator) {
    std::string list;
    for (const RecordingFile &f : r.files) {
        if (!list.empty()) list += separator;
        list += std::to_string(f.channel + 1);
    }
    return list;
}

// True when the folder, as a day folder or as a card with day folders,
// holds a recording whose files are encrypted.
bool HasEncryptedRecording(const AvFileLibrary &lib, const std::string &folder) {
    std::vector<std::string> dayFolders = {folder};
    std::vector<DayFolder> days;
    if (!ListDays(lib, folder, days)) {
        for (const DayFolder &d : days) dayFolders.push_back(d.path);
    }
    for (const std::string &day : dayFolders) {
        std::vector<Recording> recordings;
        if (ListRecordings(lib, day, recordings, true)) continue;
        for (const Recording &r : recordings) {
            if (r.encrypted) return true;
        }
    }
    return false;
}

}  // namespace

CliError RunDays(const CommandContext &c) {
    if (CliError e = OnePath(c, "card folder")) return e;
    std::vector<DayFolder> days;
    if (CliError e = ListDays(c.lib, c.options.paths[0], days)) return e;
    if (c.options.json) {
        std::fprintf(Out(), "[");
        for (size_t i = 0; i < days.size(); ++i) {
            const DayFolder &d = days[i];
            std::fprintf(Out(), "%s\n  {\"date\": \"%04d-%02d-%02d\", \"path\": %s}", i ? "," : "", d.year, d.month, d.day,
                        JsonQuoted(d.path).c_str());
        }
        std::fprintf(Out(), "%s]\n", days.empty() ? "" : "\n");
        return {};
    }
    std::fprintf(Out(), "%zu day folder%s in %s\n", days.size(), days.size() == 1 ? "" : "s", c.options.paths[0].c_str());
    for (const DayFolder &d : days) std::fprintf(Out(), "%04d-%02d-%02d  %s\n", d.year, d.month, d.day, d.path.c_str());
    return {};
}

CliError RunRecordings(const CommandContext &c) {
    if (CliError e = OnePath(c, "day folder")) return e;
    std::vector<Recording> recordings;
    if (CliError e = ListRecordings(c.lib, c.options.paths[0], recordings, true)) return e;
    if (c.options.json) {
        std::fprintf(Out(), "[");
        for (size_t i = 0; i < recordings.size(); ++i) {
            const Recording &r = recordings[i];
            std::fprintf(Out(), "%s\n  {\"start\": %s, \"clock\": %s, \"startUs\": %lld, \"durationMs\": %u, "
                        "\"alarm\": %s, \"encrypted\": %s, \"channels\": [%s], \"files\": [",
                        i ? "," : "", JsonQuoted(c.clock.Format(r.startUs)).c_str(),
                        JsonQuoted(c.clock.Label()).c_str(), static_cast<long long>(c.clock.Shown(r.startUs)),
                        r.durationMs, r.alarm ? "true" : "false", r.encrypted ? "true" : "false",
                        ChannelList(r, ", ").c_str());
            for (size_t f = 0; f < r.files.size(); ++f) {
                std::fprintf(Out(), "%s%s", f ? ", " : "", JsonQuoted(r.files[f].path).c_str());
            }
            std::fprintf(Out(), "]}");
        }
        std::fprintf(Out(), "%s]\n", recordings.empty() ? "" : "\n");
        return {};
    }
    std::fprintf(Out(), "%zu recording%s in %s (times: %s)\n", recordings.size(), recordings.size() == 1 ? "" : "s",
                c.options.paths[0].c_str(), c.clock.Label().c_str());
    for (const Recording &r : recordings) {
        std::string names;
        for (const RecordingFile &f : r.files) names += "  " + BaseName(f.path);
        std::fprintf(Out(), "%-20s %9s  %-6s %-9s ch %-8s%s\n", c.clock.Format(r.startUs).c_str(),
                    FormatDuration(static_cast<int64_t>(r.durationMs) * 1000).c_str(), r.alarm ? "alarm" : "normal",
                    r.encrypted ? "encrypted" : "", ChannelList(r, ",").c_str(), names.c_str());
    }
    return {};
}

CliError RunCheck(const CommandContext &c) {
    if (CliError e = OnePath(c, "folder")) return e;
    const std::string &path = c.options.paths[0];
    if (CliError e = RequireFolder(path)) return e;
    const std::string folder = AsFolder(path);
    if (folder.size() >= AVFILE_MAX_PATH) return Fail(kExitUsage, path + ": path too long");
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE] = {};
    unsigned char ioName[AVFILE_IO_NAME_SIZE] = {};
    const PasswordEntry *passwords = c.options.password ? &*c.options.password : nullptr;
    const int32_t result =
        c.lib.CheckFolder(folder.c_str(), passwords, passwords ? 1 : 0, 1, terminal, ioName);
    if (result == 0) {
        std::fprintf(Out(), "%s: holds recordings of the recorder (a record file opened)\n", path.c_str());
        return {};
    }
    // The check ends on the result of its last step, so an encrypted
    // recording refused early in the walk can end as "nothing found". The
    // recordings the searches list tell which it was.
    if (result == 2 || HasEncryptedRecording(c.lib, folder)) {
        return Fail(kExitPassword, path + ": the recordings found are encrypted and " +
                                       (passwords ? "the password given opens none of them"
                                                  : "need their password (--password)"));
    }
    return Fail(kExitNotRecordFile, path + ": no readable record file of the recorder found here, in its video and "
                                           "alarm folders or in its day folders");
}
