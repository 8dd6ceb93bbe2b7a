// A test hook that makes the file system fail on purpose: the n-th file
// open, read, seek, size query or folder enumeration step after arming
// fails, once or from then on, so tests can show that a card that fails in
// the middle of a playback or a search gives result codes and nothing
// worse. Off unless a test arms it; then every platform file operation costs
// one relaxed load.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace plat::fault {

enum Operation : unsigned {
    kOpen = 1u << 0,       // OpenRead
    kRead = 1u << 1,       // Read
    kSeek = 1u << 2,       // Seek
    kEnumerate = 1u << 3,  // FindFirst and FindNext
    kSize = 1u << 4,       // FileSize
    kAll = kOpen | kRead | kSeek | kEnumerate | kSize,
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

// ---- Files served from memory ----
//
// A fuzzer hands its input to the library as files that never reach the
// disk: while a table of files is served, OpenRead of a path in the table
// reads that file's bytes from memory (read faults, seeks, read-ahead and
// its size as for a file on disk) and the file system is not asked. The
// table and its bytes must stay valid until Serve(nullptr, 0). Paths compare
// as given, with '\' and '/' alike. Off unless served; then every open costs
// one acquiring load, which sees the count stored before the table.

struct ServedFile {
    const char *path;
    const unsigned char *data;
    size_t size;
};

namespace detail {
inline std::atomic<const ServedFile *> served{nullptr};
inline std::atomic<size_t> servedCount{0};

inline bool SamePath(const char *a, const char *b) {
    for (;; ++a, ++b) {
        const bool sepA = *a == '\\' || *a == '/', sepB = *b == '\\' || *b == '/';
        if (sepA != sepB || (!sepA && *a != *b)) return false;
        if (*a == '\0') return true;
    }
}
}  // namespace detail

inline void Serve(const ServedFile *files, size_t count) {
    detail::served.store(nullptr);
    detail::servedCount.store(files != nullptr ? count : 0);
    detail::served.store(files);
}

// Asked by the platform layer when it opens a file: the served file of that
// path, or null.
inline const ServedFile *Served(const char *path) {
    const ServedFile *files = detail::served.load(std::memory_order_acquire);
    if (files == nullptr || path == nullptr) return nullptr;
    const size_t count = detail::servedCount.load();
    for (size_t i = 0; i < count; ++i) {
        if (detail::SamePath(files[i].path, path)) return &files[i];
    }
    return nullptr;
}

// ---- Counting what reaches the file system ----
//
// While counting, the platform layer counts the files it opens, the reads
// it asks of them and the entries whose details it fetches from the file
// system (a stat of a listed entry), whether a file is on disk or served
// from memory. A read here is one request to the file system, not one call
// of Read: the read-ahead serves most of those from memory. Off unless a
// test starts counting; then each of those costs one relaxed load more.

struct SystemCalls {
    uint64_t opens = 0;
    uint64_t reads = 0;
    uint64_t entryStats = 0;
};

enum SystemCall { kOpenCall, kReadCall, kEntryStatCall };

namespace detail {
inline std::atomic<bool> counting{false};
inline std::atomic<uint64_t> callCounts[3] = {};
inline std::atomic<bool> unknownEntryTypes{false};
inline std::atomic<size_t> listingReadLimit{0};
}  // namespace detail

inline void StartCounting() {
    for (std::atomic<uint64_t> &count : detail::callCounts) count.store(0);
    detail::counting.store(true);
}

inline void StopCounting() { detail::counting.store(false); }

inline SystemCalls CountedCalls() {
    SystemCalls calls;
    calls.opens = detail::callCounts[kOpenCall].load();
    calls.reads = detail::callCounts[kReadCall].load();
    calls.entryStats = detail::callCounts[kEntryStatCall].load();
    return calls;
}

// Told by the platform layer each time it makes one of the calls.
inline void Note(SystemCall call) {
    if (detail::counting.load(std::memory_order_relaxed)) detail::callCounts[call].fetch_add(1);
}

// Makes a folder listing take every entry's kind as unknown, as some file
// systems report it, so that the kind must be asked of each entry.
inline void ForceUnknownEntryTypes(bool force) { detail::unknownEntryTypes.store(force); }
inline bool UnknownEntryTypesForced() {
    return detail::unknownEntryTypes.load(std::memory_order_relaxed);
}

// Makes a folder listing ask the system for at most `bytes` of entries at a
// time, with no room set aside from the folder's size (0: as usual), so that
// even a small folder is read in many pieces into a block that grows.
inline void LimitListingReads(size_t bytes) { detail::listingReadLimit.store(bytes); }
inline size_t ListingReadLimit() { return detail::listingReadLimit.load(std::memory_order_relaxed); }

}  // namespace plat::fault
