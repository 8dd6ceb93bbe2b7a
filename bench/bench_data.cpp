// bench_data DIR: writes the recordings the benchmarks read, with the
// recorder simulator.
//
//   play_4m.avi, play_12m.avi   10 minutes at about 4 and 12 Mbit/s, 25 frames
//                               per second, a key frame every 25, four audio
//                               channels of 1280-byte PCM chunks, one GPS text
//                               chunk per second
//   open_1min.avi ... 60min     1, 10 and 60 minutes at about 2 Mbit/s, the
//                               same streams
//   repair_10min.avi            the 4 Mbit/s 10-minute recording as power loss
//                               leaves it, cut at 90 % of its bytes
//   day2880/ day5760/ day11520/ a day folder whose video sub-folder holds
//                               one-minute recordings of 8 channels, the
//                               channels starting up to 2 s apart (360, 720
//                               and 1,440 recordings)
//
// bench_data --small DIR writes the same names with 10-second recordings and
// days of 4, 8 and 16 recordings, for a smoke run of a few seconds.
//
// A folder already written by this version is left as it is; a recording
// added since (repair_10min.avi) is written when it is missing.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "recsim/recsim.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kStamp = "written-by-bench_data-3";
constexpr int32_t kDayStart = 1420761600;  // 2015-01-09 00:00:00

// Video at `bitsPerSecond`: a key frame four times the size of the other
// frames of its group of 25.
recsim::RecordingPlan PlaybackPlan(int seconds, double bitsPerSecond) {
    recsim::RecordingPlan plan;
    plan.seconds = seconds;
    plan.framesPerSecond = 25;
    plan.keyFrameInterval = 25;
    const double bytesPerGroup = bitsPerSecond / 8.0;  // one group per second
    plan.frameSize = static_cast<size_t>(bytesPerGroup / 28.0);
    plan.keyFrameSize = plan.frameSize * 4;
    plan.audioChannels = {0, 1, 2, 3};
    plan.audioChunkBytes = 1280;
    plan.gps = true;
    return plan;
}

bool WriteRecording(const fs::path &path, const recsim::RecordingPlan &plan) {
    const recsim::FileRecipe recording = recsim::PlannedFile(plan);
    if (!recsim::WriteFile(path.string(), recording)) {
        std::fprintf(stderr, "bench_data: cannot write %s\n", path.string().c_str());
        return false;
    }
    std::printf("%s\n", path.string().c_str());
    return true;
}

// The recording cut at 90 % of its bytes: no idx1, sizes and stop time as
// they stood when recording began, the last chunk torn.
bool WritePowerLoss(const fs::path &path, const recsim::RecordingPlan &plan) {
    std::error_code ec;
    if (fs::exists(path, ec)) return true;
    const recsim::FileRecipe recording = recsim::PlannedFile(plan);
    const size_t size = recsim::BuildFile(recording).size();
    const fs::path partial = path.string() + ".part";
    if (!recsim::WriteFile(partial.string(), recsim::PowerLossFile(recording, size / 10 * 9))) {
        std::fprintf(stderr, "bench_data: cannot write %s\n", path.string().c_str());
        return false;
    }
    fs::rename(partial, path, ec);
    if (ec) return false;
    std::printf("%s\n", path.string().c_str());
    return true;
}

// One-minute recordings of 8 channels for a whole day, small frames.
bool WriteDay(const fs::path &day, int recordings) {
    std::error_code ec;
    fs::create_directories(day / "video", ec);
    fs::create_directories(day / "alarm", ec);
    if (ec) return false;
    recsim::RecordingPlan plan;
    plan.seconds = 60;
    plan.keyFrameSize = 400;
    plan.frameSize = 40;
    plan.audioChannels = {};
    recsim::FileRecipe recording = recsim::PlannedFile(plan, kDayStart);
    for (int minute = 0; minute < recordings; ++minute) {
        for (int channel = 0; channel < 8; ++channel) {
            const int32_t start = kDayStart + minute * 60 + (minute * 7 + channel + 1) % 3;
            recording.header.startSeconds = start;
            recording.header.stopSeconds = start + 60;
            recording.header.videoChannel = static_cast<int8_t>(channel);
            const std::string name =
                recsim::RecordFileName(recsim::RecordNameAt(start, channel, false, 25));
            if (!recsim::WriteFile((day / "video" / name).string(), recording)) {
                std::fprintf(stderr, "bench_data: cannot write in %s\n", day.string().c_str());
                return false;
            }
        }
    }
    std::printf("%s: %d files\n", day.string().c_str(), recordings * 8);
    return true;
}

// A smaller day made of the first recordings of a full one: the files are
// linked, not written again.
bool LinkDay(const fs::path &full, const fs::path &day, int recordings) {
    std::error_code ec;
    fs::create_directories(day / "video", ec);
    fs::create_directories(day / "alarm", ec);
    if (ec) return false;
    for (int minute = 0; minute < recordings; ++minute) {
        for (int channel = 0; channel < 8; ++channel) {
            const int32_t start = kDayStart + minute * 60 + (minute * 7 + channel + 1) % 3;
            const std::string name =
                recsim::RecordFileName(recsim::RecordNameAt(start, channel, false, 25));
            fs::create_hard_link(full / "video" / name, day / "video" / name, ec);
            if (ec) fs::copy_file(full / "video" / name, day / "video" / name, ec);
            if (ec) return false;
        }
    }
    std::printf("%s: %d files\n", day.string().c_str(), recordings * 8);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    const bool small = argc == 3 && std::string(argv[1]) == "--small";
    if (argc != 2 && !small) {
        std::fprintf(stderr, "usage: bench_data [--small] DIR\n");
        return 2;
    }
    const fs::path dir = argv[argc - 1];
    const fs::path stamp = dir / (std::string(kStamp) + (small ? "-small" : ""));
    const int seconds = small ? 10 : 600;  // of the playback recordings
    std::error_code ec;
    if (fs::exists(stamp, ec)) {
        if (!WritePowerLoss(dir / "repair_10min.avi", PlaybackPlan(seconds, 4e6))) return 1;
        std::printf("%s: already written\n", dir.string().c_str());
        return 0;
    }
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "bench_data: cannot make %s\n", dir.string().c_str());
        return 1;
    }
    const int day = small ? 16 : 1440;     // recordings of a full day
    const bool ok = WriteRecording(dir / "play_4m.avi", PlaybackPlan(seconds, 4e6)) &&
                    WriteRecording(dir / "play_12m.avi", PlaybackPlan(seconds, 12e6)) &&
                    WriteRecording(dir / "open_1min.avi", PlaybackPlan(small ? 10 : 60, 2e6)) &&
                    (small || WriteRecording(dir / "open_10min.avi", PlaybackPlan(600, 2e6))) &&
                    (small || WriteRecording(dir / "open_60min.avi", PlaybackPlan(3600, 2e6))) &&
                    WritePowerLoss(dir / "repair_10min.avi", PlaybackPlan(seconds, 4e6)) &&
                    WriteDay(dir / "day11520", day) &&
                    LinkDay(dir / "day11520", dir / "day5760", day / 2) &&
                    LinkDay(dir / "day11520", dir / "day2880", day / 4);
    if (!ok) return 1;
    std::ofstream(stamp) << "complete\n";
    return 0;
}
