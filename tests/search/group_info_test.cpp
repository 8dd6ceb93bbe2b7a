// What a group record carries from the files it names: the representative
// file's start, length, alarm flag and io names, and the composite byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "search_fixture.h"

namespace {

const char *const kPaths[] = {
    "/rec/2015-01-09/video/1_20150109-104929_1030h.avi",
    "/rec/2015-01-09/video/2_20150109-104930_1130h.avi",
    "/rec/2015-01-09/video/4_20150109-104931_1030h.avi",
};

RecGroupInfo Group(int count) {
    RecGroupInfo g;
    std::memset(&g, 0, sizeof g);
    const int32_t channels[] = {0, 1, 3};
    for (int k = 0; k < count; ++k) {
        std::strcpy(g.paths[k], kPaths[k]);
        g.channels[k] = channels[k];
    }
    g.count = count;
    return g;
}

struct InfoCase {
    const char *title;
    int count;
    std::vector<FakeFile> files;  // scripted opens of kPaths
    int32_t result;
    size_t opens;                 // files opened, in order
    AvSystemTime start;
    uint32_t durationMs;
    int32_t alarm;
    unsigned char ioMark;
};

void PrintTo(const InfoCase &c, std::ostream *os) { *os << c.title; }

FakeFile File(uint32_t durationMs, unsigned char ioMark, AvSystemTime start = {}, int32_t alarm = 0,
              int32_t result = 0) {
    FakeFile f;
    f.durationMs = durationMs;
    f.ioMark = ioMark;
    f.startTime = start;
    f.alarm = alarm;
    f.result = result;
    return f;
}

class FillGroupInfoTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(FillGroupInfoTest, TakesTheRepresentativeFile) {
    const InfoCase &c = GetParam();
    CScriptedSearch search;
    for (size_t k = 0; k < c.files.size(); ++k) search.files[kPaths[k]] = c.files[k];
    RecGroupInfo g = Group(c.count);
    EXPECT_EQ(search.FillGroupInfo(&g), c.result);
    ASSERT_EQ(search.opened.size(), c.opens);
    for (size_t k = 0; k < c.opens; ++k) {
        EXPECT_EQ(search.opened[k], kPaths[k]);
        EXPECT_EQ(search.channels[k], 0);  // every open asks for the first channel
    }
    if (c.result == 0) return;
    RecGroupInfo expected = Group(c.count);
    expected.startTime = c.start;
    expected.durationMs = c.durationMs;
    expected.alarm = c.alarm;
    std::memset(expected.ioName, c.ioMark, sizeof expected.ioName);
    EXPECT_TRUE(SameGroup(expected, g));
}

const AvSystemTime kHeaderStart = [] {
    AvSystemTime t = Time(2015, 1, 9, 2, 49, 29);
    t.wDayOfWeek = 5;
    return t;
}();

INSTANTIATE_TEST_SUITE_P(
    Files, FillGroupInfoTest,
    ::testing::Values(
        InfoCase{"no files", 0, {}, 0, 0},
        InfoCase{"first file has a length: later files are not opened", 3,
                 {File(60000, 1), File(0, 2), File(0, 3)}, 1, 1,
                 Time(2015, 1, 9, 10, 49, 29), 60000, 0, 1},
        InfoCase{"start and alarm from the opened file when it has them", 1,
                 {File(1000, 4, kHeaderStart, 2)}, 1, 1, kHeaderStart, 1000, 2, 4},
        InfoCase{"first file empty: the next with a length", 3,
                 {File(0, 1), File(30000, 2), File(0, 3)}, 1, 2,
                 Time(2015, 1, 9, 10, 49, 30), 30000, 1, 2},
        InfoCase{"all empty: the last file", 3, {File(0, 1), File(0, 2), File(0, 3)}, 1, 3,
                 Time(2015, 1, 9, 10, 49, 31), 0, 0, 3},
        InfoCase{"the first file does not open", 2, {File(60000, 1, {}, 0, 1), File(0, 2)}, 0, 1},
        InfoCase{"a later file does not open", 2, {File(0, 1), File(0, 2, {}, 0, 2)}, 0, 2}));

TEST(GroupCompositeByte, SingleFileGroupCarriesTheOpenedFilesByte) {
    struct Case {
        int count;
        int32_t composite;
        char byte255;
    } cases[] = {{1, 2, 2}, {1, -1, '\xff'}, {1, 0, 0}, {2, 1, 0}};
    for (const Case &c : cases) {
        CScriptedSearch search;
        search.fallback.composite = c.composite;
        RecGroupInfo g = Group(c.count);
        ASSERT_EQ(search.FillGroupInfo(&g), 1);
        EXPECT_EQ(g.paths[0][255], c.byte255) << c.count << ' ' << c.composite;
    }
}

// Another thread's open may replace the process's last composite byte
// between this open and the report; the group keeps its own file's byte.
class CBusySearch : public CScriptedSearch {
public:
    CRecFile *OpenFile(const char *path, int32_t channel, const PasswordEntry *passwords,
                       int32_t passwordCount, int32_t checkPassword, int32_t *result) override {
        CRecFile *file = CScriptedSearch::OpenFile(path, channel, passwords, passwordCount,
                                                   checkPassword, result);
        m_lastComposite = 7;
        return file;
    }
};

TEST(GroupCompositeByte, ComesFromTheFileNotFromTheLastOpen) {
    CBusySearch search;
    search.fallback.composite = 2;
    RecGroupInfo g = Group(1);
    ASSERT_EQ(search.FillGroupInfo(&g), 1);
    EXPECT_EQ(g.paths[0][255], 2);
}

TEST(GroupCompositeByte, LongPathKeepsItsText) {
    for (size_t length : {254u, 255u, 259u}) {
        CScriptedSearch search;
        search.fallback.composite = 2;
        RecGroupInfo g = Group(0);
        const std::string path = "/" + std::string(length - 29, 'd') + "/1_20150109-104929_1030h.avi";
        ASSERT_EQ(path.size(), length);
        std::strcpy(g.paths[0], path.c_str());
        g.count = 1;
        ASSERT_EQ(search.FillGroupInfo(&g), 1);
        EXPECT_EQ(g.paths[0], path) << length;
        EXPECT_EQ(g.paths[0][255], length < 255 ? 2 : path.c_str()[255]) << length;
    }
}

}  // namespace
