// scan: every record file of a card, as it lies in the day folders and
// their video and alarm folders, judged sound, incomplete (repairable, with
// the seconds a repair recovers) or unreadable, and the counts. The files
// are judged and printed one by one: nothing of a file is kept once its
// line is out.
#include <cstdio>
#include <string>

#include "card_files.h"
#include "commands.h"
#include "console.h"
#include "recording_tree.h"
#include "text_output.h"

namespace {

// The version of the --json output's shape.
constexpr int kScanSchema = 1;

}  // namespace

CliError RunScan(const CommandContext &c) {
    if (c.options.paths.size() != 1) return Fail(kExitUsage, "scan takes one card or day folder");
    const std::string &root = c.options.paths[0];
    if (CliError e = RequireFolder(root)) return e;
    const bool json = c.options.json;
    unsigned long counts[3] = {};
    unsigned long files = 0;
    if (json) std::fprintf(Out(), "{\"schema\": %d, \"root\": %s, \"files\": [", kScanSchema, JsonQuoted(root).c_str());
    for (const std::string &folder : FoldersOfCard(c.lib, root)) {
        for (const std::string &path : AviFiles(folder)) {
            const FileVerdict v = JudgeFile(path);
            ++counts[static_cast<int>(v.state)];
            if (json) {
                std::fprintf(Out(), "%s\n  {\"path\": %s, %s}", files ? "," : "", JsonQuoted(path).c_str(),
                             JsonMembers(v).c_str());
            } else if (v.state == FileState::Sound) {
                std::fprintf(Out(), "%-10s  %-17s  %s\n", "sound", SecondsText(v).c_str(), path.c_str());
            } else if (v.state == FileState::Incomplete) {
                std::fprintf(Out(), "%-10s  %-17s  %s  (%s)\n", "incomplete", (SecondsText(v) + " recoverable").c_str(),
                             path.c_str(), v.reason.c_str());
            } else {
                std::fprintf(Out(), "%-10s  %-17s  %s  (%s)\n", "unreadable", "", path.c_str(), v.reason.c_str());
            }
            ++files;
        }
    }
    const unsigned long sound = counts[0], incomplete = counts[1], unreadable = counts[2];
    if (json) {
        std::fprintf(Out(), "%s], \"counts\": {\"files\": %lu, \"sound\": %lu, \"incomplete\": %lu, \"unreadable\": %lu}}\n",
                     files ? "\n" : "", files, sound, incomplete, unreadable);
    } else {
        std::fprintf(Out(), "%lu record file%s: %lu sound, %lu incomplete, %lu unreadable\n", files,
                     files == 1 ? "" : "s", sound, incomplete, unreadable);
    }
    if (files == 0) return Fail(kExitNotRecordFile, root + ": no record files here, in its video and alarm folders or in its day folders");
    if (incomplete + unreadable > 0) {
        return Fail(kExitDamaged, std::to_string(incomplete + unreadable) + " of " + std::to_string(files) +
                                      " record files incomplete or unreadable (avfile repair recovers the incomplete)");
    }
    return {};
}
