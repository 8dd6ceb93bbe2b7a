#include "output_file.h"

#include <new>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {
// Until the tool sets its rule (the command line's), a target is replaced.
Overwrite g_overwrite = Overwrite::Replace;
std::FILE *g_standardOutput = nullptr;
}  // namespace

void SetOverwritePolicy(Overwrite policy) { g_overwrite = policy; }

void SetStandardOutputStream(std::FILE *stream) { g_standardOutput = stream; }

bool IsStandardOutput(const std::string &target) { return target == "-"; }

CliError ClaimTarget(const std::string &target, bool *keep) {
    if (keep) *keep = false;
    std::error_code ec;
    if (IsStandardOutput(target) || !std::filesystem::exists(std::filesystem::symlink_status(target, ec)) ||
        g_overwrite == Overwrite::Replace) {
        return {};
    }
    if (g_overwrite == Overwrite::Keep && keep) {
        *keep = true;
        return {};
    }
    return Fail(kExitOutputExists, target + ": exists already (-y replaces it)");
}

COutputFile::~COutputFile() { Discard(); }

void COutputFile::Fail(const char *what, const std::string &path) {
    if (!m_error.empty()) return;
    const int err = errno;
    m_error = std::string(what) + " " + path + ": " + (err ? std::strerror(err) : "write failed");
}

bool COutputFile::Open(const std::string &target) {
    Discard();
    m_error.clear();
    m_size = 0;
    m_exists = false;
    m_target = target;
    m_standardOutput = IsStandardOutput(target);
    if (m_standardOutput) {
        m_temp.clear();
        m_file = g_standardOutput ? g_standardOutput : stdout;
        return true;
    }
    bool keep = false;
    if (CliError e = ClaimTarget(target, &keep); e || keep) {
        m_error = e ? e.message : target + ": exists already; kept";
        m_exists = true;
        return false;
    }
    m_temp = target + ".partial";
    m_pending.Set(m_temp);
    errno = 0;
    m_file = std::fopen(m_temp.c_str(), "wb");
    if (!m_file) {
        m_pending.Clear();
        Fail("cannot create", m_temp);
        return false;
    }
    // Outputs go out in writes of 1 MiB: a stream copy or a repair writes
    // hundreds of megabytes in pieces of a frame. (glibc ignores a size
    // given without a buffer.) Without the buffer, stdio's own serves.
    if (!m_buffer) m_buffer.reset(new (std::nothrow) char[kWriteBuffer]);
    if (m_buffer) std::setvbuf(m_file, m_buffer.get(), _IOFBF, kWriteBuffer);
    return true;
}

bool COutputFile::Write(const void *data, size_t size) {
    if (!Ok()) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, m_file) != size) {
        Fail("cannot write", m_temp);
        return false;
    }
    m_size += size;
    return true;
}

bool COutputFile::Patch(uint64_t offset, const void *data, size_t size) {
    if (!Ok()) return false;
    if (m_standardOutput) {
        errno = ESPIPE;
        Fail("cannot rewrite header of", "standard output");
        return false;
    }
    // Offsets beyond the range of a long cannot be reached portably; the
    // headers patched here all sit at the start of the file.
    if (offset + size > m_size || offset > 0x7fffffff) {
        errno = EINVAL;
        Fail("cannot rewrite header of", m_temp);
        return false;
    }
    errno = 0;
    if (std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, m_file) != size || std::fseek(m_file, 0, SEEK_END) != 0) {
        Fail("cannot rewrite header of", m_temp);
        return false;
    }
    return true;
}

bool COutputFile::Commit() {
    if (!m_file) {
        if (m_error.empty()) m_error = "nothing to commit for " + m_target;
        return false;
    }
    errno = 0;
    const bool flushed = std::fflush(m_file) == 0 && !std::ferror(m_file);
    if (m_standardOutput) {
        m_file = nullptr;
        if (!flushed) Fail("cannot write", "standard output");
        return flushed && m_error.empty();
    }
    if (!flushed) Fail("cannot write", m_temp);
    errno = 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!closed) Fail("cannot close", m_temp);
    if (!m_error.empty()) {
        std::remove(m_temp.c_str());
        m_pending.Clear();
        return false;
    }
    errno = 0;
    bool moved = std::rename(m_temp.c_str(), m_target.c_str()) == 0;
#if defined(_WIN32)
    // The Windows runtime refuses to rename onto an existing file.
    if (!moved && (errno == EEXIST || errno == EACCES) && std::remove(m_target.c_str()) == 0) {
        errno = 0;
        moved = std::rename(m_temp.c_str(), m_target.c_str()) == 0;
    }
#endif
    if (!moved) {
        Fail("cannot move into place", m_target);
        std::remove(m_temp.c_str());
    }
    m_pending.Clear();
    return moved;
}

void COutputFile::Discard() {
    if (!m_file) return;
    if (m_standardOutput) {
        // What went out stays out; the stream is the program's.
        std::fflush(m_file);
        m_file = nullptr;
        return;
    }
    std::fclose(m_file);
    m_file = nullptr;
    std::remove(m_temp.c_str());
    m_pending.Clear();
}
