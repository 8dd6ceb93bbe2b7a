// Whole-interface exercise of one record file or one recording tree.
#include "hardening/exercise.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t kFrameBufferBytes = 512000;

uint64_t Fnv(const unsigned char *data, size_t n, uint64_t h = 1469598103934665603ull) {
    for (size_t i = 0; i < n; ++i) {
        h ^= data[i];
        h *= 1099511628211ull;
    }
    return h;
}

// Every export answers 0 or 1; only an open or a folder check with the
// password check on may also answer 2, and the exercise never asks for one.
bool IsResult(int32_t r) { return r == 0 || r == 1; }

std::string Describe(const char *what, int32_t value) {
    char text[96];
    std::snprintf(text, sizeof text, "%s returned %d", what, value);
    return text;
}

AvFrameInfo Request(int32_t type, int32_t firstWord = 0) {
    AvFrameInfo r{};
    r.timeUs = firstWord;
    r.type = type;
    return r;
}

// Runs `step` until it returns 1, at most `bound` times; each delivered frame
// is checked and hashed into the report.
template <typename Step>
void RunLoop(const char *what, uint64_t bound, PlaybackReport &report, Step step) {
    for (uint64_t i = 0;; ++i) {
        if (!report.fault.empty()) return;
        if (i > bound) {
            report.fault = std::string(what) + " did not end";
            return;
        }
        AvFrameInfo frame{};
        const int32_t r = step(frame);
        if (r == 1) return;
        if (r != 0) {
            report.fault = Describe(what, r);
            return;
        }
        report.fault = CheckFrame(frame);
        if (!report.fault.empty()) {
            report.fault = std::string(what) + ": " + report.fault;
            return;
        }
        ++report.frames;
        report.checksum = Fnv(frame.data, static_cast<size_t>(frame.length), report.checksum);
    }
}

}  // namespace

std::string CheckFrame(const AvFrameInfo &frame) {
    char text[128];
    if (frame.type < FRAME_TYPE_I || frame.type > FRAME_TYPE_SIDEDATA) {
        std::snprintf(text, sizeof text, "frame of type %d", frame.type);
        return text;
    }
    if (frame.length < 1 || frame.length > kFrameBufferBytes || frame.data == nullptr) {
        std::snprintf(text, sizeof text, "frame of type %d with length %d", frame.type,
                      frame.length);
        return text;
    }
    if (frame.type == FRAME_TYPE_SIDEDATA && frame.length != 4 && frame.length != 48 &&
        frame.length != 244 && frame.length != 288) {
        std::snprintf(text, sizeof text, "side-data record of %d bytes", frame.length);
        return text;
    }
    return std::string();
}

std::vector<FrameRecord> FrameSequence(AvFileHandle handle, uint64_t byteBound) {
    std::vector<FrameRecord> out;
    if (AVFILE_FESeekBegin(handle) != 0) return out;
    const AvFrameInfo request = Request(0);
    for (uint64_t i = 0; i <= byteBound / 8 + 16; ++i) {
        AvFrameInfo frame{};
        if (AVFILE_FEReadFrame(handle, &frame, &request) != 0) break;
        out.push_back({frame.timeUs, frame.type, frame.length,
                       frame.data ? Fnv(frame.data, static_cast<size_t>(frame.length)) : 0});
    }
    return out;
}

PlaybackReport ExercisePlayback(const std::string &path, uint64_t byteBound) {
    PlaybackReport report;
    const uint64_t bound = byteBound / 8 + 16;
    int handleMark = 0;
    AvFileHandle handle = &handleMark;
    report.openResult = AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle);
    if (report.openResult != 0) {
        if (!IsResult(report.openResult)) report.fault = Describe("open", report.openResult);
        else if (handle != &handleMark) report.fault = "a failed open wrote the handle";
        return report;
    }
    if (handle == nullptr || handle == &handleMark) {
        report.fault = "open succeeded without a handle";
        return report;
    }

    RecFileInfo info{};
    AvWaveFormatEx format{};
    uint32_t frameSize = 0;
    int32_t codec = 0, codecParam = 0;
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    const int32_t getters[] = {
        AVFILE_FEGetFileInfo(handle, &info),
        AVFILE_FEGetWaveFormat(handle, &format, &frameSize, &codec, &codecParam),
        AVFILE_FEGetTerminalInfo(handle, terminal),
        AVFILE_FEGetIOName(handle, ioName),
    };
    for (int32_t r : getters) {
        if (!IsResult(r)) report.fault = Describe("an information getter", r);
    }

    // Sequential reading from where the open left the reader (a file without
    // index is read this way), then from the first key frame, then audio of
    // channel 1.
    const AvFrameInfo plain = Request(0);
    RunLoop("reading from the open", bound, report, [&](AvFrameInfo &frame) {
        return AVFILE_FEReadFrame(handle, &frame, &plain);
    });
    if (!IsResult(AVFILE_FESeekBegin(handle))) report.fault = "seek to the beginning";
    RunLoop("sequential reading", bound, report, [&](AvFrameInfo &frame) {
        const int32_t r = AVFILE_FEReadFrame(handle, &frame, &plain);
        if (r == 0) {
            report.sequence.push_back(frame.type);
            report.sequence.push_back(frame.timeUs);
            report.sequence.push_back(frame.length);
        }
        return r;
    });
    const AvFrameInfo channel1 = Request(FRAME_REQ_AUDIO_CHANNEL, 1);
    AVFILE_FESeekBegin(handle);
    RunLoop("reading audio of channel 1", bound, report, [&](AvFrameInfo &frame) {
        return AVFILE_FEReadFrame(handle, &frame, &channel1);
    });
    if (report.fault.empty() && AVFILE_FEReadFrame(handle, nullptr, &plain) != 1) {
        report.fault = "a read into no frame record did not fail";
    }

    // Seeks around and beyond the recording, each followed by a few frames.
    const int64_t start = info.startTimeUs, stop = info.stopTimeUs;
    const int64_t times[] = {start, start + 1000000, start + (stop - start) / 2, stop,
                             stop + 1000000, start - 1000000, 0, -1, INT64_MAX};
    for (int64_t t : times) {
        const uint64_t u = static_cast<uint64_t>(t);
        const int32_t r = AVFILE_FESeekIFrame(handle, static_cast<uint32_t>(u),
                                              static_cast<uint32_t>(u >> 32));
        if (!IsResult(r)) report.fault = Describe("a seek", r);
        uint64_t taken = 0;
        RunLoop("reading after a seek", bound, report, [&](AvFrameInfo &frame) {
            return ++taken > 3 ? 1 : AVFILE_FEReadFrame(handle, &frame, &plain);
        });
    }

    // Steps to later key frames until none is left, then back to earlier ones.
    AVFILE_FESeekBegin(handle);
    RunLoop("stepping to later key frames", bound, report, [&](AvFrameInfo &frame) {
        return AVFILE_FEBackwardIFrame(handle, &frame, &plain);
    });
    RunLoop("stepping to earlier key frames", bound, report, [&](AvFrameInfo &frame) {
        return AVFILE_FEForwardIFrame(handle, &frame, &plain);
    });

    // Every side-data record the index lists.
    const AvFrameInfo sideData = Request(FRAME_REQ_SIDEDATA);
    const uint64_t before = report.frames;
    RunLoop("side data on request", bound, report, [&](AvFrameInfo &frame) {
        const int32_t r = AVFILE_FEReadFrame(handle, &frame, &sideData);
        if (r == 0 && frame.type != FRAME_TYPE_SIDEDATA) return -1;
        return r;
    });
    report.sideData = report.frames - before;

    const int32_t closed = AVFILE_FECloseFile(handle);
    if (report.fault.empty() && closed != 0) report.fault = Describe("close", closed);
    return report;
}

// ---- Recording trees ----

namespace {

thread_local TreeReport *tCurrentTree = nullptr;

// Length of a text in a fixed field; `size` when it has no terminator there.
size_t FieldLength(const char *text, size_t size) {
    const void *end = std::memchr(text, '\0', size);
    return end ? static_cast<size_t>(static_cast<const char *>(end) - text) : size;
}

int AVFILE_CALL OnDay(RecDayInfo *day, int32_t) {
    TreeReport &tree = *tCurrentTree;
    if (FieldLength(day->path, sizeof day->path) == sizeof day->path) {
        tree.fault = "day path without terminator";
        return 0;
    }
    if (day->year < 1970 || day->year > 2050 || day->month < 1 || day->month > 12 ||
        day->day < 1 || day->day > 31) {
        tree.fault = "day out of bounds";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%d-%d-%d ", day->year, day->month, day->day);
    tree.days.push_back(text + std::string(day->path));
    return 0;
}

int AVFILE_CALL OnGroup(RecGroupInfo *group, int32_t) {
    TreeReport &tree = *tCurrentTree;
    if (group->count < 1 || group->count > 16) {
        tree.fault = "group of " + std::to_string(group->count) + " files";
        return 0;
    }
    std::string text;
    for (int32_t i = 0; i < group->count; ++i) {
        // Byte 255 of the first path may carry the composite byte.
        const size_t size = i == 0 ? 255 : sizeof group->paths[i];
        if (FieldLength(group->paths[i], size) == size) {
            tree.fault = "group path without terminator";
            return 0;
        }
        if (group->channels[i] < 0 || group->channels[i] > 15 ||
            (i > 0 && group->channels[i] <= group->channels[i - 1])) {
            tree.fault = "group channels out of order";
        }
        text += std::string(group->paths[i], FieldLength(group->paths[i], size)) + "#" + std::to_string(group->channels[i]) + " ";
    }
    const AvSystemTime &t = group->startTime;
    // A group of one file carries its composite byte in byte 255.
    if (group->count == 1) {
        text += "composite " + std::to_string(static_cast<unsigned char>(group->paths[0][255])) + " ";
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, "%04u%02u%02u-%02u%02u%02u %u ms alarm %d", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, group->durationMs,
                  group->alarm);
    tree.groupFiles.push_back(text);
    tree.groups.push_back(text + tail);
    return 0;
}

// Reports into `tree` while `call` runs.
template <typename Call>
int32_t ReportingInto(TreeReport &tree, Call call) {
    TreeReport *outer = tCurrentTree;
    tCurrentTree = &tree;
    const int32_t result = call();
    tCurrentTree = outer;
    return result;
}

}  // namespace

int32_t SearchDaysInto(const std::string &root, TreeReport &tree) {
    return ReportingInto(tree, [&] { return AVFILE_SearchDay(root.c_str(), 7, OnDay); });
}

int32_t SearchFilesInto(const std::string &folder, TreeReport &tree) {
    return ReportingInto(tree, [&] { return AVFILE_SearchFile(folder.c_str(), 7, OnGroup); });
}

TreeReport ExerciseTree(const std::string &root) {
    TreeReport tree;
    tree.dayResult = SearchDaysInto(root, tree);
    if (!IsResult(tree.dayResult)) tree.fault = Describe("day search", tree.dayResult);
    std::vector<std::string> folders{root};
    for (const std::string &day : tree.days) folders.push_back(day.substr(day.find(' ') + 1));
    for (const std::string &folder : folders) {
        const int32_t r = SearchFilesInto(folder, tree);
        if (r != 1) tree.fault = Describe("file search", r);
    }
    const int32_t event = ReportingInto(
        tree, [&] { return AVFILE_SearchEvent(root.c_str(), 7, OnGroup); });
    if (event != 1) tree.fault = Describe("event search", event);
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    tree.checkResult = AVFILE_CheckFolder(root.c_str(), nullptr, 0, 0, terminal, ioName);
    if (!IsResult(tree.checkResult)) tree.fault = Describe("folder check", tree.checkResult);
    return tree;
}
