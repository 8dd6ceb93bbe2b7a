#include "support/diag_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/log_files.h"
#include "support/diag_log_quota.h"
#include "support/module_paths.h"
#include "support/routines.h"

namespace {

constexpr uint32_t kSettingsPeriodMs = 60000;
constexpr int32_t kDefaultLevel = 2;
constexpr int32_t kDefaultQuotaMiB = 5;
constexpr int32_t kMaxQuotaMiB = 1024;
// A dump's formatted text is cut to leave room for its two blanks, and its
// hexadecimal bytes stay within the first part of the text buffer.
constexpr size_t kDumpTextMax = 10236;
constexpr size_t kDumpHexEnd = 10176;

// Copies text into a fixed field, cut to the field.
void CopyCut(char *out, size_t size, const char *text) {
    size_t length = text ? std::strlen(text) : 0;
    if (length >= size) length = size - 1;
    if (length) std::memcpy(out, text, length);
    out[length] = '\0';
}

// The number of characters vsnprintf placed into a buffer of `size` bytes.
size_t FormattedLength(int result, size_t size) {
    if (result < 0) return 0;
    return static_cast<size_t>(result) < size ? static_cast<size_t>(result) : size - 1;
}

// Formats into `out`, cut to its size; a null format gives the empty text.
// Returns the length of the text.
size_t FormatCut(char *out, size_t size, const char *format, va_list args) {
    out[0] = '\0';
    if (format == nullptr) return 0;
    return FormattedLength(std::vsnprintf(out, size, format, args), size);
}

}  // namespace

CDiagLog::CDiagLog() : CDiagLog(GetAppPath()) {}

CDiagLog::CDiagLog(const char *appFolder)
    : m_sizeQuota(kDefaultQuotaMiB), m_minLevel(kDefaultLevel), m_settingsTick(0) {
    if (appFolder == nullptr) appFolder = "";
    m_settingsPath[0] = '\0';
    m_fileSize = 0;
    m_file = nullptr;
    // The folder and the settings path must fit whole: a cut path would put
    // the log somewhere else, so then no file is opened at all.
    const int folderLength = std::snprintf(m_logFolder, sizeof m_logFolder, "%sLog%c",
                                           appFolder, plat::kPathSep);
    if (folderLength < 0 || static_cast<size_t>(folderLength) >= sizeof m_logFolder) {
        m_logFolder[0] = '\0';
    }
    m_filePath[0] = '\0';
    std::memset(&m_startTime, 0, sizeof m_startTime);
    std::memset(&m_lastTime, 0, sizeof m_lastTime);
    CopyCut(m_moduleName, sizeof m_moduleName, GetOwnModuleName());
    std::memset(m_lineBuffer, 0, sizeof m_lineBuffer);
    std::memset(m_textBuffer, 0, sizeof m_textBuffer);
    m_settingsTick.store(plat::TickCount(), std::memory_order_relaxed);
    m_prune = 1;
    const int settingsLength =
        std::snprintf(m_settingsPath, sizeof m_settingsPath, "%sLOG.INI", appFolder);
    if (settingsLength < 0 || static_cast<size_t>(settingsLength) >= sizeof m_settingsPath) {
        m_settingsPath[0] = '\0';
    }
    ReadSettings();
}

CDiagLog::~CDiagLog() {
    // Runs at unload, when no other thread writes any more: no lock taken.
    CloseFile();
}

void CDiagLog::SetModuleName(const char *name) {
    if (name) CopyCut(m_moduleName, sizeof m_moduleName, name);
}

void CDiagLog::ReadSettings() {
    int32_t level = kDefaultLevel, quota = kDefaultQuotaMiB;
    if (m_settingsPath[0]) {
        level = plat::ProfileInt("LOG", "LEVEL", kDefaultLevel, m_settingsPath);
        quota = plat::ProfileInt("LOG", "SIZE", kDefaultQuotaMiB, m_settingsPath);
    }
    if (quota <= kDefaultQuotaMiB || quota > kMaxQuotaMiB) quota = kDefaultQuotaMiB;
    m_minLevel.store(level, std::memory_order_relaxed);
    m_sizeQuota.store(quota, std::memory_order_relaxed);
}

void CDiagLog::RefreshSettings() {
    uint32_t last = m_settingsTick.load(std::memory_order_relaxed);
    if (!HasElapsed(last, kSettingsPeriodMs)) return;
    // One thread claims the reading; the others go on with the settings
    // they have.
    if (!m_settingsTick.compare_exchange_strong(last, plat::TickCount(),
                                                std::memory_order_relaxed)) {
        return;
    }
    ReadSettings();
}

bool CDiagLog::Enabled(int32_t level) {
    RefreshSettings();
    return level >= MinimumLevel();
}

void CDiagLog::WriteLine(int32_t level, const char *text) {
    if (!Enabled(level)) return;
    if (text == nullptr) text = "";
    m_lock.Enter();
    WriteText(text, std::strlen(text));
    m_lock.Leave();
}

void CDiagLog::WriteFormat(int32_t level, const char *format, ...) {
    if (!Enabled(level)) return;
    va_list args;
    va_start(args, format);
    m_lock.Enter();
    WriteText(m_textBuffer, FormatCut(m_textBuffer, sizeof m_textBuffer, format, args));
    m_lock.Leave();
    va_end(args);
}

void CDiagLog::WriteDump(int32_t level, const unsigned char *data, int32_t length,
                         const char *format, ...) {
    if (!Enabled(level)) return;
    va_list args;
    va_start(args, format);
    m_lock.Enter();
    size_t used = 0;
    m_textBuffer[0] = '\0';
    if (format) {
        used = FormatCut(m_textBuffer, kDumpTextMax + 1, format, args);
        m_textBuffer[used++] = ' ';
        m_textBuffer[used++] = ' ';
        m_textBuffer[used] = '\0';
    }
    if (used < kDumpHexEnd) {
        HexDump(m_textBuffer + used, static_cast<int32_t>(kDumpHexEnd - used), data, length);
        used += std::strlen(m_textBuffer + used);
    }
    WriteText(m_textBuffer, used);
    m_lock.Leave();
    va_end(args);
}

void CDiagLog::WriteText(const char *text, size_t length) {
    if (m_file == nullptr && !OpenFile()) return;  // the line is lost; the next one retries
    plat::LocalTime(&m_lastTime);
    const int stamp = std::snprintf(m_lineBuffer, sizeof m_lineBuffer,
                                    "%04d-%02d-%02d   %02d:%02d:%02d   ", m_lastTime.wYear,
                                    m_lastTime.wMonth, m_lastTime.wDay, m_lastTime.wHour,
                                    m_lastTime.wMinute, m_lastTime.wSecond);
    const size_t head = FormattedLength(stamp, sizeof m_lineBuffer);
    // Text that does not fit is cut; the line always ends with CR LF.
    const size_t room = sizeof m_lineBuffer - head - 3;
    if (length > room) length = room;
    std::memcpy(m_lineBuffer + head, text, length);
    size_t end = head + length;
    m_lineBuffer[end++] = '\r';
    m_lineBuffer[end++] = '\n';
    m_lineBuffer[end] = '\0';
    const uint32_t lineLength = static_cast<uint32_t>(end);
    plat::AppendToLogFile(m_file, m_lineBuffer, lineLength);
    // Counted even when the write failed, so a failing disk still rotates.
    m_fileSize += lineLength;
    if (m_fileSize > kRotateSize) CloseFile();
}

bool CDiagLog::ComposeFileName(char *out, size_t size) const {
    if (m_logFolder[0] == '\0') return false;
    const AvSystemTime &s = m_startTime, &l = m_lastTime;
    const int n = std::snprintf(
        out, size, "%s%s----%s----" AVFILE_LOG_TIMES_FORMAT,
        m_logFolder, GetExeBaseName(), m_moduleName, s.wYear, s.wMonth, s.wDay, s.wHour,
        s.wMinute, s.wSecond, l.wYear, l.wMonth, l.wDay, l.wHour, l.wMinute, l.wSecond);
    // A cut name would lose its ".log" and its shape, and escape the folder
    // quota.
    return n > 0 && static_cast<size_t>(n) < size;
}

bool CDiagLog::OpenFile() {
    if (m_file) return true;
    if (m_prune) EnforceLogQuota(m_logFolder, m_moduleName, SizeQuotaMiB());
    plat::LocalTime(&m_startTime);
    m_lastTime = m_startTime;
    if (!ComposeFileName(m_filePath, sizeof m_filePath)) {
        m_filePath[0] = '\0';
        return false;
    }
    plat::CreateFolderTree(m_logFolder);
    m_file = plat::OpenLogFile(m_filePath);
    if (m_file == nullptr) return false;
    m_fileSize = plat::LogFileSize(m_file);
    return true;
}

void CDiagLog::CloseFile() {
    if (m_file == nullptr) return;
    plat::CloseLogFile(m_file);
    m_file = nullptr;
    m_fileSize = 0;
    // The file takes the name that carries the time of its last line; when
    // the move fails it keeps its opening name.
    char renamed[AVFILE_MAX_PATH];
    if (ComposeFileName(renamed, sizeof renamed) && std::strcmp(renamed, m_filePath) != 0 &&
        plat::RenameFile(m_filePath, renamed)) {
        std::memcpy(m_filePath, renamed, sizeof renamed);
    }
}

CDiagLog &TheDiagLog() {
    static CDiagLog log;
    return log;
}

namespace {
// The log object is built while the module loads, so that it has read its
// settings before the first call into the library.
[[maybe_unused]] CDiagLog &g_logAtLoad = TheDiagLog();
}  // namespace
