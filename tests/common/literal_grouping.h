// The grouping rules of a folder's file search written out step by step,
// kept only to check the real grouping against (in the tests) and to time it
// against (in the benchmarks). Each file's name is read again for every
// comparison and entries are erased from the list as they join a group.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "avfile/avfile.h"
#include "platform/platform.h"
#include "search/rec_search.h"
#include "support/routines.h"

class CLiteralGrouping {
public:
    explicit CLiteralGrouping(CFileSearchJNQ &search) : s(search) {}

    void ReportGroups(RecFileList &list, int32_t user, SearchFileCallback callback) {
        for (size_t i = 0; i < list.size(); ++i) {
            RecGroupInfo record;
            std::memset(&record, 0, sizeof record);
            RecFileList group;
            MergeGroup(list, i + 1, list[i], group);
            group.push_back(list[i]);
            if (group.size() == 1) {
                AssignChannels(record, group);
                record.count = 1;
                std::strcpy(record.paths[0], list[i].path);
            } else {
                for (size_t j = i + 1; j < list.size();) {
                    bool repeated = false;
                    for (const RecFileEntry &member : group) {
                        if (std::strcmp(member.path, list[j].path) == 0) repeated = true;
                    }
                    if (repeated) {
                        list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
                    } else {
                        ++j;
                    }
                }
                AssignChannels(record, group);
            }
            if (s.FillGroupInfo(&record) != 1) continue;
            if (record.count == 1 && s.m_lastComposite != 0 && std::strlen(record.paths[0]) < 255) {
                record.paths[0][255] = static_cast<char>(s.m_lastComposite);
            }
            record.alarm = s.IsAlarmRecord(record.paths[0]);
            callback(&record, user);
            if (std::memcmp(record.paths[0], "stop", 4) == 0) break;
        }
    }

private:
    void MergeGroup(RecFileList &list, size_t first, const RecFileEntry &reference,
                    RecFileList &group) {
        const int32_t alarm = s.IsAlarmRecord(reference.path);
        AvSystemTime referenceTime{};
        s.GetStartTime(reference.path, &referenceTime);
        AvSystemTime candidate{};
        for (size_t j = first; j < list.size();) {
            const int32_t candidateAlarm = s.IsAlarmRecord(list[j].path);
            s.GetStartTime(list[j].path, &candidate);
            const int64_t apart = SecondsBetween(candidate, referenceTime);
            // A time that is no calendar time is near no other.
            const bool calendarTimes = IsCalendarTime(candidate) && IsCalendarTime(referenceTime);
            if (candidateAlarm == alarm && calendarTimes && std::llabs(apart) < 5) {
                group.push_back(list[j]);
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
            } else {
                ++j;
            }
        }
    }

    static bool IsCalendarTime(const AvSystemTime &time) {
        uint64_t fileTime = 0;
        return plat::SystemTimeToFileTime(&time, &fileTime);
    }

    void AssignChannels(RecGroupInfo &record, RecFileList &group) {
        record.count = 0;
        for (int32_t channel = 0; channel < 16; ++channel) {
            for (size_t k = 0; k < group.size(); ++k) {
                ChannelList channels;
                if (s.GetChannels(group[k].path, channels) == 1 && channels[0] == channel) {
                    std::strcpy(record.paths[record.count], group[k].path);
                    record.channels[record.count] = channel;
                    ++record.count;
                    group.erase(group.begin() + static_cast<std::ptrdiff_t>(k));
                    break;
                }
            }
        }
    }

    CFileSearchJNQ &s;
};
