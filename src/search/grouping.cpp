// Grouping the record files of one folder into recordings: files of
// different channels with the same alarm flag that start less than 5 s
// apart are one recording, reported with one callback. A file whose name
// gives no calendar time (month 13, say) is a recording of its own.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "search/group_index.h"
#include "search/rec_search.h"

namespace {

void CopyPath(char (&out)[AVFILE_MAX_PATH], const char *path) {
    const size_t length = strnlen(path, AVFILE_MAX_PATH - 1);
    std::memcpy(out, path, length);
    out[length] = '\0';
}

}  // namespace

int32_t CFileSearchJNQ::ReportGroups(RecFileList &entries, int32_t user,
                                     SearchFileCallback callback) {
    if (entries.empty()) return 1;
    CGroupIndex index;
    index.Build(*this, entries);

    std::vector<size_t> members;
    RecGroupInfo record;
    for (size_t reference; (reference = index.NextReference()) != CGroupIndex::kNone;) {
        std::memset(&record, 0, sizeof record);
        members.clear();
        index.MergeGroup(reference, members);
        members.push_back(reference);  // the reference file comes last

        if (members.size() == 1) {
            // A lone file is reported even without a channel digit (as
            // channel 0).
            AssignChannels(&record, entries, members);
            record.count = 1;
            CopyPath(record.paths[0], entries[reference].path);
        } else {
            index.TakeSamePaths(members);
            AssignChannels(&record, entries, members);
        }

        if (FillGroupInfo(&record) != 1) continue;  // a file did not open
        record.alarm = IsAlarmRecord(record.paths[0]);
        if (callback) callback(&record, user);
        if (std::memcmp(record.paths[0], "stop", 4) == 0) break;
    }

    // The list keeps the files that were reported or not reached.
    size_t kept = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (index.Taken(k)) continue;
        if (kept != k) entries[kept] = entries[k];
        ++kept;
    }
    entries.resize(kept);
    return 0;
}

void CFileSearchJNQ::AssignChannels(RecGroupInfo *group, const RecFileList &entries,
                                    std::vector<size_t> &members) {
    group->count = 0;
    // The first member of each channel, by the channel digit of its name;
    // the members without one are left over.
    constexpr size_t kNoMember = SIZE_MAX;
    size_t first[16];
    std::fill(first, first + 16, kNoMember);
    // Kept from group to group of a thread, so that reading a name's
    // channels allocates nothing once it has run.
    thread_local ChannelList channels;
    for (size_t k = 0; k < members.size(); ++k) {
        const RecFileEntry &member = entries[members[k]];
        int32_t digit = member.channelDigit;
        if (!member.named) {
            channels.clear();
            digit = ChannelDigit(GetChannels(member.path, channels), channels, 0);
        }
        if (digit >= 0 && first[digit] == kNoMember) first[digit] = k;
    }
    for (int32_t channel = 0; channel < 16; ++channel) {
        const size_t k = first[channel];
        if (k == kNoMember) continue;
        CopyPath(group->paths[group->count], entries[members[k]].path);
        group->channels[group->count] = channel;
        ++group->count;
        members[k] = kNoMember;  // taken
    }
    members.erase(std::remove(members.begin(), members.end(), kNoMember), members.end());
}

int32_t CRecSearch::GatherByTime(const RecFileEntry &reference, int32_t exactTime,
                                 RecFileList &source, RecFileList &target) {
    const AvSystemTime &r = reference.startTime;
    const int32_t referenceSecond = r.wHour * 3600 + r.wMinute * 60 + r.wSecond;
    size_t kept = 0;
    for (size_t k = 0; k < source.size(); ++k) {
        const AvSystemTime &t = source[k].startTime;
        bool matches;
        if (exactTime == 0) {
            const int32_t second = t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
            matches = t.wYear == r.wYear && t.wMonth == r.wMonth && t.wDay == r.wDay &&
                      std::abs(second - referenceSecond) <= 6;
        } else {
            matches = t.wHour == r.wHour && t.wMinute == r.wMinute && t.wSecond == r.wSecond;
        }
        if (matches) {
            for (const RecFileEntry &e : target) {
                if (e.channel == source[k].channel) {
                    matches = false;  // the target has this channel already
                    break;
                }
            }
        }
        if (matches) {
            target.push_back(source[k]);
            continue;
        }
        if (kept != k) source[kept] = source[k];
        ++kept;
    }
    source.resize(kept);
    return static_cast<int32_t>(kept);
}
