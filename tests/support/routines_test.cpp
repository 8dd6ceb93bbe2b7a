#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/locks.h"
#include "support/routines.h"

namespace {

TEST(SplitAt, KeepsEmptyPieces) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"2015-01-09", {"2015", "01", "09"}},
        {"2015--09", {"2015", "", "09"}},
        {"2015-", {"2015", ""}},
        {"", {""}},
        {"-", {"", ""}},
    };
    for (const auto &[text, expected] : cases) {
        std::vector<std::string> pieces;
        SplitAt(text, '-', pieces);
        EXPECT_EQ(pieces, expected) << text;
    }
}

TEST(IsAllDigits, DigitsOnly) {
    EXPECT_TRUE(IsAllDigits("0123"));
    EXPECT_TRUE(IsAllDigits(""));
    EXPECT_FALSE(IsAllDigits("12a"));
    EXPECT_FALSE(IsAllDigits("\xb2"));
}

AvSystemTime Time(int y, int mo, int d, int h, int mi, int s, int ms) {
    AvSystemTime t{};
    t.wYear = static_cast<uint16_t>(y);
    t.wMonth = static_cast<uint16_t>(mo);
    t.wDay = static_cast<uint16_t>(d);
    t.wHour = static_cast<uint16_t>(h);
    t.wMinute = static_cast<uint16_t>(mi);
    t.wSecond = static_cast<uint16_t>(s);
    t.wMilliseconds = static_cast<uint16_t>(ms);
    return t;
}

TEST(SecondsBetween, TruncatesTowardZero) {
    const AvSystemTime a = Time(2015, 1, 9, 10, 0, 1, 900), b = Time(2015, 1, 9, 10, 0, 0, 0);
    EXPECT_EQ(SecondsBetween(a, b), 1);
    EXPECT_EQ(SecondsBetween(b, a), -1);
    EXPECT_EQ(SecondsBetween(Time(2015, 1, 10, 0, 0, 0, 0), Time(2015, 1, 9, 0, 0, 0, 0)), 86400);
    EXPECT_EQ(SecondsBetween(Time(2016, 3, 1, 0, 0, 0, 0), Time(2016, 2, 28, 0, 0, 0, 0)), 2 * 86400);
}

TEST(SecondsBetween, InvalidDateGivesZero) {
    EXPECT_EQ(SecondsBetween(Time(2015, 2, 30, 0, 0, 0, 0), Time(2015, 1, 1, 0, 0, 0, 0)), 0);
    EXPECT_EQ(SecondsBetween(Time(2015, 1, 1, 0, 0, 0, 0), Time(2015, 13, 1, 0, 0, 0, 0)), 0);
    EXPECT_EQ(SecondsBetween(Time(2015, 1, 1, 24, 0, 0, 0), Time(2015, 1, 1, 0, 0, 0, 0)), 0);
}

uint32_t g_tick = 0;
uint32_t FakeTick() { return g_tick; }

TEST(HasElapsed, AcrossTheCounterWrap) {
    plat::SetTickSource(FakeTick);
    g_tick = 0x00000010u;
    EXPECT_TRUE(HasElapsed(0xFFFFFFF0u, 0x20));   // 32 ms across the wrap
    EXPECT_FALSE(HasElapsed(0xFFFFFFF0u, 0x21));
    g_tick = 1000;
    EXPECT_TRUE(HasElapsed(0, 1000));
    EXPECT_FALSE(HasElapsed(1, 1000));
    plat::SetTickSource(nullptr);
}

TEST(HexDump, BoundedByTheBuffer) {
    const unsigned char data[] = {0x00, 0x1f, 0xa0, 0xff, 0x42};
    struct Case {
        int32_t size;
        const char *expected;
    };
    for (const Case &c : {Case{64, "00 1F A0 FF 42 "}, Case{18, "00 1F A0 FF 42 "},
                          Case{17, "00 1F A0 FF "}, Case{6, "00 "}, Case{5, ""}, Case{1, ""}}) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        HexDump(out, c.size, data, 5);
        EXPECT_STREQ(out, c.expected) << c.size;
        EXPECT_LT(std::strlen(out), static_cast<size_t>(c.size));
    }
    char untouched[4] = {'a', 'b', 'c', 0};
    HexDump(untouched, -1, data, 5);
    EXPECT_STREQ(untouched, "abc");
}

std::string g_trace;
void CaptureTrace(const char *text) { g_trace += text; }

TEST(DebugTrace, OneLineCutAt510Characters) {
    plat::SetDebugSink(CaptureTrace);
    g_trace.clear();
    DebugTrace("files: %d", 12);
    EXPECT_EQ(g_trace, "files: 12\n");
    g_trace.clear();
    const std::string longText(600, 'a');
    DebugTrace("%s", longText.c_str());
    EXPECT_EQ(g_trace, std::string(510, 'a') + "\n");
    plat::SetDebugSink(nullptr);
}

// The lock probe below runs GoogleTest's own threads, as the Windows thread
// model of the runtime has no std::thread, and waits by watching the clock.
using Clock = std::chrono::steady_clock;

// Waits up to `limit` for `flag`; true when it was set.
bool WaitFor(const std::atomic<int> &flag, Clock::duration limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (flag.load() == 0) {
        if (Clock::now() > end) return false;
    }
    return true;
}

void Pause(Clock::duration length) {
    const Clock::time_point end = Clock::now() + length;
    while (Clock::now() < end) {
    }
}

constexpr Clock::duration kLimit = std::chrono::seconds(10);
constexpr Clock::duration kGrace = std::chrono::milliseconds(50);

struct LockProbe {
    CMutexLock lock;
    std::atomic<int> nested{0}, leftInner{0}, prober{0};
    std::atomic<int> leaveInner{0}, leaveOuter{0};
};

// Enters twice, and leaves each level when told to.
void HoldTwice(LockProbe *probe) {
    CAutoLock outer(&probe->lock);
    {
        CAutoLock inner(&probe->lock);  // the owning thread may enter again
        probe->nested = 1;
        WaitFor(probe->leaveInner, kLimit);
    }
    probe->leftInner = 1;
    WaitFor(probe->leaveOuter, kLimit);
}

void TakeOnce(LockProbe *probe) {
    CAutoLock taken(&probe->lock);
    probe->prober = 1;
}

// An owner thread enters the lock twice; a second thread waiting for it gets
// in only once the owner has left both times. Every wait is bounded: a lock
// that does not nest leaves the owner stuck, which fails the test instead of
// hanging it (a stuck thread keeps its probe; neither is freed).
TEST(CAutoLock, NullLockDoesNothingAndLocksNest) {
    using testing::internal::ThreadWithParam;
    { CAutoLock none(nullptr); }
    auto *probe = new LockProbe;
    auto *owner = new ThreadWithParam<LockProbe *>(&HoldTwice, probe, nullptr);
    if (!WaitFor(probe->nested, kLimit)) {
        FAIL() << "the owning thread could not enter the lock a second time";
    }
    auto *prober = new ThreadWithParam<LockProbe *>(&TakeOnce, probe, nullptr);
    Pause(kGrace);
    EXPECT_EQ(probe->prober.load(), 0) << "entered while the owner held the lock twice";
    probe->leaveInner = 1;
    if (!WaitFor(probe->leftInner, kLimit)) FAIL() << "the owner could not leave the inner level";
    Pause(kGrace);
    EXPECT_EQ(probe->prober.load(), 0) << "entered while the owner still held the lock once";
    probe->leaveOuter = 1;
    if (!WaitFor(probe->prober, kLimit)) FAIL() << "the lock stayed taken after the owner left it";
    delete owner;  // joins
    delete prober;
    delete probe;
}

}  // namespace
