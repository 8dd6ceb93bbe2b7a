#include "pending_output.h"

#include <atomic>
#include <cstring>

namespace {

constexpr int kSlots = 8;
constexpr size_t kPathSize = 4096;

// 0 free, 1 being filled or emptied, 2 holding a path.
struct Slot {
    std::atomic<int> state{0};
    char path[kPathSize];
};
Slot g_slots[kSlots];

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");

}  // namespace

void CPendingOutput::Set(const std::string &path) {
    Clear();
    if (path.size() >= kPathSize) return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!g_slots[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].state.store(2);
        m_slot = i;
        return;
    }
}

void CPendingOutput::Clear() {
    if (m_slot < 0) return;
    g_slots[m_slot].state.store(0);
    m_slot = -1;
}

void ForEachPendingOutput(void (*action)(const char *path)) {
    for (Slot &slot : g_slots) {
        if (slot.state.load() == 2) action(slot.path);
    }
}
