// A progress bar on standard error for long work, drawn only when standard
// error is a terminal: redirected output stays free of it.
#pragma once

#include <cstdint>
#include <string>

// Off for the whole run (--no-progress, -q): no bar is drawn anywhere.
void ShowProgress(bool shown);

class CProgress {
public:
    // `label` names the work ("3/12 export 1_2015...avi": an overall counter
    // leads where there are several outputs); `total` is in any unit.
    CProgress(std::string label, uint64_t total);
    ~CProgress() { Done(); }
    CProgress(const CProgress &) = delete;
    CProgress &operator=(const CProgress &) = delete;

    void Update(uint64_t done);
    // A new label from now on ("2/5 export out.mp4": the file being read).
    void Relabel(std::string label);
    // Clears the bar's line.
    void Done();

private:
    std::string m_label;
    uint64_t m_total;
    int m_shown = -1;  // per mille last drawn
    uint64_t m_done = 0;
    bool m_active;
};
