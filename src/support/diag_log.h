// The library's diagnostics log: time-stamped lines in log files under the
// application's Log folder, tuned by "LOG.INI". A file is opened by the first
// line written, after the oldest of the folder's log files (the files named
// as this log names them; the host's own files stay) have been deleted down
// to the size quota; it is closed and renamed after its last line once it
// passes 1 MiB, and at unload.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "avfile/avfile.h"
#include "platform/platform.h"

namespace plat {
struct LogFile;
}

class CDiagLog {
public:
    // Reads the settings beside the application (GetAppPath); opens nothing.
    CDiagLog();
    // The same with another application folder (ending in a separator).
    explicit CDiagLog(const char *appFolder);
    // Closes the current file, renaming it after its last line.
    ~CDiagLog();
    CDiagLog(const CDiagLog &) = delete;
    CDiagLog &operator=(const CDiagLog &) = delete;

    // The name written into file names; cut to the field.
    void SetModuleName(const char *name);

    // Each writes one line when `level` reaches the minimum level.
    void WriteLine(int32_t level, const char *text);
    void WriteFormat(int32_t level, const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    // The formatted text (none for a null format), two blanks, then the bytes
    // in hexadecimal.
    void WriteDump(int32_t level, const unsigned char *data, int32_t length,
                   const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 5, 6)))
#endif
        ;

    int32_t MinimumLevel() const { return m_minLevel.load(std::memory_order_relaxed); }
    int32_t SizeQuotaMiB() const { return m_sizeQuota.load(std::memory_order_relaxed); }

    static constexpr uint32_t kRotateSize = 0x100000;  // 1 MiB
    static constexpr int32_t kTextBufferSize = 10240;
    static constexpr int32_t kLineBufferSize = 10240;

private:
    void ReadSettings();
    void RefreshSettings();
    bool Enabled(int32_t level);
    void WriteText(const char *text, size_t length);  // under the lock
    bool OpenFile();
    void CloseFile();
    void EnforceQuota();
    bool ComposeFileName(char *out, size_t size) const;

    char m_settingsPath[AVFILE_MAX_PATH];
    std::atomic<int32_t> m_sizeQuota;  // MiB: 5, or 6 to 1024
    std::atomic<int32_t> m_minLevel;
    char m_logFolder[AVFILE_MAX_PATH];
    char m_filePath[AVFILE_MAX_PATH];
    AvSystemTime m_startTime;
    AvSystemTime m_lastTime;
    uint32_t m_fileSize;
    plat::LogFile *m_file;
    plat::RecursiveLock m_lock;
    char m_moduleName[AVFILE_MAX_PATH];
    char m_lineBuffer[kLineBufferSize];
    char m_textBuffer[kTextBufferSize];
    std::atomic<uint32_t> m_settingsTick;
    int32_t m_prune;
};

// The process-wide log object, constructed when the module loads.
CDiagLog &TheDiagLog();
