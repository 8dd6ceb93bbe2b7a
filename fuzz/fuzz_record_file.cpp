// A record file's bytes through the whole playback interface: open, the
// getters, every frame with both request kinds, seeks, steps both ways,
// every side-data record, close; and an open with a password check.
#include <cstdint>

#include "avfile/avfile.h"
#include "fuzz_support.h"
#include "hardening/exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz::ScratchFolder() + "1_20150109-104929_1030h.avi";
    if (!WriteBytes(path, data, size)) fuzz::Broken("cannot write the scratch file");

    const PlaybackReport report = ExercisePlayback(path, size);
    if (!report.fault.empty()) fuzz::Broken(report.fault);

    // A wrong key, and the simulator's file key behind it: the check passes
    // over the first entry and matches the second on a sound seed.
    PasswordEntry passwords[2] = {};
    const char keys[2][9] = {"WrongKey", "FileKey1"};
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 8; ++k) passwords[i].key[k] = static_cast<unsigned char>(keys[i][k]);
    }
    AvFileHandle handle = nullptr;
    const int32_t r = AVFILE_FEOpenFile(path.c_str(), 0, passwords, 2, 1, &handle);
    if (r < 0 || r > 2) fuzz::Broken("open with a password check returned " + std::to_string(r));
    if ((r == 0) != (handle != nullptr)) fuzz::Broken("open result and handle disagree");
    if (handle != nullptr) AVFILE_FECloseFile(handle);
    return 0;
}
