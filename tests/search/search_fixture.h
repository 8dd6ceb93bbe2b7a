// Test doubles for the searches: a search object whose opens are scripted
// per path (so grouping can be checked without real record files), and
// recorders that keep every callback record whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "avfile/avfile.h"
#include "recfile/rec_file.h"
#include "search/rec_search.h"

// What a scripted open of one path gives.
struct FakeFile {
    int32_t result = 0;          // 0 opens; 1 or 2 fails with that result
    uint32_t durationMs = 60000;
    AvSystemTime startTime{};    // year 0: the file's info has no start
    int32_t alarm = 0;
    int32_t composite = 0;
    unsigned char ioMark = 0;    // fills the io-name block
    unsigned char terminalMark = 0;
};

// A record file object that only carries what a scripted open set.
class CFakeRecFile : public CRecFile {
public:
    explicit CFakeRecFile(const FakeFile &script, int32_t channel);
    int32_t Open(const char *, int32_t, const PasswordEntry *, int32_t, int32_t) override { return 0; }
    int32_t Close() override { return 0; }
    int32_t SeekBegin() override { return 1; }
    int32_t ReadFrame(AvFrameInfo *, const AvFrameInfo *) override { return 1; }
    int32_t SeekIFrame(int64_t, int32_t) override { return 1; }
    int32_t BackwardIFrame(AvFrameInfo *, const AvFrameInfo *) override { return 1; }
    int32_t ForwardIFrame(AvFrameInfo *, const AvFrameInfo *) override { return 1; }
};

// A search object whose OpenFile follows a script: paths in `files` open as
// told there, any other path opens with `fallback`. Every open is logged.
class CScriptedSearch : public CFileSearchJNQ {
public:
    CRecFile *OpenFile(const char *path, int32_t channel, const PasswordEntry *passwords,
                       int32_t passwordCount, int32_t checkPassword,
                       int32_t *result) override;

    std::map<std::string, FakeFile> files;
    FakeFile fallback;
    std::vector<std::string> opened;   // every path asked for, in order
    std::vector<int32_t> channels;     // the channel of each open
    // The password list, count and check flag of each open.
    struct PasswordArguments {
        const PasswordEntry *list;
        int32_t count;
        int32_t check;
        bool operator==(const PasswordArguments &) const = default;
    };
    std::vector<PasswordArguments> passwordArguments;
};

// Callback records kept whole, in the order they came. The recorders are
// process-wide because a callback gets only a 32-bit user value.
struct GroupLog {
    static std::vector<RecGroupInfo> groups;
    static std::vector<int32_t> users;
    static int stopAt;  // writes "stop" into the record of this call (1-based); 0 never
    static void Reset(int stop = 0);
    static int AVFILE_CALL Callback(RecGroupInfo *group, int32_t user);
};

struct DayLog {
    static std::vector<RecDayInfo> days;
    static int stopAt;
    static void Reset(int stop = 0);
    static int AVFILE_CALL Callback(RecDayInfo *day, int32_t user);
};

class TempDir;
// Creates nested folders below root so that the returned folder path, with
// its closing separator, is exactly `length` characters long.
std::string DeepFolder(const TempDir &root, size_t length);

// A name-only time for building expectations.
AvSystemTime Time(int year, int month, int day, int hour, int minute, int second);

// A group record as the search should report it for these paths and
// channels (paths zero-filled, count set); the opened values are left 0.
RecGroupInfo ExpectedGroup(const std::vector<std::string> &paths,
                           const std::vector<int32_t> &channels);

// Compares two group records byte for byte, reporting the differing fields.
::testing::AssertionResult SameGroup(const RecGroupInfo &expected, const RecGroupInfo &actual);
