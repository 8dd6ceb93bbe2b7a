#include "record_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "damaged_copy.h"

namespace {

// Why a path that exists cannot be read, or empty when it can.
std::string UnreadableReason(const std::string &path) {
    errno = 0;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return errno ? std::strerror(errno) : "cannot open";
    unsigned char byte;
    errno = 0;
    const bool read = std::fread(&byte, 1, 1, f) == 1 || std::feof(f);
    const int err = errno;
    std::fclose(f);
    if (read) return {};
    return err ? std::strerror(err) : "read error";
}

}  // namespace

CliError CRecordFile::Open(const std::string &path, int audioChannel,
                           const std::optional<PasswordEntry> &password) {
    Close();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return Fail(kExitMissingPath, path + ": no such file");
    if (std::filesystem::is_directory(path, ec)) {
        return Fail(kExitUnreadable, path + ": cannot read: is a folder, not a record file");
    }
    const std::string reason = UnreadableReason(path);
    if (!reason.empty()) return Fail(kExitUnreadable, path + ": cannot read: " + reason);

    // The password check is always asked for: an encrypted recording is not
    // shown to someone who does not know its password. The first open, with
    // no password, tells whether the file is encrypted.
    // A recording cut short is read from its repaired copy.
    const std::string source = ReadablePath(path);
    AvFileHandle handle = nullptr;
    int32_t result = m_lib.OpenFile(source.c_str(), audioChannel, nullptr, 0, 1, &handle);
    m_encrypted = result == 2;
    if (m_encrypted && password) {
        result = m_lib.OpenFile(source.c_str(), audioChannel, &*password, 1, 1, &handle);
    }
    if (result == 2) {
        return Fail(kExitPassword, path + (password ? ": wrong password for this encrypted recording"
                                                    : ": encrypted recording; give its password with --password"));
    }
    if (result != 0 || !handle) {
        return Fail(kExitNotRecordFile, path + ": not a record file of the recorder (the library cannot open it)");
    }
    m_handle = handle;
    m_path = path;
    m_audioChannel = audioChannel;
    m_lib.GetFileInfo(m_handle, &m_info);
    uint32_t frameSize = 0;
    int32_t codec = 0, codecParam = 0;
    m_lib.GetWaveFormat(m_handle, &m_wave, &frameSize, &codec, &codecParam);
    return {};
}

void CRecordFile::Close() {
    if (m_handle) m_lib.CloseFile(m_handle);
    m_handle = nullptr;
}

bool CRecordFile::Rewind() { return m_handle && m_lib.SeekBegin(m_handle) == 0; }

bool CRecordFile::Next(AvFrameInfo &frame) {
    const AvFrameInfo request{};
    return m_handle && m_lib.ReadFrame(m_handle, &frame, &request) == 0;
}

bool CRecordFile::NextSideData(AvFrameInfo &frame) {
    AvFrameInfo request{};
    request.type = FRAME_REQ_SIDEDATA;
    return m_handle && m_lib.ReadFrame(m_handle, &frame, &request) == 0;
}

std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int ChannelOfName(const std::string &path) {
    const std::string name = BaseName(path);
    if (name.size() < 2 || name[1] != '_' || name[0] < '1' || name[0] > '8') return -1;
    return name[0] - '1';
}

int FindAudioChannel(const AvFileLibrary &library, const std::string &path,
                     const std::optional<PasswordEntry> &password, std::optional<int> wanted) {
    if (wanted) return *wanted;
    // Audio of a channel the file does not carry is passed over by the
    // reader, so a short read per candidate tells which channels are there.
    constexpr int kProbeFrames = 400;
    const int own = ChannelOfName(path);
    for (int pass = -1; pass < 8; ++pass) {
        const int candidate = pass < 0 ? own : pass;
        if (candidate < 0 || (pass >= 0 && candidate == own)) continue;
        CRecordFile file(library);
        if (file.Open(path, candidate, password)) return -1;
        AvFrameInfo frame{};
        for (int n = 0; n < kProbeFrames && file.Next(frame); ++n) {
            if (frame.type == FRAME_TYPE_AUDIO) return candidate;
        }
    }
    return -1;
}
