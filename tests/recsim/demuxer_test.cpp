// A real AVI demuxer accepts the simulator's files and finds every packet
// that was written: the files are AVI, not a format only our reader knows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "common/temp_dir.h"
#include "recsim/recsim.h"

namespace {

using recsim::ChunkKind;

bool HaveFfprobe() {
#ifdef _WIN32
    return false;
#else
    static const bool have = std::system("ffprobe -version >/dev/null 2>&1") == 0;
    return have;
#endif
}

// Packets per stream index as the demuxer counts them.
std::map<int, int> CountPackets(const TempDir &dir, const std::string &file) {
    const std::string out = dir / "packets.txt";
    const std::string command = "ffprobe -v error -count_packets -show_entries "
                                "stream=index,nb_read_packets -of csv=p=0 '" +
                                file + "' >'" + out + "' 2>&1";
    std::map<int, int> counts;
    if (std::system(command.c_str()) != 0) return counts;
    std::istringstream lines(TempDir::ReadFile(out));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        counts[std::stoi(line.substr(0, comma))] = std::stoi(line.substr(comma + 1));
    }
    return counts;
}

struct DemuxCase {
    const char *what;
    recsim::InfoPlacement info;
    bool encrypted;
    bool delimiters;
    bool pad;
};

void PrintTo(const DemuxCase &c, std::ostream *os) { *os << c.what; }

class Demuxer : public ::testing::TestWithParam<DemuxCase> {};

TEST_P(Demuxer, CountsEveryPacketWritten) {
    if (!HaveFfprobe()) GTEST_SKIP() << "ffprobe is not installed";
    const DemuxCase &c = GetParam();
    recsim::RecordingPlan plan;
    plan.seconds = 3;
    plan.audioChannels = {0, 1};
    plan.gpsSamples = true;
    plan.delimiters = c.delimiters;
    // Odd sizes everywhere, so that padding matters.
    plan.keyFrameSize = 2001;
    plan.frameSize = 501;
    recsim::FileRecipe recipe = recsim::PlannedFile(plan);
    recipe.infoPlacement = c.info;
    recipe.padOddChunks = c.pad;
    if (c.encrypted) recipe.header.encryption = 0x10;

    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1025h.avi";
    recsim::WrittenFile w;
    ASSERT_TRUE(recsim::WriteFile(path, recipe, &w));
    const std::map<int, int> counts = CountPackets(dir, path);
    const std::map<int, int> expected = {
        {0, static_cast<int>(w.VideoCount())},
        {1, static_cast<int>(w.Of(ChunkKind::Audio, 1).size())},
        {2, static_cast<int>(w.Of(ChunkKind::Audio, 2).size())},
        {3, static_cast<int>(w.Of(ChunkKind::Text, 3).size())},
    };
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(w.VideoCount(), 75u);
    EXPECT_EQ(w.Of(ChunkKind::Text).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Demuxer,
    ::testing::Values(DemuxCase{"recorder_order", recsim::InfoPlacement::BeforeMovie, false, false, true},
                      DemuxCase{"movie_first", recsim::InfoPlacement::AfterMovie, false, false, true},
                      DemuxCase{"info_last", recsim::InfoPlacement::AfterIndex, false, true, true},
                      DemuxCase{"encrypted", recsim::InfoPlacement::BeforeMovie, true, true, true},
                      DemuxCase{"unpadded", recsim::InfoPlacement::None, false, false, false}),
    [](const ::testing::TestParamInfo<DemuxCase> &info) { return info.param.what; });

}  // namespace
