// days, recordings and check: the card's day folders, a day's recordings,
// and whether a folder holds recordings at all.
#include <cstdio>
#include <string>
#include <vector>

#include <set>
#include <utility>

#include "card_files.h"
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

using DamagedFile = std::pair<std::string, FileVerdict>;

// The damaged files of a day folder: those of each recording listed, and
// the *.avi files of its folders that the search did not list at all.
struct DayDamage {
    std::vector<std::vector<DamagedFile>> ofRecording;  // one list per recording
    std::vector<DamagedFile> unlisted;
    size_t count = 0;
};

DayDamage FindDamage(const std::vector<Recording> &recordings, const std::string &dayFolder) {
    DayDamage d;
    std::set<std::string> listed;
    for (const Recording &r : recordings) {
        d.ofRecording.emplace_back();
        for (const RecordingFile &f : r.files) {
            if (!listed.insert(SamePath(f.path)).second) continue;
            FileVerdict v = JudgeFile(f.path);
            if (v.state != FileState::Sound) d.ofRecording.back().emplace_back(f.path, std::move(v));
        }
        d.count += d.ofRecording.back().size();
    }
    for (const std::string &folder : FoldersOfDay(dayFolder)) {
        for (const std::string &path : AviFiles(folder)) {
            if (listed.count(SamePath(path)) != 0) continue;
            FileVerdict v = JudgeFile(path);
            // A sound file the search does not list stays left out, as
            // before (scan lists every file).
            if (v.state != FileState::Sound) d.unlisted.emplace_back(path, std::move(v));
        }
    }
    d.count += d.unlisted.size();
    return d;
}

std::string DamagedJson(const DamagedFile &f, bool listed) {
    return "{\"path\": " + JsonQuoted(f.first) + ", " + JsonMembers(f.second) + (listed ? "" : ", \"listed\": false") + "}";
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
    const DayDamage damage = FindDamage(recordings, c.options.paths[0]);
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
            std::fprintf(Out(), "]");
            // Only a recording with damaged files has the member.
            const std::vector<DamagedFile> &damaged = damage.ofRecording[i];
            for (size_t f = 0; f < damaged.size(); ++f) {
                std::fprintf(Out(), "%s%s", f ? ", " : ", \"damaged\": [", DamagedJson(damaged[f], true).c_str());
            }
            std::fprintf(Out(), "%s}", damaged.empty() ? "" : "]");
        }
        // The damaged files the search did not list, behind the recordings.
        for (size_t f = 0; f < damage.unlisted.size(); ++f) {
            std::fprintf(Out(), "%s\n  %s", recordings.empty() && f == 0 ? "" : ",",
                         DamagedJson(damage.unlisted[f], false).c_str());
        }
        std::fprintf(Out(), "%s]\n", recordings.empty() && damage.unlisted.empty() ? "" : "\n");
        return {};
    }
    std::fprintf(Out(), "%zu recording%s in %s (times: %s)\n", recordings.size(), recordings.size() == 1 ? "" : "s",
                c.options.paths[0].c_str(), c.clock.Label().c_str());
    for (size_t i = 0; i < recordings.size(); ++i) {
        const Recording &r = recordings[i];
        std::string names;
        for (const RecordingFile &f : r.files) names += "  " + BaseName(f.path);
        std::fprintf(Out(), "%-20s %9s  %-6s %-9s ch %-8s%s\n", c.clock.Format(r.startUs).c_str(),
                    FormatDuration(static_cast<int64_t>(r.durationMs) * 1000).c_str(), r.alarm ? "alarm" : "normal",
                    r.encrypted ? "encrypted" : "", ChannelList(r, ",").c_str(), names.c_str());
        for (const DamagedFile &f : damage.ofRecording[i]) {
            std::fprintf(Out(), "%-20s   damaged: %s %s\n", "", BaseName(f.first).c_str(), Describe(f.second).c_str());
        }
    }
    for (const DamagedFile &f : damage.unlisted) {
        std::fprintf(Out(), "not listed: %s %s\n", f.first.c_str(), Describe(f.second).c_str());
    }
    if (damage.count > 0) {
        std::fprintf(Out(), "%zu damaged record file%s (avfile scan tells more; avfile repair recovers the incomplete)\n",
                     damage.count, damage.count == 1 ? "" : "s");
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
    if (result == 0) std::fprintf(Out(), "%s: holds recordings of the recorder (a record file opened)\n", path.c_str());
    // A record file that opened says nothing of the others: the damaged
    // ones are named, and the folder is not called fine.
    size_t damaged = 0;
    for (const std::string &dayFolder : FoldersOfCard(c.lib, folder)) {
        for (const std::string &file : AviFiles(dayFolder)) {
            const FileVerdict v = JudgeFile(file);
            if (v.state == FileState::Sound) continue;
            std::fprintf(Out(), "damaged: %s %s\n", file.c_str(), Describe(v).c_str());
            ++damaged;
        }
    }
    if (result == 0 && damaged > 0) {
        return Fail(kExitDamaged, path + ": " + std::to_string(damaged) + " damaged record file" + (damaged == 1 ? "" : "s") +
                                      " (avfile scan tells more; avfile repair recovers the incomplete)");
    }
    if (result == 0) return {};
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
