// The process-wide record search object: the naming rules of the recording
// tree, the searches, the folder check and the opening of record files.
#pragma once

#include <cstdint>
#include <vector>

#include "avfile/avfile.h"

class CRecFile;

// One record file of one folder during a file search.
struct RecFileEntry {
    char path[AVFILE_MAX_PATH];  // folder path and file name
    AvSystemTime startTime;      // from the file name
    int32_t channel;
    // What the naming rules read from the name when the folder was listed,
    // so that grouping need not read it again: set when `named` is nonzero;
    // an entry made otherwise has its name read where it is needed.
    int32_t alarm;         // the naming rules' alarm flag
    int16_t channelDigit;  // the channel its digit gives, or -1 for none
    int8_t named;
    int8_t timeRead;       // the start time could be read
};

using RecFileList = std::vector<RecFileEntry>;
using ChannelList = std::vector<int32_t>;

// The channel a name's digit gives, from what GetChannels returned and the
// channels it appended after `first`: the first of those when it returned 1,
// -1 when the name has no digit (or one past the 16 channels).
inline int16_t ChannelDigit(int32_t result, const ChannelList &channels, size_t first) {
    if (result != 1 || channels.size() <= first) return -1;
    const int32_t channel = channels[first];
    return static_cast<int16_t>(channel >= 0 && channel < 16 ? channel : -1);
}

class CRecSearch {
public:
    CRecSearch() = default;
    CRecSearch(const CRecSearch &) = delete;
    CRecSearch &operator=(const CRecSearch &) = delete;

    // Slots in this order.
    virtual ~CRecSearch();
    virtual int32_t CheckFolder(const char *folder, const PasswordEntry *passwords,
                                int32_t passwordCount, int32_t checkPassword,
                                unsigned char *terminalInfo, unsigned char *ioName,
                                int32_t flag);
    virtual CRecFile *OpenFile(const char *path, int32_t channel,
                               const PasswordEntry *passwords, int32_t passwordCount,
                               int32_t checkPassword, int32_t *result) = 0;
    virtual const char *GetRecordName(const char *path) = 0;
    virtual void OnRecordFound(const RecFileEntry &entry);
    virtual int32_t GetChannels(const char *path, ChannelList &channels) = 0;
    virtual int32_t IsAlarmRecord(const char *path) = 0;
    virtual int32_t GetStartTime(const char *path, AvSystemTime *time) = 0;
    virtual int32_t GetFrameRate(const char *path, int32_t *rate) = 0;
    // Opens the group's files for its start, length, alarm flag and io
    // names; 1 when the group can be reported, 0 when a file did not open.
    virtual int32_t FillGroupInfo(RecGroupInfo *group);
    // Appends an entry per channel for every record file matching the
    // pattern (a folder path followed by a name pattern).
    virtual void CollectFiles(const char *folder, const char *pattern,
                              RecFileList &entries);
    // Moves the entries of the source list that start with the reference
    // (within 6 s on the same day, or at the same time of day with
    // exactTime) and whose channel the target lacks; returns how many
    // entries are left in the source.
    virtual int32_t GatherByTime(const RecFileEntry &reference, int32_t exactTime,
                                 RecFileList &source, RecFileList &target);
    // What the naming rules read from the name of a listed record file: its
    // start time (timeRead, startTime), alarm flag and channel digit into the
    // entry, as GetStartTime, IsAlarmRecord and GetChannels read them, and
    // the channels GetChannels gives appended; false when the path names no
    // record file. A search whose rules can read all three at once does so
    // here, and one that changes a rule changes this with it.
    virtual bool ReadListedName(RecFileEntry &entry, ChannelList &channels);
};

class CFileSearchJNQ : public CRecSearch {
public:
    CFileSearchJNQ() = default;
    ~CFileSearchJNQ() override;

    CRecFile *OpenFile(const char *path, int32_t channel,
                       const PasswordEntry *passwords, int32_t passwordCount,
                       int32_t checkPassword, int32_t *result) override;
    const char *GetRecordName(const char *path) override;
    int32_t GetChannels(const char *path, ChannelList &channels) override;
    int32_t IsAlarmRecord(const char *path) override;
    int32_t GetStartTime(const char *path, AvSystemTime *time) override;
    int32_t GetFrameRate(const char *path, int32_t *rate) override;
    bool ReadListedName(RecFileEntry &entry, ChannelList &channels) override;

    // File search of one folder; returns 0.
    int32_t SearchFolderFiles(const char *folder, int32_t user,
                              SearchFileCallback callback);
    // Event search of one folder: returns 0 and reports nothing.
    int32_t SearchEventFolder(const char *folder, int32_t user,
                              SearchFileCallback callback);
    // Forms and reports the groups; 1 for an empty list, else 0.
    int32_t ReportGroups(RecFileList &entries, int32_t user,
                         SearchFileCallback callback);
    // Fills paths, channels and count with the first member of each channel
    // 0 to 15 (by the channel digit of its name) and takes those members
    // (indexes into entries) out of the group; the members left over are not
    // reported.
    void AssignChannels(RecGroupInfo *group, const RecFileList &entries,
                        std::vector<size_t> &members);

    // Composite byte of the record file opened last (sign-extended).
    int32_t m_lastComposite = 0;
};

// The process-wide search object, created by the first call that finds none
// (thread-safe); null when it cannot be created, and a later call tries again.
CFileSearchJNQ *GetRecSearch();

// Day-folder names: year, month and day into day[0..2]; 1 accepted, 0 not.
int32_t ParseDayName(const char *name, int32_t day[3]);
int32_t ParseDashedDayName(const char *name, int32_t day[3]);
