#include "progress.h"

#include <cstdio>

#include "os/host_os.h"

namespace {
bool g_shown = true;
}

void ShowProgress(bool shown) { g_shown = shown; }

CProgress::CProgress(std::string label, uint64_t total)
    : m_label(std::move(label)), m_total(total > 0 ? total : 1), m_active(g_shown && hostos::StandardErrorIsTerminal()) {
    if (m_label.size() > 48) m_label = "..." + m_label.substr(m_label.size() - 45);
    Update(0);
}

void CProgress::Relabel(std::string label) {
    m_label = std::move(label);
    if (m_label.size() > 48) m_label = "..." + m_label.substr(m_label.size() - 45);
    // Drawn again at once, where a bar is shown.
    if (m_shown >= 0) {
        m_shown = -1;
        Update(m_done);
    }
}

void CProgress::Update(uint64_t done) {
    if (!m_active) return;
    m_done = done;
    const int perMille = static_cast<int>((done >= m_total ? m_total : done) * 1000 / m_total);
    if (perMille == m_shown) return;
    m_shown = perMille;
    constexpr int kWidth = 30;
    char bar[kWidth + 1];
    const int filled = perMille * kWidth / 1000;
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = 0;
    std::fprintf(stderr, "\r%-48s [%s] %3d%%", m_label.c_str(), bar, perMille / 10);
    std::fflush(stderr);
}

void CProgress::Done() {
    if (!m_active || m_shown < 0) return;
    std::fprintf(stderr, "\r%*s\r", 48 + 2 + 30 + 6, "");
    std::fflush(stderr);
    m_shown = -1;
}
