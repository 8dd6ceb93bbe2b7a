#include "card_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "recording_tree.h"
#include "salvage/salvage_scan.h"
#include "text_output.h"

namespace {

std::string Bytes(uint64_t usable, uint64_t total) {
    char text[64];
    std::snprintf(text, sizeof text, "%llu of %llu bytes usable", static_cast<unsigned long long>(usable),
                  static_cast<unsigned long long>(total));
    return text;
}

}  // namespace

const char *StateName(FileState state) {
    switch (state) {
    case FileState::Sound: return "sound";
    case FileState::Incomplete: return "incomplete";
    case FileState::Unreadable: break;
    }
    return "unreadable";
}

std::string SecondsText(const FileVerdict &v) {
    if (v.seconds < 0) return "? s";
    char text[48];
    std::snprintf(text, sizeof text, "%.1f s", v.seconds);
    return text;
}

std::string Describe(const FileVerdict &v) {
    std::string text = StateName(v.state);
    if (v.state == FileState::Incomplete) text += ", " + SecondsText(v) + " recoverable";
    if (!v.reason.empty()) text += " (" + v.reason + ")";
    return text;
}

std::string JsonMembers(const FileVerdict &v) {
    char seconds[48] = "null";
    if (v.seconds >= 0) std::snprintf(seconds, sizeof seconds, "%.3f", v.seconds);
    char bytes[96];
    std::snprintf(bytes, sizeof bytes, "\"bytes\": %llu, \"usableBytes\": %llu", static_cast<unsigned long long>(v.bytes),
                  static_cast<unsigned long long>(v.usableBytes));
    return std::string("\"state\": \"") + StateName(v.state) + "\", \"seconds\": " + seconds + ", " + bytes +
           ", \"reason\": " + (v.reason.empty() ? std::string("null") : JsonQuoted(v.reason));
}

FileVerdict JudgeFile(const std::string &path) {
    bool walked = false;
    const salvage::ScanResult r = salvage::ExamineFile(path.c_str(), &walked);
    return Judge(r, walked);
}

FileVerdict Judge(const salvage::ScanResult &r, bool walked) {
    FileVerdict v;
    v.bytes = r.totalBytes;
    v.usableBytes = r.usableBytes;
    if (r.status == salvage::ScanStatus::CannotOpen) {
        v.reason = "cannot be read";
        return v;
    }
    if (r.status == salvage::ScanStatus::OutOfMemory) {
        v.reason = "out of memory while reading it";
        return v;
    }
    const bool period = r.headerIntact && r.microsPerFrame > 0;
    if (r.Sound()) {
        v.state = FileState::Sound;
        const uint32_t frames = walked ? r.videoFrames : r.frameCountField;
        if (period) v.seconds = frames * (r.microsPerFrame / 1e6);
        return v;
    }
    if (r.totalBytes == 0) {
        v.reason = "empty file";
    } else if (!r.movieListFound) {
        v.reason = r.riffSignature ? "no movie list" : "no RIFF AVI header";
    } else if (r.videoFrames == 0) {
        v.reason = "no complete video frame";
    } else {
        v.state = FileState::Incomplete;
        if (period) v.seconds = r.videoFrames * (r.microsPerFrame / 1e6);
        v.reason = Bytes(r.usableBytes, r.totalBytes);
        if (!r.indexPresent) v.reason += ", no index";
        if (r.tornChunkDropped) v.reason += ", torn last chunk";
        if (!r.headerIntact) {
            v.reason += ", recorder header lost (a repair needs --reference)";
        } else if (!r.stopTimeWritten) {
            v.reason += ", no stop time";
        }
    }
    return v;
}

std::vector<std::string> FoldersOfDay(const std::string &dayFolder) {
    std::vector<std::string> folders;
    std::error_code ec;
    const std::string day = AsFolder(dayFolder);
    for (const std::string &folder : {day, day + "video/", day + "alarm/"}) {
        if (std::filesystem::is_directory(folder, ec)) folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string> FoldersOfCard(const AvFileLibrary &library, const std::string &root) {
    std::vector<std::string> folders = FoldersOfDay(root);
    std::vector<DayFolder> days;
    if (!ListDays(library, root, days)) {
        for (const DayFolder &d : days) {
            for (std::string &folder : FoldersOfDay(d.path)) folders.push_back(std::move(folder));
        }
    }
    return folders;
}

std::vector<std::string> AviFiles(const std::string &folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() < 4) continue;
        std::string extension = name.substr(name.size() - 4);
        for (char &ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::error_code kind;
        if (extension != ".avi" || it->is_directory(kind)) continue;
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    for (std::string &name : names) name = AsFolder(folder) + name;
    return names;
}

std::string SamePath(const std::string &path) {
    return std::filesystem::path(path).lexically_normal().generic_string();
}
