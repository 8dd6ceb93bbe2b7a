#include <gtest/gtest.h>

#include "search_fixture.h"

#include "common/temp_dir.h"

#include <cstring>
#include <sstream>

CFakeRecFile::CFakeRecFile(const FakeFile &script, int32_t channel) {
    m_fileInfo.startTime = script.startTime;
    m_fileInfo.durationMs = script.durationMs;
    m_fileInfo.alarm = script.alarm;
    m_fileInfo.channel = channel;
    std::memset(m_ioName, script.ioMark, sizeof m_ioName);
    m_ioNameValid = 1;
    std::memset(m_terminalInfo, script.terminalMark, sizeof m_terminalInfo);
    m_terminalInfoValid = 1;
    m_composite = script.composite;
}

CRecFile *CScriptedSearch::OpenFile(const char *path, int32_t channel,
                                    const PasswordEntry *passwords, int32_t passwordCount,
                                    int32_t checkPassword, int32_t *result) {
    opened.emplace_back(path);
    channels.push_back(channel);
    passwordArguments.push_back({passwords, passwordCount, checkPassword});
    const auto it = files.find(path);
    const FakeFile &script = it != files.end() ? it->second : fallback;
    *result = script.result;
    if (script.result != 0) return nullptr;
    m_lastComposite = script.composite;
    return new CFakeRecFile(script, channel);
}

std::vector<RecGroupInfo> GroupLog::groups;
std::vector<int32_t> GroupLog::users;
int GroupLog::stopAt = 0;

void GroupLog::Reset(int stop) {
    groups.clear();
    users.clear();
    stopAt = stop;
}

int AVFILE_CALL GroupLog::Callback(RecGroupInfo *group, int32_t user) {
    groups.push_back(*group);
    users.push_back(user);
    if (static_cast<int>(groups.size()) == stopAt) std::memcpy(group->paths[0], "stop", 4);
    return 0;
}

std::vector<RecDayInfo> DayLog::days;
int DayLog::stopAt = 0;

void DayLog::Reset(int stop) {
    days.clear();
    stopAt = stop;
}

int AVFILE_CALL DayLog::Callback(RecDayInfo *day, int32_t) {
    days.push_back(*day);
    if (static_cast<int>(days.size()) == stopAt) std::memcpy(day->path, "stop", 4);
    return 0;
}

std::string DeepFolder(const TempDir &root, size_t length) {
    size_t remaining = length - root.path().size();
    std::string relative;
    while (remaining > 0) {
        size_t take = remaining < 100 ? remaining : 100;
        if (remaining - take == 1) --take;  // no segment of a separator alone
        relative += std::string(take - 1, 'a') + "/";
        remaining -= take;
    }
    return root.MakeDir(relative);
}

AvSystemTime Time(int year, int month, int day, int hour, int minute, int second) {
    AvSystemTime t{};
    t.wYear = static_cast<uint16_t>(year);
    t.wMonth = static_cast<uint16_t>(month);
    t.wDay = static_cast<uint16_t>(day);
    t.wHour = static_cast<uint16_t>(hour);
    t.wMinute = static_cast<uint16_t>(minute);
    t.wSecond = static_cast<uint16_t>(second);
    return t;
}

RecGroupInfo ExpectedGroup(const std::vector<std::string> &paths,
                           const std::vector<int32_t> &channels) {
    RecGroupInfo g;
    std::memset(&g, 0, sizeof g);
    for (size_t k = 0; k < paths.size(); ++k) {
        std::memcpy(g.paths[k], paths[k].c_str(), paths[k].size() + 1);
        g.channels[k] = channels[k];
    }
    g.count = static_cast<int32_t>(paths.size());
    return g;
}

namespace {

std::string Describe(const RecGroupInfo &g) {
    std::ostringstream s;
    s << "count " << g.count << " channels";
    for (int k = 0; k < 16; ++k) s << ' ' << g.channels[k];
    s << " start " << g.startTime.wYear << '-' << g.startTime.wMonth << '-' << g.startTime.wDay
      << ' ' << g.startTime.wHour << ':' << g.startTime.wMinute << ':' << g.startTime.wSecond
      << " duration " << g.durationMs << " alarm " << g.alarm << " io " << int{g.ioName[0]}
      << " byte255 " << int{static_cast<unsigned char>(g.paths[0][255])};
    for (int k = 0; k < 16; ++k) {
        if (g.paths[k][0] != '\0') s << "\n  path " << k << ": " << g.paths[k];
    }
    return s.str();
}

}  // namespace

::testing::AssertionResult SameGroup(const RecGroupInfo &expected, const RecGroupInfo &actual) {
    if (std::memcmp(&expected, &actual, sizeof expected) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected " << Describe(expected) << "\nactual   "
                                         << Describe(actual);
}
