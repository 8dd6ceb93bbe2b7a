// A record file's bytes through the whole playback interface: open, the
// getters, every frame with both request kinds, seeks, steps both ways,
// every side-data record, close; and an open with a password check. An input
// may end in the host's choices (fuzz_support.h): then the checked open takes
// the host's channel and plays on with the host's audio channel request and
// its stale frame record. The platform layer serves the bytes from memory:
// nothing is written to disk.
#include <cstdint>

#include "avfile/avfile.h"
#include "fuzz_support.h"
#include "hardening/exercise.h"
#include "platform/fault_injection.h"

namespace {

// Where the library finds the input; no such file exists on disk.
const char kPath[] = "1_20150109-104929_1030h.avi";

// Every frame with the host's audio channel request, into a frame record
// whose length fields hold what the host left there.
void PlayAsTheHostAsks(AvFileHandle handle, const fuzz::HostChoices &host, size_t size) {
    AvFrameInfo request{};
    request.type = FRAME_REQ_AUDIO_CHANNEL;
    request.timeUs = host.audioChannel;
    const uint64_t bound = size / 8 + 16;
    for (uint64_t i = 0;; ++i) {
        if (i > bound) fuzz::Broken("reading as the host asks did not end");
        AvFrameInfo frame{};
        frame.altLength1 = host.staleLength;
        frame.altLength2 = host.staleLength;
        const int32_t r = AVFILE_FEReadFrame(handle, &frame, &request);
        if (r == 1) return;
        if (r != 0) fuzz::Broken("reading as the host asks returned " + std::to_string(r));
        const std::string fault = CheckFrame(frame);
        if (!fault.empty()) fuzz::Broken("reading as the host asks: " + fault);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::HostChoices host;
    const bool hostChose = fuzz::TakeHostTrailer(data, size, host);
    const plat::fault::ServedFile served{kPath, data, size};
    plat::fault::Serve(&served, 1);

    const PlaybackReport report = ExercisePlayback(kPath, size);
    if (!report.fault.empty()) fuzz::Broken(report.fault);

    // A wrong key, and the simulator's file key behind it: the check passes
    // over the first entry and matches the second on a sound seed.
    PasswordEntry passwords[2] = {};
    const char keys[2][9] = {"WrongKey", "FileKey1"};
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 8; ++k) passwords[i].key[k] = static_cast<unsigned char>(keys[i][k]);
    }
    AvFileHandle handle = nullptr;
    const int32_t r = AVFILE_FEOpenFile(kPath, host.channel, passwords, 2, 1, &handle);
    if (r < 0 || r > 2) fuzz::Broken("open with a password check returned " + std::to_string(r));
    if ((r == 0) != (handle != nullptr)) fuzz::Broken("open result and handle disagree");
    if (handle != nullptr) {
        if (hostChose) PlayAsTheHostAsks(handle, host, size);
        AVFILE_FECloseFile(handle);
    }
    plat::fault::Serve(nullptr, 0);
    return 0;
}

// A sound sample must open and play from memory, or every input would only
// meet a missing file.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const auto &sample = SampleRecordings().front();
    const plat::fault::ServedFile served{kPath, sample.bytes.data(), sample.bytes.size()};
    plat::fault::Serve(&served, 1);
    const PlaybackReport report = ExercisePlayback(kPath, sample.bytes.size());
    plat::fault::Serve(nullptr, 0);
    if (report.openResult != 0 || report.frames == 0) {
        fuzz::Broken("a sample served from memory does not play (open returned " +
                     std::to_string(report.openResult) + ")");
    }
    return 0;
}
