// An open that runs out of memory at any of its allocations either fails
// with 1 or, where a smaller buffer serves as well, still opens a file that
// plays; either way it leaves nothing allocated behind. The library takes every buffer with the
// non-throwing new; this program replaces it to fail the n-th request (and
// so is no program to run under a memory checker).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include <cstdio>
#include <cstring>

#include "common/temp_dir.h"
#include "recsim/recsim.h"
#include "search/rec_search.h"

namespace {

struct Injector {
    bool active = false;
    long failAt = 0;     // the request that fails, counted from 1
    long requests = 0;
    bool failed = false;
    void *live[256] = {};
    int liveCount = 0;
};
Injector g_injector;

void *Allocate(std::size_t n, bool nothrowRequest) {
    Injector &in = g_injector;
    if (nothrowRequest && in.active && ++in.requests == in.failAt) {
        in.failed = true;
        return nullptr;
    }
    void *p = std::malloc(n ? n : 1);
    if (p && nothrowRequest && in.active && in.liveCount < 256) in.live[in.liveCount++] = p;
    return p;
}

void Release(void *p) {
    Injector &in = g_injector;
    if (p && in.active) {
        for (int i = 0; i < in.liveCount; ++i) {
            if (in.live[i] == p) {
                in.live[i] = in.live[--in.liveCount];
                break;
            }
        }
    }
    std::free(p);
}

}  // namespace

void *operator new(std::size_t n) {
    void *p = Allocate(n, false);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void *operator new[](std::size_t n) {
    void *p = Allocate(n, false);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return Allocate(n, true); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return Allocate(n, true); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, std::size_t) noexcept { Release(p); }
void operator delete[](void *p, std::size_t) noexcept { Release(p); }

namespace {

// The search object is made on first use; when that allocation fails, the
// call fails and the next one makes the object. Only the first test of the
// process can see this (ctest runs every test in a process of its own).
TEST(SearchObjectOutOfMemory, FailedCreationIsRetriedByTheNextCall) {
    g_injector = Injector{};
    g_injector.active = true;
    g_injector.failAt = 1;
    CFileSearchJNQ *const first = GetRecSearch();
    const long requests = g_injector.requests;
    g_injector.active = false;
    if (requests == 0) GTEST_SKIP() << "the search object was made by an earlier test";
    EXPECT_EQ(first, nullptr);

    EXPECT_EQ(AVFILE_CheckFileName("/rec/1_20150109-104929_1030h.avi"), 0);
    CFileSearchJNQ *const made = GetRecSearch();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(GetRecSearch(), made);
}

TEST(OpenOutOfMemory, EveryAllocationFailureGivesOneAndLeavesNothing) {
    TempDir dir;
    recsim::RecordingPlan plan;
    plan.seconds = 2;
    recsim::FileRecipe recipe = recsim::PlannedFile(plan);
    recipe.header.encryption = 0x15;
    const std::string path = dir / "oom.avi";
    ASSERT_TRUE(recsim::WriteFile(path, recipe));
    // First-use objects are made before counting starts.
    ASSERT_NE(GetRecSearch(), nullptr);
    PasswordEntry password{};
    std::memcpy(password.key, recipe.info.fileKey.data(), 8);
    AvFileHandle warm = nullptr;
    ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, &password, 1, 1, &warm), 0);
    AVFILE_FECloseFile(warm);
    int refused = 0;
    for (long failAt = 1;; ++failAt) {
        SCOPED_TRACE(failAt);
        g_injector = Injector{};
        g_injector.active = true;
        g_injector.failAt = failAt;
        AvFileHandle handle = reinterpret_cast<AvFileHandle>(0x99);
        const int32_t result = AVFILE_FEOpenFile(path.c_str(), 0, &password, 1, 1, &handle);
        std::fflush(stdout);
        int32_t played = 1;
        if (result == 0) {
            AvFrameInfo frame{};
            played = AVFILE_FEReadFrame(handle, &frame, nullptr);
            AVFILE_FECloseFile(handle);
        }
        const bool failed = g_injector.failed;
        const int leftOver = g_injector.liveCount;
        g_injector.active = false;
        EXPECT_EQ(leftOver, 0);
        if (!failed) {
            EXPECT_EQ(result, 0);
            break;
        }
        if (result == 0) {
            EXPECT_EQ(played, 0);
        } else {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(handle, reinterpret_cast<AvFileHandle>(0x99));
            ++refused;
        }
    }
    EXPECT_GE(refused, 5);  // the object, its buffers, the index, the files
}

}  // namespace
