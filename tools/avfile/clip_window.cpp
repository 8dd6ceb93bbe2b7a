#include "clip_window.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "record_file.h"

namespace {

constexpr int64_t kDayUs = int64_t{86400} * 1000000;

bool Digits(const std::string &text, size_t at, size_t n, int &value) {
    if (at + n > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.fff" from `at` to the end, as
// microseconds into a day.
bool TimeOfDay(const std::string &text, size_t at, int64_t &us) {
    int h = 0, m = 0, s = 0;
    int64_t fraction = 0;
    size_t n = text.size() - at;
    if (n > 9 && n <= 15 && text[at + 8] == '.') {
        int64_t scale = 100000;
        for (size_t i = at + 9; i < text.size(); ++i, scale /= 10) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
            fraction += (text[i] - '0') * scale;
        }
        n = 8;
    }
    if ((n != 5 && n != 8) || !Digits(text, at, 2, h) || text[at + 2] != ':' || !Digits(text, at + 3, 2, m)) {
        return false;
    }
    if (n == 8 && (text[at + 5] != ':' || !Digits(text, at + 6, 2, s))) return false;
    if (h > 23 || m > 59 || s > 59) return false;
    us = (static_cast<int64_t>(h) * 3600 + m * 60 + s) * 1000000 + fraction;
    return true;
}

}  // namespace

bool ParseClipTime(const std::string &text, int64_t dayShownUs, int64_t &shownUs) {
    int64_t into = 0;
    if (TimeOfDay(text, 0, into)) {
        shownUs = dayShownUs + into;
        return true;
    }
    int y = 0, mo = 0, d = 0;
    if (text.size() < 16 || !Digits(text, 0, 4, y) || text[4] != '-' || !Digits(text, 5, 2, mo) || text[7] != '-' ||
        !Digits(text, 8, 2, d) || (text[10] != ' ' && text[10] != 'T') || mo < 1 || mo > 12 || d < 1 || d > 31) {
        return false;
    }
    std::string rest = text.substr(11);
    if (!rest.empty() && rest.back() == 'Z') rest.pop_back();
    if (!TimeOfDay(rest, 0, into)) return false;
    AvSystemTime date{};
    date.wYear = static_cast<uint16_t>(y);
    date.wMonth = static_cast<uint16_t>(mo);
    date.wDay = static_cast<uint16_t>(d);
    shownUs = SystemTimeToUs(date) + into;
    return true;
}

int64_t RecorderTime(const CClock &clock, int64_t shownUs, int64_t nearRecorderUs) {
    return shownUs + (nearRecorderUs - clock.Shown(nearRecorderUs));
}

int64_t ShownMidnight(const CClock &clock, int64_t recorderUs) {
    const int64_t shown = clock.Shown(recorderUs);
    return shown - ((shown % kDayUs) + kDayUs) % kDayUs;
}

std::vector<ClipFile> FilesInWindow(const std::vector<Recording> &recordings, int channel, int64_t fromUs,
                                    int64_t toUs) {
    std::vector<ClipFile> files;
    for (const Recording &r : recordings) {
        if (r.EndUs() <= fromUs || r.startUs >= toUs) continue;
        for (const RecordingFile &f : r.files) {
            if (f.channel == channel) files.push_back({f.path, r.startUs, r.EndUs()});
        }
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const ClipFile &a, const ClipFile &b) { return a.startUs < b.startUs; });
    return files;
}

void PlaceFiles(const AvFileLibrary &library, const std::optional<PasswordEntry> &password,
                std::vector<ClipFile> &files) {
    for (ClipFile &f : files) {
        CRecordFile file(library);
        if (file.Open(f.path, 0, password)) continue;
        f.startUs = file.Info().startTimeUs;
        const int64_t stopUs = file.Info().stopTimeUs;  // a packed field: copied, not referred to
        f.stopUs = std::max(stopUs, f.startUs);
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const ClipFile &a, const ClipFile &b) { return a.startUs < b.startUs; });
}

std::vector<int> ChannelsInWindow(const std::vector<Recording> &recordings, int64_t fromUs, int64_t toUs) {
    std::vector<int> channels;
    for (const Recording &r : recordings) {
        if (r.EndUs() <= fromUs || r.startUs >= toUs) continue;
        for (const RecordingFile &f : r.files) {
            if (std::find(channels.begin(), channels.end(), f.channel) == channels.end()) channels.push_back(f.channel);
        }
    }
    std::sort(channels.begin(), channels.end());
    return channels;
}

CliError WindowOfRecordings(const CClock &clock, const std::string &from, const std::string &to,
                            const std::vector<Recording> &recordings, int64_t &fromUs, int64_t &toUs) {
    const int64_t near = recordings.front().startUs;
    const int64_t days[2] = {ShownMidnight(clock, near), ShownMidnight(clock, recordings.back().EndUs() - 1)};
    for (int i = 0; i < 2; ++i) {
        int64_t fromShown = 0, toShown = 0;
        if (!ParseClipTime(from, days[i], fromShown)) {
            return Fail(kExitUsage, "--from takes HH:MM[:SS] or YYYY-MM-DD HH:MM[:SS], not " + from);
        }
        if (!ParseClipTime(to, days[i], toShown)) {
            return Fail(kExitUsage, "--to takes HH:MM[:SS] or YYYY-MM-DD HH:MM[:SS], not " + to);
        }
        fromUs = RecorderTime(clock, fromShown, near);
        toUs = RecorderTime(clock, toShown, near);
        if (!ChannelsInWindow(recordings, fromUs, toUs).empty()) break;
    }
    if (toUs <= fromUs) return Fail(kExitUsage, "--to " + to + " is not after --from " + from);
    return {};
}
