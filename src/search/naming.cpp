// The naming rules of the recording tree: record file names and day folders.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "search/rec_search.h"
#include "support/routines.h"

namespace {

// Index of the last '-' of the name, or -1.
long LastDash(const char *name) {
    const char *dash = std::strrchr(name, '-');
    return dash ? dash - name : -1;
}

enum class Layout { Compact, Separated, Prefixed, None };

Layout LayoutOf(const char *name) {
    const size_t len = std::strlen(name);
    if (len > 10 && name[10] == '-') return Layout::Compact;
    if (len > 12 && name[12] == '_') return Layout::Separated;
    const long dash = LastDash(name);
    if (dash >= 9 && name[dash - 9] == '_') return Layout::Prefixed;
    return Layout::None;
}

// "yyyymmdd-hhmmss" read into v when every one of its digits is a digit:
// what the scan "%4d%2d%2d-%2d%2d%2d" reads from such a text, without the
// scan. False for anything else, which the scan itself then reads.
bool ReadPlainStamp(const char *text, int v[6]) {
    for (int i = 0; i < 15; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (i == 8 ? text[i] != '-' : !digit) return false;
    }
    const auto number = [text](int at, int digits) {
        int value = 0;
        for (int i = 0; i < digits; ++i) value = value * 10 + (text[at + i] - '0');
        return value;
    };
    v[0] = number(0, 4);
    v[1] = number(4, 2);
    v[2] = number(6, 2);
    v[3] = number(9, 2);
    v[4] = number(11, 2);
    v[5] = number(13, 2);
    return true;
}

bool InYearMonthDayBounds(int y, int m, int d) {
    return y >= 1970 && y <= 2050 && m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

// The name part of a record file's path, or null when the path names no
// record file: what GetRecordName gives, read by the other naming rules
// directly.
const char *RecordName(const char *path) {
    if (path == nullptr) return nullptr;
    // The name part: after the last '/' when the path has one, otherwise
    // after the last '\'; none when it has neither.
    const char *name = std::strrchr(path, '/');
    if (name == nullptr) name = std::strrchr(path, '\\');
    if (name == nullptr) return nullptr;
    ++name;
    const char *end = name + std::strlen(name);
    const size_t length = static_cast<size_t>(end - path);
    if (length < 4) return nullptr;
    const char *ext = end - 4;
    for (int i = 0; i < 4; ++i) {
        const char c = ext[i] >= 'A' && ext[i] <= 'Z' ? static_cast<char>(ext[i] - 'A' + 'a') : ext[i];
        if (c != ".avi"[i]) return nullptr;
    }
    if (static_cast<size_t>(end - name) < 23) return nullptr;
    if (name[1] == '_') return name;
    const long dash = LastDash(name);
    if (dash >= 9 && name[dash - 9] == '_') return name;
    return nullptr;
}

}  // namespace

const char *CFileSearchJNQ::GetRecordName(const char *path) {
    return RecordName(path);
}

namespace {

int32_t ChannelsOf(const char *name, ChannelList &channels) {
    if (name[0] >= '1' && name[0] <= '8') {
        channels.push_back(name[0] - '1');
        return 1;
    }
    if (name[1] == '_') return 0;
    channels.push_back(0);
    return 0;
}

int32_t AlarmOf(const char *name) {
    const long dash = LastDash(name);
    if (dash < 0) return 0;
    const size_t at = static_cast<size_t>(dash) + 9;
    if (at >= std::strlen(name)) return 0;
    return name[at] >= '1' && name[at] <= '9' ? 1 : 0;
}

int32_t StartTimeOf(const char *name, AvSystemTime *time) {
    int v[6] = {0, 0, 0, 0, 0, 0};
    switch (LayoutOf(name)) {
    case Layout::Compact:
        if (ReadPlainStamp(name + 2, v)) break;
        std::sscanf(name + 2, "%4d%2d%2d-%2d%2d%2d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        break;
    case Layout::Separated:
        std::sscanf(name + 2, "%4d%*[^0-9]%2d%*[^0-9]%2d%*[^0-9]%2d%*[^0-9]%2d%*[^0-9]%2d",
                    &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        break;
    case Layout::Prefixed:
        if (ReadPlainStamp(name + LastDash(name) - 8, v)) break;
        std::sscanf(name + LastDash(name) - 8, "%4d%2d%2d-%2d%2d%2d",
                    &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        break;
    case Layout::None:
        return 0;
    }
    if (time == nullptr) return 1;
    time->wYear = static_cast<uint16_t>(v[0]);
    time->wMonth = static_cast<uint16_t>(v[1]);
    time->wDay = static_cast<uint16_t>(v[2]);
    time->wHour = static_cast<uint16_t>(v[3]);
    time->wMinute = static_cast<uint16_t>(v[4]);
    time->wSecond = static_cast<uint16_t>(v[5]);
    return 1;
}

}  // namespace

int32_t CFileSearchJNQ::GetChannels(const char *path, ChannelList &channels) {
    const char *name = RecordName(path);
    return name == nullptr ? 0 : ChannelsOf(name, channels);
}

int32_t CFileSearchJNQ::IsAlarmRecord(const char *path) {
    const char *name = RecordName(path);
    return name == nullptr ? 0 : AlarmOf(name);
}

int32_t CFileSearchJNQ::GetStartTime(const char *path, AvSystemTime *time) {
    const char *name = RecordName(path);
    return name == nullptr ? 0 : StartTimeOf(name, time);
}

// The three rules above on one reading of the name part.
bool CFileSearchJNQ::ReadListedName(RecFileEntry &entry, ChannelList &channels) {
    const char *name = RecordName(entry.path);
    if (name == nullptr) return false;
    entry.timeRead = StartTimeOf(name, &entry.startTime) != 0 ? 1 : 0;
    entry.alarm = AlarmOf(name);
    const size_t first = channels.size();
    entry.channelDigit = ChannelDigit(ChannelsOf(name, channels), channels, first);
    return true;
}

int32_t CFileSearchJNQ::GetFrameRate(const char *path, int32_t *rate) {
    const char *name = RecordName(path);
    if (name == nullptr) return 0;
    int32_t value = 0;
    switch (LayoutOf(name)) {
    case Layout::Compact:
        for (int i = 20; i <= 21 && name[i] >= '0' && name[i] <= '9'; ++i) {
            value = value * 10 + (name[i] - '0');
        }
        break;
    case Layout::Separated:
    case Layout::Prefixed:
        value = 25;
        break;
    case Layout::None:
        return 0;
    }
    if (rate) *rate = value;
    return 1;
}

int32_t ParseDayName(const char *name, int32_t day[3]) {
    if (name == nullptr) return 0;
    int y = 0, m = 0, d = 0;
    const size_t len = std::strlen(name);
    if (len >= 9 && name[8] == '_') {
        if (std::sscanf(name, "%04d%02d%02d", &y, &m, &d) != 3) return 0;
    } else {
        int n = std::sscanf(name, "%04d%*[^0-9]%02d%*[^0-9]%02d", &y, &m, &d);
        if (n < 3 && len == 10) n = std::sscanf(name, "%04d%02d%02d", &y, &m, &d);
        if (n < 3) return 0;
    }
    if (!InYearMonthDayBounds(y, m, d)) return 0;
    day[0] = y;
    day[1] = m;
    day[2] = d;
    return 1;
}

int32_t ParseDashedDayName(const char *name, int32_t day[3]) {
    if (name == nullptr) return 0;
    std::vector<std::string> pieces;
    SplitAt(name, '-', pieces);
    if (pieces.size() < 3) return 0;
    const std::string &year = pieces[0], &month = pieces[1], &rest = pieces[2];
    if (year.size() != 4 || !IsAllDigits(year)) return 0;
    if (month.size() != 2 || !IsAllDigits(month)) return 0;
    if (rest.size() < 2 || !IsAllDigits(rest.substr(0, 2))) return 0;
    const int y = std::stoi(year), m = std::stoi(month), d = std::stoi(rest.substr(0, 2));
    if (!InYearMonthDayBounds(y, m, d)) return 0;
    day[0] = y;
    day[1] = m;
    day[2] = d;
    return 1;
}
