// recsim: writes record files and recording trees as the vehicle recorder
// does.
//
//   recsim file OUT.avi [options]     one record file
//   recsim tree ROOT [options]        day folders with video\ and alarm\ files
//
// Options: --seconds N, --fps N, --gop N (frames between key frames),
// --audio LIST (0-based channels, e.g. 0,1; "none"), --no-gps, --gps-samples,
// --delimiters, --h264 FILE (Annex B stream for the video frames),
// --encrypt, --file-key KEY, --master-key KEY (eight characters),
// --start SECONDS (since 1970), --alarm, --ntsc, --pcm-words, --watermark,
// --movie-first, --info-after-index, --no-info, --short-info, --no-index.
// Power loss: --cut N (the file ends after N bytes, tearing the last chunk),
// --opening-sizes zero|preallocated (RIFF and movie-list sizes and frame
// counts as written when recording began), --stop-time zero|start (stop time
// not yet written), --preallocate N (the file laid out at N bytes, its
// unwritten tail zeros), --power-loss N or N% (all of a recorder that fixes
// its headers at close: cut after N bytes or N% of the file, no idx1, sizes
// and stop time 0).
// Tree only: --days N, --channels N, --recordings N (per day and folder).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "recsim/recsim.h"

namespace {

struct Options {
    recsim::RecordingPlan plan;
    int32_t start = 1420800569;
    bool encrypt = false;
    std::string fileKey;
    std::string masterKey;
    bool alarm = false;
    bool ntsc = false;
    bool pcmWords = false;
    bool watermark = false;
    recsim::InfoPlacement info = recsim::InfoPlacement::BeforeMovie;
    bool shortInfo = false;
    bool noIndex = false;
    bool movieFirst = false;
    long long cut = -1;
    recsim::PowerLossRecipe powerLoss;
    std::string powerLossCut;  // N or N%
    std::string h264;
    int days = 2;
    int channels = 2;
    int recordings = 2;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: recsim file OUT.avi [options]\n"
                 "       recsim tree ROOT [options]\n"
                 "see the comment at the top of tools/recsim/main.cpp for the options\n");
    return 2;
}

bool Key(const std::string &text, std::array<uint8_t, 8> &key) {
    if (text.size() != 8) return false;
    for (size_t i = 0; i < 8; ++i) key[i] = static_cast<uint8_t>(text[i]);
    return true;
}

bool Parse(int argc, char **argv, Options &o) {
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--seconds") o.plan.seconds = std::atoi(value().c_str());
        else if (a == "--fps") o.plan.framesPerSecond = std::atoi(value().c_str());
        else if (a == "--gop") o.plan.keyFrameInterval = std::atoi(value().c_str());
        else if (a == "--audio") {
            const std::string list = value();
            o.plan.audioChannels.clear();
            if (list != "none") {
                for (const char *p = list.c_str(); *p;) {
                    o.plan.audioChannels.push_back(std::atoi(p));
                    const char *comma = std::strchr(p, ',');
                    if (!comma) break;
                    p = comma + 1;
                }
            }
        } else if (a == "--no-gps") o.plan.gps = false;
        else if (a == "--gps-samples") o.plan.gpsSamples = true;
        else if (a == "--delimiters") o.plan.delimiters = true;
        else if (a == "--h264") o.h264 = value();
        else if (a == "--encrypt") o.encrypt = true;
        else if (a == "--file-key") o.fileKey = value();
        else if (a == "--master-key") o.masterKey = value();
        else if (a == "--start") o.start = std::atoi(value().c_str());
        else if (a == "--alarm") o.alarm = true;
        else if (a == "--ntsc") o.ntsc = true;
        else if (a == "--pcm-words") o.pcmWords = true;
        else if (a == "--watermark") o.watermark = true;
        else if (a == "--movie-first") o.movieFirst = true;
        else if (a == "--info-after-index") o.info = recsim::InfoPlacement::AfterIndex;
        else if (a == "--no-info") o.info = recsim::InfoPlacement::None;
        else if (a == "--short-info") o.shortInfo = true;
        else if (a == "--no-index") o.noIndex = true;
        else if (a == "--cut") o.cut = std::atoll(value().c_str());
        else if (a == "--opening-sizes") {
            const std::string v = value();
            if (v == "zero") o.powerLoss.sizes = recsim::OpeningSizes::Zero;
            else if (v == "preallocated") o.powerLoss.sizes = recsim::OpeningSizes::Preallocated;
            else return false;
        } else if (a == "--stop-time") {
            const std::string v = value();
            if (v == "zero") o.powerLoss.stopTime = recsim::OpeningStopTime::Zero;
            else if (v == "start") o.powerLoss.stopTime = recsim::OpeningStopTime::Start;
            else return false;
        } else if (a == "--preallocate") {
            o.powerLoss.preallocatedSize = static_cast<size_t>(std::atoll(value().c_str()));
        } else if (a == "--power-loss") {
            o.powerLossCut = value();
            if (o.powerLossCut.empty()) return false;
        }
        else if (a == "--days") o.days = std::atoi(value().c_str());
        else if (a == "--channels") o.channels = std::atoi(value().c_str());
        else if (a == "--recordings") o.recordings = std::atoi(value().c_str());
        else {
            std::fprintf(stderr, "recsim: unknown option %s\n", a.c_str());
            return false;
        }
    }
    return o.plan.seconds > 0 && o.plan.framesPerSecond > 0;
}

bool Describe(const Options &o, const std::vector<recsim::AccessUnit> *units, int32_t start,
              recsim::FileRecipe &recipe) {
    recsim::RecordingPlan plan = o.plan;
    plan.video = units;
    recipe = recsim::PlannedFile(plan, start);
    recipe.header.alarmFile = o.alarm ? 1 : 0;
    recipe.header.videoStandard = o.ntsc ? 0 : 1;
    if (o.encrypt) recipe.header.encryption = 0x10;
    if (!o.fileKey.empty() && !Key(o.fileKey, recipe.info.fileKey)) return false;
    if (!o.masterKey.empty()) {
        std::array<uint8_t, 8> master{};
        if (!Key(o.masterKey, master)) return false;
        recipe.masterKey = master;
    }
    if (o.pcmWords) recsim::DescribePcmAudio(recipe);
    recipe.watermark = o.watermark;
    // With the movie list right behind the header list, the INFO list follows it.
    recipe.infoPlacement = o.movieFirst && o.info == recsim::InfoPlacement::BeforeMovie
                             ? recsim::InfoPlacement::AfterMovie
                             : o.info;
    recipe.infoForm = o.shortInfo ? recsim::InfoForm::Short : recsim::InfoForm::Long;
    recipe.index.present = !o.noIndex;
    recipe.powerLoss = o.powerLoss;
    if (o.cut >= 0) recipe.truncateAt = static_cast<size_t>(o.cut);
    if (!o.powerLossCut.empty()) {
        size_t cut = static_cast<size_t>(std::atoll(o.powerLossCut.c_str()));
        if (o.powerLossCut.back() == '%') {
            const size_t whole = recsim::BuildFile(recipe).size();
            cut = static_cast<size_t>(static_cast<double>(whole) *
                                      std::atof(o.powerLossCut.c_str()) / 100.0);
        }
        recipe = recsim::PowerLossFile(std::move(recipe), cut);
        recipe.powerLoss.preallocatedSize = o.powerLoss.preallocatedSize;
    }
    return true;
}

// Counts the chunks written whole: a cut file holds fewer than described.
void Report(const std::string &path, const recsim::WrittenFile &w) {
    size_t video = 0, keys = 0, audio = 0, text = 0;
    for (const recsim::WrittenChunk &c : w.chunks) {
        if (uint64_t{c.offset} + 8 + c.length > w.writtenSize) break;
        if (c.kind == recsim::ChunkKind::Video) {
            ++video;
            keys += c.key ? 1 : 0;
        }
        audio += c.kind == recsim::ChunkKind::Audio;
        text += c.kind == recsim::ChunkKind::Text;
    }
    std::printf("%s: %s bytes, %s video chunks (%s key frames), %s audio, %s text\n",
                path.c_str(), std::to_string(w.fileSize).c_str(), std::to_string(video).c_str(),
                std::to_string(keys).c_str(), std::to_string(audio).c_str(),
                std::to_string(text).c_str());
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return Usage();
    const std::string mode = argv[1];
    const std::string target = argv[2];
    Options o;
    if ((mode != "file" && mode != "tree") || !Parse(argc, argv, o)) return Usage();

    std::vector<recsim::AccessUnit> units;
    if (!o.h264.empty()) {
        std::ifstream in(o.h264, std::ios::binary);
        const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
        units = recsim::SplitAccessUnits(stream);
        if (units.empty()) {
            std::fprintf(stderr, "recsim: no H.264 access units in %s\n", o.h264.c_str());
            return 1;
        }
    }
    const std::vector<recsim::AccessUnit> *video = units.empty() ? nullptr : &units;

    if (mode == "file") {
        recsim::FileRecipe recipe;
        if (!Describe(o, video, o.start, recipe)) return Usage();
        recsim::WrittenFile written;
        if (!recsim::WriteFile(target, recipe, &written)) {
            std::fprintf(stderr, "recsim: cannot write %s\n", target.c_str());
            return 1;
        }
        Report(target, written);
        return 0;
    }

    recsim::TreeWriter tree(target);
    for (int d = 0; d < o.days; ++d) {
        const int32_t dayStart = o.start + d * 86400;
        for (int folder = 0; folder < 2; ++folder) {
            const bool alarm = folder == 1;
            for (int r = 0; r < o.recordings; ++r) {
                const int32_t start = dayStart + r * (o.plan.seconds + 60);
                Options one = o;
                one.alarm = alarm;
                recsim::FileRecipe recipe;
                if (!Describe(one, video, start, recipe)) return Usage();
                recsim::RecordName name =
                    recsim::RecordNameAt(start, 0, alarm, o.plan.framesPerSecond);
                const std::string day = recsim::DayFolderName(name.year, name.month, name.day);
                for (int c = 0; c < o.channels; ++c) {
                    name.channel = c;
                    recipe.header.videoChannel = static_cast<int8_t>(c);
                    recsim::WrittenFile written;
                    const std::string path = tree.AddFile(
                        day, alarm ? "alarm" : "video",
                        recsim::RecordFileName(name), recipe, &written);
                    if (path.empty()) {
                        std::fprintf(stderr, "recsim: cannot write below %s\n", target.c_str());
                        return 1;
                    }
                    Report(path, written);
                }
            }
        }
    }
    return 0;
}
