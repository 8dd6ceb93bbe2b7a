// A test hook that makes the file system fail on purpose: the n-th file
// open, read, seek or folder enumeration step after arming fails, once or
// from then on, so tests can show that a card that fails in the middle of a
// playback or a search gives result codes and nothing worse. Off unless a
// test arms it; then every platform file operation costs one relaxed load.
#pragma once

#include <atomic>
#include <cstdint>

namespace plat::fault {

enum Operation : unsigned {
    kOpen = 1u << 0,       // OpenRead
    kRead = 1u << 1,       // Read
    kSeek = 1u << 2,       // Seek
    kEnumerate = 1u << 3,  // FindFirst and FindNext
    kAll = kOpen | kRead | kSeek | kEnumerate,
};

namespace detail {
inline std::atomic<bool> armed{false};
inline std::atomic<unsigned> operations{0};
inline std::atomic<uint64_t> counted{0};
inline std::atomic<uint64_t> failAt{0};
inline std::atomic<bool> onward{false};
}  // namespace detail

// Counts the operations of the kinds in `operations` from now on; the
// `failAt`-th of them (1 = the next one) fails, and with `onward` every one
// after it as well. failAt 0 only counts.
inline void Arm(unsigned operations, uint64_t failAt, bool onward) {
    detail::armed.store(false);
    detail::operations.store(operations);
    detail::counted.store(0);
    detail::failAt.store(failAt);
    detail::onward.store(onward);
    detail::armed.store(true);
}

inline void Disarm() { detail::armed.store(false); }

// Operations of the armed kinds met since arming.
inline uint64_t Counted() { return detail::counted.load(); }

// Asked by the platform layer before each operation: true when it must fail.
inline bool ShouldFail(Operation operation) {
    if (!detail::armed.load(std::memory_order_relaxed)) return false;
    if ((detail::operations.load() & operation) == 0) return false;
    const uint64_t n = detail::counted.fetch_add(1) + 1;
    const uint64_t at = detail::failAt.load();
    return at != 0 && (n == at || (n > at && detail::onward.load()));
}

}  // namespace plat::fault
