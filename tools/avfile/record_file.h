// One record file opened through the library: the handle, its recording
// information and audio format, and frame reading. Opening tells apart the
// reasons a file cannot be read, so that each gets its own message and exit
// code.
#pragma once

#include <optional>
#include <string>

#include "avfile/avfile.h"
#include "exit_codes.h"
#include "library.h"

class CRecordFile {
public:
    explicit CRecordFile(const AvFileLibrary &library) : m_lib(library) {}
    ~CRecordFile() { Close(); }
    CRecordFile(const CRecordFile &) = delete;
    CRecordFile &operator=(const CRecordFile &) = delete;

    // Opens `path`; audio frames are those of `audioChannel` (0-based). An
    // encrypted recording opens only with its password: without one, or
    // with another, the error is kExitPassword.
    CliError Open(const std::string &path, int audioChannel,
                  const std::optional<PasswordEntry> &password);
    void Close();

    bool IsOpen() const { return m_handle != nullptr; }
    bool Encrypted() const { return m_encrypted; }
    const std::string &Path() const { return m_path; }
    const RecFileInfo &Info() const { return m_info; }
    const AvWaveFormatEx &WaveFormat() const { return m_wave; }
    int AudioChannel() const { return m_audioChannel; }

    // Back to the first key frame.
    bool Rewind();
    // The next frame in file order (video, audio of the channel, side data);
    // false at the end of the recording.
    bool Next(AvFrameInfo &frame);
    // The next side-data record of the file's index, whatever the reading
    // position; false when none is left.
    bool NextSideData(AvFrameInfo &frame);

private:
    const AvFileLibrary &m_lib;
    AvFileHandle m_handle = nullptr;
    std::string m_path;
    RecFileInfo m_info{};
    AvWaveFormatEx m_wave{};
    int m_audioChannel = 0;
    bool m_encrypted = false;
};

// The channel (0-based) a record file's name carries in its first
// character, "3_20150109-104929_1030h.avi" being channel 2; -1 when the
// name carries none.
int ChannelOfName(const std::string &path);
// The file name without its folder.
std::string BaseName(const std::string &path);

// The audio channel to export from a record file: `wanted` when given,
// otherwise the file's own channel when it carries audio of it, otherwise
// the first channel with audio. -1 when the file has no audio at all.
int FindAudioChannel(const AvFileLibrary &library, const std::string &path,
                     const std::optional<PasswordEntry> &password, std::optional<int> wanted);
