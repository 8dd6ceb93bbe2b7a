// An exhausted heap at every allocation of an open, a search and a folder
// check: the n-th allocation fails, for every n the operation reaches, and
// the operation must give its failure result, release everything it took
// and not crash. Playback itself must not allocate at all.
//
// The program's global operator new is replaced below to count and fail
// allocations while a test has armed it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "common/temp_dir.h"
#include "hardening/exercise.h"
#include "hardening/sample_recordings.h"
#include "recsim/recsim.h"

namespace {

std::atomic<bool> gArmed{false};
std::atomic<uint64_t> gAllocations{0};  // since arming
std::atomic<uint64_t> gReleases{0};     // since arming
std::atomic<uint64_t> gFailAt{0};       // 0: count only

bool FailThisAllocation() {
    if (!gArmed.load(std::memory_order_relaxed)) return false;
    return gAllocations.fetch_add(1) + 1 == gFailAt.load();
}

void *Allocate(size_t size) noexcept {
    if (FailThisAllocation()) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

void Release(void *p) noexcept {
    if (p == nullptr) return;
    if (gArmed.load(std::memory_order_relaxed)) gReleases.fetch_add(1);
    std::free(p);
}

}  // namespace

void *operator new(size_t size) {
    if (void *p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void *operator new[](size_t size) {
    if (void *p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void *operator new(size_t size, const std::nothrow_t &) noexcept { return Allocate(size); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return Allocate(size); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, size_t) noexcept { Release(p); }
void operator delete[](void *p, size_t) noexcept { Release(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { Release(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { Release(p); }

namespace {

// Runs `operation` with the n-th allocation failing; returns its result.
// `reached` tells whether the operation made n allocations at all, `live`
// how many of its allocations it did not release.
template <typename Operation>
int32_t WithFailingAllocation(uint64_t n, Operation operation, bool *reached, int64_t *live) {
    gAllocations.store(0);
    gReleases.store(0);
    gFailAt.store(n);
    gArmed.store(true);
    const int32_t result = operation();
    gArmed.store(false);
    *reached = gAllocations.load() >= n;
    *live = static_cast<int64_t>(gAllocations.load()) - (n != 0 && *reached ? 1 : 0) -
            static_cast<int64_t>(gReleases.load());
    return result;
}

// Makes allocation n = 1, 2, ... fail until the operation no longer reaches
// n; `check` judges each result. Returns the number of allocations tried.
template <typename Operation, typename Check>
uint64_t EveryAllocationFails(Operation operation, Check check) {
    uint64_t n = 1;
    for (;; ++n) {
        bool reached = false;
        int64_t live = 0;
        const int32_t result = WithFailingAllocation(n, operation, &reached, &live);
        if (!reached) break;
        check(n, result, live);
        if (::testing::Test::HasFatalFailure()) break;
    }
    return n - 1;
}

class AllocationFailure : public ::testing::Test {
protected:
    void SetUp() override {
        AVFILE_CheckFileName("");  // the process-wide search object exists before counting
        recsim::TreeWriter tree(dir_.path());
        recsim::RecordingPlan plan = TreeFilePlan();
        plan.audioChunkBytes = 800;
        plan.gpsSamples = true;
        const int32_t start = 1420800569;
        for (int c = 0; c < 2; ++c) {
            path_ = tree.AddFile(day_, "video", recsim::RecordFileName(recsim::RecordNameAt(start + c, c)),
                                 recsim::PlannedFile(plan, start + c));
        }
        tree.AddFile(day_, "alarm", recsim::RecordFileName(recsim::RecordNameAt(start + 90, 2, true)),
                     recsim::PlannedFile(plan, start + 90));
        dayPath_ = dir_ / (day_ + "/");
        clean_ = ExerciseTree(dir_.path());
        ASSERT_EQ(clean_.fault, "");
        ASSERT_EQ(clean_.groups.size(), 2u);
    }
    TempDir dir_;
    const std::string day_ = "2015-01-09";
    std::string path_, dayPath_;
    TreeReport clean_;
};

// An allocation the open can do without (a read-ahead buffer) may fail
// without failing the open; every other one fails it with 1. Either way the
// open and close together keep nothing.
TEST_F(AllocationFailure, OpenGivesOneOrCopesAndKeepsNothing) {
    int failed = 0;
    const uint64_t tried = EveryAllocationFails(
        [&] {
            AvFileHandle handle = nullptr;
            const int32_t r = AVFILE_FEOpenFile(path_.c_str(), 0, nullptr, 0, 0, &handle);
            if (r == 0) AVFILE_FECloseFile(handle);
            return r;
        },
        [&](uint64_t n, int32_t result, int64_t live) {
            EXPECT_TRUE(result == 0 || result == 1) << "allocation " << n << ": " << result;
            failed += result == 1;
            EXPECT_EQ(live, 0) << "allocation " << n;
        });
    EXPECT_GT(tried, 2u);
    EXPECT_GT(failed, 2);
    RecordProperty("allocations_failed_in_turn", std::to_string(tried));
}

TEST_F(AllocationFailure, PlaybackAllocatesNothing) {
    AvFileHandle handle = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path_.c_str(), 0, nullptr, 0, 0, &handle), 0);
    bool reached = false;
    int64_t live = 0;
    const AvFrameInfo plain{}, sideData{0, nullptr, 0, 0, 0, FRAME_REQ_SIDEDATA};
    int frames = 0;
    WithFailingAllocation(
        0,
        [&] {
            AvFrameInfo frame{};
            AVFILE_FESeekBegin(handle);
            while (AVFILE_FEReadFrame(handle, &frame, &plain) == 0) ++frames;
            AVFILE_FESeekIFrame(handle, 0, 0);
            while (AVFILE_FEBackwardIFrame(handle, &frame, &plain) == 0) ++frames;
            while (AVFILE_FEForwardIFrame(handle, &frame, &plain) == 0) ++frames;
            while (AVFILE_FEReadFrame(handle, &frame, &sideData) == 0) ++frames;
            return 0;
        },
        &reached, &live);
    EXPECT_GT(frames, 50);
    EXPECT_EQ(gAllocations.load(), 0u);
    AVFILE_FECloseFile(handle);
}

// What the searches report, kept without allocating: a hash of each group's
// files and channels, and the number of days.
struct Reported {
    uint64_t groups[64];
    size_t groupCount;
    size_t dayCount;
};
Reported gReported;

int AVFILE_CALL KeepDay(RecDayInfo *, int32_t) {
    ++gReported.dayCount;
    return 0;
}

int AVFILE_CALL KeepGroup(RecGroupInfo *group, int32_t) {
    uint64_t h = 1469598103934665603ull;
    for (int32_t i = 0; i < group->count && i < 16; ++i) {
        for (const char *p = group->paths[i]; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
        h = (h ^ static_cast<uint64_t>(group->channels[i])) * 1099511628211ull;
    }
    if (gReported.groupCount < 64) gReported.groups[gReported.groupCount++] = h;
    return 0;
}

TEST_F(AllocationFailure, SearchesReportOnlyWhatTheyCouldOpen) {
    gReported = Reported{};
    ASSERT_EQ(AVFILE_SearchFile(dayPath_.c_str(), 0, KeepGroup), 1);
    const Reported clean = gReported;
    ASSERT_EQ(clean.groupCount, 2u);
    struct Search {
        const char *what;
        std::string folder;
        bool days;
    } searches[] = {{"day search", dir_.path(), true}, {"file search", dayPath_, false}};
    for (const Search &s : searches) {
        const uint64_t tried = EveryAllocationFails(
            [&] {
                gReported = Reported{};
                return s.days ? AVFILE_SearchDay(s.folder.c_str(), 0, KeepDay)
                              : AVFILE_SearchFile(s.folder.c_str(), 0, KeepGroup);
            },
            [&](uint64_t n, int32_t result, int64_t live) {
                EXPECT_TRUE(result == 1 || (s.days && result == 0)) << s.what << ", allocation " << n;
                EXPECT_EQ(live, 0) << s.what << ", allocation " << n;
                EXPECT_LE(gReported.dayCount, 1u) << s.what << ", allocation " << n;
                for (size_t g = 0; g < gReported.groupCount; ++g) {
                    EXPECT_NE(std::find(clean.groups, clean.groups + clean.groupCount, gReported.groups[g]),
                              clean.groups + clean.groupCount)
                        << s.what << ", allocation " << n;
                }
            });
        EXPECT_GT(tried, 2u) << s.what;
        RecordProperty(std::string(s.days ? "day" : "file") + "_search_allocations_failed_in_turn",
                       std::to_string(tried));
    }
}

TEST_F(AllocationFailure, FolderCheckGivesAResultAndKeepsNothing) {
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    const uint64_t tried = EveryAllocationFails(
        [&] { return AVFILE_CheckFolder(dir_.path().c_str(), nullptr, 0, 0, terminal, ioName); },
        [&](uint64_t n, int32_t result, int64_t live) {
            EXPECT_TRUE(result == 0 || result == 1) << "allocation " << n << ": " << result;
            EXPECT_EQ(live, 0) << "allocation " << n;
        });
    EXPECT_GT(tried, 2u);
    RecordProperty("allocations_failed_in_turn", std::to_string(tried));
}

}  // namespace
