// sample-card: writes the sample card the avfile demonstration and tests
// run on, with the recorder simulator: two days, four channels, normal and
// alarm recordings, one encrypted recording, a GPS route that runs on from
// recording to recording, and real H.264 video cut from a clip.
//
//   sample-card ROOT --clip CLIP.h264
//
// Every recording lasts as long as the clip at 25 frames per second; the
// file of channel c carries the audio of channel c. The encrypted
// recording's password is printed at the end.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "recsim/recsim.h"

namespace {

constexpr int kChannels = 4;
constexpr int kFramesPerSecond = 25;
constexpr const char kPassword[9] = "Road2015";

struct Plan {
    int32_t start;  // seconds since 1970 on the recorder's clock
    bool alarm;
    bool encrypted;
    double speedKnots;
    double course;
};

// 2015-01-09 10:49:29 and 2015-01-10 08:15:00 on the recorder's clock.
constexpr int32_t kDay1 = 1420800569;
constexpr int32_t kDay2 = 1420877700;
// The recorder clock's lead over the receiver's UTC at kDay1, and its gain.
constexpr double kClockAhead = 8 * 3600 + 6.4;
constexpr double kClockGainPerHour = 0.1;

const Plan kPlans[] = {
    {kDay1, false, false, 12.0, 80.0},       {kDay1 + 95, false, false, 25.0, 35.0},
    {kDay1 + 190, true, false, 38.0, 350.0}, {kDay2, false, false, 18.0, 200.0},
    {kDay2 + 90, false, true, 30.0, 250.0},  {kDay2 + 180, true, false, 8.0, 300.0},
};

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4 || std::string(argv[2]) != "--clip") {
        std::fprintf(stderr, "usage: sample-card ROOT --clip CLIP.h264\n");
        return 2;
    }
    std::string root = argv[1];
    if (root.back() != '/') root += '/';
    std::ifstream in(argv[3], std::ios::binary);
    const std::vector<uint8_t> clip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<recsim::AccessUnit> units = recsim::SplitAccessUnits(clip);
    if (units.empty()) {
        std::fprintf(stderr, "sample-card: no H.264 pictures in %s\n", argv[3]);
        return 1;
    }
    const int seconds = static_cast<int>((units.size() + kFramesPerSecond - 1) / kFramesPerSecond);

    recsim::TreeWriter tree(root);
    recsim::Fix position;  // the route starts at the simulator's default place
    int32_t lastDayStart = 0;
    int files = 0;
    for (const Plan &p : kPlans) {
        if (p.start / 86400 != lastDayStart / 86400) position = recsim::Fix{};
        lastDayStart = p.start;
        position.speedKnots = p.speedKnots;
        position.course = p.course;
        recsim::RecordingPlan plan;
        plan.seconds = seconds;
        plan.framesPerSecond = kFramesPerSecond;
        plan.video = &units;
        plan.route.start = position;
        // The recorder's clock is set to local time (UTC+08:00) by hand, a few
        // seconds off, and gains a little every hour: the sentences carry the
        // receiver's UTC.
        plan.route.clockAheadSeconds = kClockAhead + kClockGainPerHour * (p.start - kDay1) / 3600.0;
        plan.route.clockGainPerHour = kClockGainPerHour;
        recsim::RecordName name = recsim::RecordNameAt(p.start, 0, p.alarm, kFramesPerSecond);
        const std::string day = recsim::DayFolderName(name.year, name.month, name.day);
        for (int c = 0; c < kChannels; ++c) {
            plan.audioChannels = {c};
            recsim::FileRecipe recipe = recsim::PlannedFile(plan, p.start);
            recsim::DescribePcmAudio(recipe);
            recipe.header.alarmFile = p.alarm ? 1 : 0;
            recipe.header.videoChannel = static_cast<int8_t>(c);
            recipe.header.audioPresence = static_cast<uint8_t>(2 * c);
            recipe.width = 320;
            recipe.height = 240;
            if (p.encrypted) {
                recipe.header.encryption = 0x10;
                for (int i = 0; i < 8; ++i) recipe.info.fileKey[static_cast<size_t>(i)] = static_cast<uint8_t>(kPassword[i]);
            }
            name.channel = c;
            const std::string path =
                tree.AddFile(day, p.alarm ? "alarm" : "video", recsim::RecordFileName(name), recipe);
            if (path.empty()) {
                std::fprintf(stderr, "sample-card: cannot write below %s\n", root.c_str());
                return 1;
            }
            ++files;
        }
        // The next recording goes on where this one ended.
        plan.route.start.utcSeconds = p.start;
        position = plan.route.At(seconds);
    }
    std::printf("sample card %s: %d record files in 2 day folders; the encrypted recording's password is %s\n",
                root.c_str(), files, kPassword);
    return 0;
}
