// The searches and the folder check through the exports, on recording trees
// written by the recorder simulator: the values a group reports come from
// the record files themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "recsim/recsim.h"
#include "search/rec_search.h"
#include "search_fixture.h"

namespace {

constexpr int32_t kStart = 1420800569;  // 2015-01-09 10:49:29

// A short recording starting `offset` seconds after kStart whose header
// gives it `seconds` of length.
recsim::FileRecipe Recording(int offset, int seconds, int8_t composite = 0, bool alarm = false) {
    recsim::RecordingPlan plan;
    plan.seconds = 1;
    plan.keyFrameSize = 400;
    plan.frameSize = 100;
    plan.gps = false;
    recsim::FileRecipe recording = recsim::PlannedFile(plan, kStart + offset);
    recording.header.stopSeconds = kStart + offset + seconds;
    recording.header.composite = composite;
    recording.header.alarmFile = alarm ? 1 : 0;
    return recording;
}

std::string Name(int offset, int channel, bool alarm = false) {
    return recsim::RecordFileName(recsim::RecordNameAt(kStart + offset, channel, alarm));
}

struct RecordedDay {
    TempDir root;
    recsim::TreeWriter tree{root.path()};
    std::string day = tree.AddDay("2015-01-09");
    std::string Add(const std::string &sub, int offset, int channel, int seconds,
                    int8_t composite = 0, bool alarm = false) {
        const std::string path = tree.AddFile("2015-01-09", sub, Name(offset, channel, alarm),
                                              Recording(offset, seconds, composite, alarm));
        EXPECT_FALSE(path.empty());
        return path;
    }
};

RecGroupInfo Reported(const std::vector<std::string> &paths, const std::vector<int32_t> &channels,
                      int offset, uint32_t durationMs, int32_t alarm, char byte255 = 0) {
    RecGroupInfo g = ExpectedGroup(paths, channels);
    const recsim::CivilTime t = recsim::CivilFromSeconds(kStart + offset);
    g.startTime = Time(t.year, t.month, t.day, t.hour, t.minute, t.second);
    g.durationMs = durationMs;
    g.alarm = alarm;
    g.paths[0][255] = byte255;
    return g;  // the recorder leaves the io-name block empty
}

TEST(RecordedTree, FileSearchReportsEachRecordingWhole) {
    RecordedDay d;
    // Channel 1's file spans 2^29 s, whose length in milliseconds wraps to
    // 0 in 32 bits: channel 2's file stands for the group.
    const std::string a1 = d.Add("video", 0, 0, 536870912);
    const std::string a2 = d.Add("video", 2, 1, 30);
    const std::string a3 = d.Add("video", 4, 2, 60);
    const std::string lone = d.Add("video", 60, 0, 60, 2);
    // A group whose first file is no record file at all is left out.
    d.root.WriteFile("2015-01-09/video/" + Name(120, 0), "not a recording");
    d.Add("video", 120, 1, 60);
    const std::string later = d.Add("video", 180, 0, 60);
    const std::string alarm = d.Add("alarm", 240, 3, 60, 0, true);

    GroupLog::Reset();
    EXPECT_EQ(AVFILE_SearchFile(d.day.c_str(), 99, &GroupLog::Callback), 1);
    const std::vector<RecGroupInfo> expected = {
        Reported({a1, a2, a3}, {0, 1, 2}, 2, 30000, 0),
        Reported({lone}, {0}, 60, 60000, 0, 2),
        Reported({later}, {0}, 180, 60000, 0),
        Reported({alarm}, {3}, 240, 60000, 1),
    };
    ASSERT_EQ(GroupLog::groups.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_TRUE(SameGroup(expected[k], GroupLog::groups[k])) << "callback " << k;
        EXPECT_EQ(GroupLog::users[k], 99);
    }
}

TEST(RecordedTree, StopWhileVideoIsReportedStillSearchesAlarm) {
    RecordedDay d;
    const std::string first = d.Add("video", 0, 0, 60);
    d.Add("video", 60, 0, 60);
    const std::string alarm = d.Add("alarm", 120, 0, 60, 0, true);
    GroupLog::Reset(1);
    EXPECT_EQ(AVFILE_SearchFile(d.day.c_str(), 0, &GroupLog::Callback), 1);
    ASSERT_EQ(GroupLog::groups.size(), 2u);
    EXPECT_STREQ(GroupLog::groups[0].paths[0], first.c_str());
    EXPECT_STREQ(GroupLog::groups[1].paths[0], alarm.c_str());
}

TEST(RecordedTree, EventSearchReportsNothing) {
    RecordedDay d;
    d.Add("video", 0, 0, 60);
    d.Add("alarm", 60, 0, 60, 0, true);
    GroupLog::Reset();
    EXPECT_EQ(AVFILE_SearchEvent(d.day.c_str(), 0, &GroupLog::Callback), 1);
    EXPECT_TRUE(GroupLog::groups.empty());
}

// ---- Folder check ----

struct CheckBuffers {
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE];
    unsigned char io[AVFILE_IO_NAME_SIZE];
    CheckBuffers() {
        std::memset(terminal, 0xa5, sizeof terminal);
        std::memset(io, 0xa5, sizeof io);
    }
    bool Filled() const { return terminal[0] == 0 && terminal[99] == 0 && io[0] == 0 && io[343] == 0; }
    bool Untouched() const { return terminal[0] == 0xa5 && io[343] == 0xa5; }
};

TEST(RecordedTree, FolderCheckFindsAReadableFileWhereTheWalkGoes) {
    struct Case {
        const char *folder;
        int32_t result;
    } cases[] = {{"", 0},          {"2015-01-09/", 0}, {"20150109/video/", 0},
                 {"video/", 0},    {"abc/video/", 1},  {"2015-01-09/abc/", 1}};
    for (const Case &c : cases) {
        TempDir root;
        ASSERT_TRUE(recsim::WriteFile(root.MakeDir(c.folder) + Name(0, 0), Recording(0, 60)));
        root.WriteFile("notes.txt", "");
        CheckBuffers b;
        EXPECT_EQ(AVFILE_CheckFolder(root.path().c_str(), nullptr, 0, 0, b.terminal, b.io), c.result)
            << c.folder;
        EXPECT_EQ(c.result == 0 ? b.Filled() : b.Untouched(), true) << c.folder;
    }
}

TEST(RecordedTree, FolderCheckOpensOnlyTheFirstReadableFile) {
    TempDir root;
    ASSERT_TRUE(recsim::WriteFile(root.path() + Name(0, 0), Recording(0, 60, 3)));
    ASSERT_TRUE(recsim::WriteFile(root.MakeDir("20150109/video/") + Name(0, 0), Recording(0, 60, 1)));
    CheckBuffers b;
    EXPECT_EQ(AVFILE_CheckFolder(root.path().c_str(), nullptr, 0, 0, b.terminal, b.io), 0);
    EXPECT_EQ(GetRecSearch()->m_lastComposite, 3);  // the file in the root, and no other
}

TEST(RecordedTree, FolderCheckOfAnEncryptedFile) {
    TempDir root;
    recsim::FileRecipe recording = Recording(0, 60);
    recording.header.encryption = 0x10;
    ASSERT_TRUE(recsim::WriteFile(root.MakeDir("2015-01-09/") + Name(0, 0), recording));
    PasswordEntry passwords[2] = {};
    std::memcpy(passwords[1].key, "Wrong123", 8);
    CheckBuffers b;
    // The day folder's check ends on the password mismatch, and so does the
    // check of the folder holding it ...
    const std::string day = root / "2015-01-09/";
    EXPECT_EQ(GetRecSearch()->CheckFolder(day.c_str(), passwords, 2, 1, b.terminal, b.io, 0), 2);
    EXPECT_EQ(GetRecSearch()->CheckFolder(root.path().c_str(), passwords, 2, 1, b.terminal, b.io, 1), 2);
    // ... while the whole walk goes on to the sub-folders, where nothing is
    // found, and answers with its last step.
    EXPECT_EQ(AVFILE_CheckFolder(root.path().c_str(), passwords, 2, 1, b.terminal, b.io), 1);
    EXPECT_TRUE(b.Untouched());
    // With the file's key in the list, or without the check, the file opens.
    std::memcpy(passwords[1].key, recording.info.fileKey.data(), 8);
    EXPECT_EQ(AVFILE_CheckFolder(root.path().c_str(), passwords, 2, 1, b.terminal, b.io), 0);
    EXPECT_EQ(AVFILE_CheckFolder(root.path().c_str(), nullptr, 0, 0, b.terminal, b.io), 0);
    EXPECT_TRUE(b.Filled());
}

}  // namespace
