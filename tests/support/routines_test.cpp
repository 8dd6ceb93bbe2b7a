#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
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

// Waits up to `limit` for `flag`; true when it was set.
bool WaitFor(const std::atomic<int> &flag, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (flag.load() == 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// An owner thread enters the lock twice; a second thread waiting for it gets
// in only once the owner has left both times. Every wait is bounded: a lock
// that does not nest leaves the owner stuck, which fails the test instead of
// hanging it.
TEST(CAutoLock, NullLockDoesNothingAndLocksNest) {
    { CAutoLock none(nullptr); }
    struct Probe {
        CMutexLock lock;
        std::atomic<int> nested{0}, leftInner{0}, prober{0};
        std::atomic<int> leaveInner{0}, leaveOuter{0};
    };
    constexpr auto kLimit = std::chrono::seconds(10);
    constexpr auto kGrace = std::chrono::milliseconds(50);
    // Shared with the threads, so that one left stuck keeps its lock alive.
    const auto probe = std::make_shared<Probe>();
    std::thread owner([probe, kLimit] {
        CAutoLock outer(&probe->lock);
        {
            CAutoLock inner(&probe->lock);  // the owning thread may enter again
            probe->nested = 1;
            WaitFor(probe->leaveInner, kLimit);
        }
        probe->leftInner = 1;
        WaitFor(probe->leaveOuter, kLimit);
    });
    if (!WaitFor(probe->nested, kLimit)) {
        owner.detach();
        FAIL() << "the owning thread could not enter the lock a second time";
    }
    std::thread prober([probe] {
        Probe &p = *probe;
        CAutoLock taken(&p.lock);
        p.prober.store(1);
    });
    std::this_thread::sleep_for(kGrace);
    EXPECT_EQ(probe->prober.load(), 0) << "entered while the owner held the lock twice";
    probe->leaveInner = 1;
    if (!WaitFor(probe->leftInner, kLimit)) {
        owner.detach();
        prober.detach();
        FAIL() << "the owner could not leave the inner level";
    }
    std::this_thread::sleep_for(kGrace);
    EXPECT_EQ(probe->prober.load(), 0) << "entered while the owner still held the lock once";
    probe->leaveOuter = 1;
    const bool entered = WaitFor(probe->prober, kLimit);
    EXPECT_TRUE(entered) << "the lock stayed taken after the owner left it";
    owner.join();
    if (!entered) {
        prober.detach();
        return;
    }
    prober.join();
}

}  // namespace
