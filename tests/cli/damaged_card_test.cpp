// A card with damaged record files, written by the recorder simulator: two
// sound files of one recording; of the next one a sound file, a file cut
// short by power loss and a zero-byte file; a file of random bytes with a
// start of its own. scan judges each, recordings and check name the damaged
// ones (the random bytes are a recording the search does not list); on the
// sound sample card nothing changes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "recsim/recsim.h"

namespace {

constexpr int32_t kFirst = 1420800569;  // 2015-01-09 10:49:29
constexpr int32_t kSecond = kFirst + 60;
constexpr int32_t kThird = kFirst + 120;

class DamagedCard : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (IsSkipped()) return;
        day = dir.MakeDir("card/2015-01-09") + "/";
        dir.MakeDir("card/2015-01-09/video");
        dir.MakeDir("card/2015-01-09/alarm");
        recsim::RecordingPlan plan;
        plan.seconds = 4;
        for (int channel : {0, 1}) {
            sound.push_back(File(kFirst, channel));
            ASSERT_TRUE(recsim::WriteFile(sound.back(), recsim::PlannedFile(plan, kFirst)));
        }
        // Power failed inside the 60th chunk: the video frames in front of
        // it are what a repair recovers.
        const recsim::FileRecipe whole = recsim::PlannedFile(plan, kSecond);
        recsim::WrittenFile w;
        recsim::BuildFile(whole, &w);
        const size_t torn = 60;
        int frames = 0;
        for (size_t i = 0; i < torn; ++i) frames += w.chunks[i].kind == recsim::ChunkKind::Video;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", frames / 25.0);
        recoverable = seconds;
        std::snprintf(seconds, sizeof seconds, "%g", frames / 25.0);
        recoverableJson = seconds;
        sound.push_back(File(kSecond, 0));
        ASSERT_TRUE(recsim::WriteFile(sound.back(), whole));
        cut = File(kSecond, 1);
        ASSERT_TRUE(recsim::WriteFile(cut, recsim::PowerLossFile(whole, w.chunks[torn].offset + 20)));
        empty = dir.WriteFile("card/2015-01-09/video/" + Name(kSecond, 2), "");
        std::string noise(6000, '\0');
        for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 11);
        random = dir.WriteFile("card/2015-01-09/video/" + Name(kThird, 0), noise);
    }
    static std::string Name(int32_t start, int channel) {
        return recsim::RecordFileName(recsim::RecordNameAt(start, channel));
    }
    std::string File(int32_t start, int channel) const { return day + "video/" + Name(start, channel); }
    // A python3 program's output on the JSON in `json`.
    std::string Python(const std::string &json, const std::string &program) {
        dir.WriteFile("out.json", json);
        return RunCommand("python3 -c " + Quote("import json,os\nd=json.load(open('out.json'))\n" + program), dir).out;
    }

    std::string day;
    std::vector<std::string> sound;
    std::string cut, empty, random, recoverable, recoverableJson;
};

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

TEST_F(DamagedCard, ScanJudgesEveryFile) {
    const RunResult r = RunAvfile({"scan", dir / "card"}, dir);
    EXPECT_EQ(r.exitCode, 9) << r.err;
    EXPECT_TRUE(Has(r.err, "3 of 6 record files incomplete or unreadable")) << r.err;
    for (const std::string &file : sound) EXPECT_TRUE(Has(r.out, "sound       4.0 s              " + file)) << r.out;
    EXPECT_TRUE(Has(r.out, "incomplete  " + recoverable + " recoverable  " + cut + "  (")) << r.out;
    EXPECT_TRUE(Has(r.out, "no index, torn last chunk, no stop time)")) << r.out;
    EXPECT_TRUE(Has(r.out, random + "  (no RIFF AVI header)")) << r.out;
    EXPECT_TRUE(Has(r.out, empty + "  (empty file)")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n6 record files: 3 sound, 1 incomplete, 2 unreadable\n")) << r.out;
}

TEST_F(DamagedCard, ScanAsJson) {
    if (!ToolInstalled("python3 -c pass", dir)) GTEST_SKIP() << "python3 not installed";
    const RunResult r = RunAvfile({"scan", dir / "card", "--json"}, dir);
    EXPECT_EQ(r.exitCode, 9) << r.err;
    const std::string members = " ['bytes', 'path', 'reason', 'seconds', 'state', 'usableBytes']\n";
    EXPECT_EQ(Python(r.out, "print(d['schema'], sorted(d), d['counts'])\n"
                            "for f in d['files']:\n"
                            "  print(os.path.basename(f['path']), f['state'], f['seconds'], f['bytes'] >= f['usableBytes'],"
                            " f['reason'] is None, sorted(f))\n"),
              "1 ['counts', 'files', 'root', 'schema'] {'files': 6, 'sound': 3, 'incomplete': 1, 'unreadable': 2}\n" +
                  Name(kFirst, 0) + " sound 4.0 True True" + members +
                  Name(kSecond, 0) + " sound 4.0 True True" + members +
                  Name(kThird, 0) + " unreadable None True False" + members +
                  Name(kFirst, 1) + " sound 4.0 True True" + members +
                  Name(kSecond, 1) + " incomplete " + recoverableJson + " True False" + members +
                  Name(kSecond, 2) + " unreadable None True False" + members)
        << r.out;
}

// The pictures draw the damaged files the search lists, marked, and name
// the one it does not list, failing as export-day does.
TEST_F(DamagedCard, PicturesMarkTheDamagedAndNameWhatTheyLeaveOut) {
    const RunResult timeline = RunAvfile({"timeline", day, "-o", dir / "day.svg"}, dir);
    EXPECT_EQ(timeline.exitCode, 9) << timeline.err;
    EXPECT_TRUE(Has(timeline.err, "left out, the search does not list it: " + random + ": unreadable")) << timeline.err;
    const std::string svg = TempDir::ReadFile(dir / "day.svg");
    size_t marked = 0;
    for (size_t at = svg.find(" damaged\""); at != std::string::npos; at = svg.find(" damaged\"", at + 1)) ++marked;
    EXPECT_EQ(marked, 2u) << svg;
    const RunResult track = RunAvfile({"track", day, "-o", dir / "track.svg"}, dir);
    EXPECT_EQ(track.exitCode, 9) << track.err;
    EXPECT_TRUE(Has(track.err, "left out, the search does not list it: " + random)) << track.err;
}

TEST_F(DamagedCard, RecordingsMarkTheDamagedFiles) {
    const RunResult r = RunAvfile({"recordings", day}, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "damaged: " + Name(kSecond, 1) + " incomplete, " + recoverable + " recoverable (")) << r.out;
    EXPECT_TRUE(Has(r.out, "damaged: " + Name(kSecond, 2) + " unreadable (empty file)\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\nnot listed: " + random + " unreadable (no RIFF AVI header)\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n3 damaged record files (avfile scan tells more")) << r.out;
    EXPECT_FALSE(Has(r.out, "damaged: " + Name(kFirst, 0))) << r.out;

    if (!ToolInstalled("python3 -c pass", dir)) GTEST_SKIP() << "python3 not installed";
    const RunResult json = RunAvfile({"recordings", day, "--json"}, dir);
    EXPECT_EQ(json.exitCode, 0) << json.err;
    // Every damaged file once, on its recording or behind the recordings.
    EXPECT_EQ(Python(json.out, "n=[(os.path.basename(f['path']),f['state'],f.get('listed',True)) for e in d "
                               "for f in (e.get('damaged',[]) if 'start' in e else [e])]\n"
                               "print(len(d), sorted(n))\n"),
              "3 [('" + Name(kThird, 0) + "', 'unreadable', False), ('" + Name(kSecond, 1) +
                  "', 'incomplete', True), ('" + Name(kSecond, 2) + "', 'unreadable', True)]\n")
        << json.out;
}

TEST_F(DamagedCard, CheckNamesTheDamagedFiles) {
    const RunResult r = RunAvfile({"check", dir / "card"}, dir);
    EXPECT_EQ(r.exitCode, 9) << r.err;
    EXPECT_TRUE(Has(r.err, "3 damaged record files")) << r.err;
    for (const std::string &file : {cut, empty, random}) EXPECT_TRUE(Has(r.out, "damaged: " + file + " ")) << r.out;
    // A folder whose only file is damaged holds no recordings, and says why.
    const std::string lone = dir.MakeDir("lone/video");
    dir.WriteFile("lone/video/" + Name(kSecond, 0), "");
    const RunResult alone = RunAvfile({"check", dir / "lone"}, dir);
    EXPECT_EQ(alone.exitCode, 4) << alone.err;
    EXPECT_TRUE(Has(alone.out, "damaged: " + lone + "/" + Name(kSecond, 0) + " unreadable (empty file)")) << alone.out;
}

// The sound sample card: every file sound, and recordings and check say
// what they said before.
TEST_F(DamagedCard, SoundCardUnchanged) {
    const RunResult scan = RunAvfile({"scan", card().Root()}, dir);
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_TRUE(Has(scan.out, "\n24 record files: 24 sound, 0 incomplete, 0 unreadable\n")) << scan.out;
    const RunResult check = RunAvfile({"check", card().Root()}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, card().Root() + ": holds recordings of the recorder (a record file opened)\n");
    for (const std::string &day : {card().Day1(), card().Day2()}) {
        const RunResult r = RunAvfile({"recordings", day}, dir);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
        EXPECT_FALSE(Has(r.out, "damaged")) << r.out;
        const RunResult json = RunAvfile({"recordings", day, "--json"}, dir);
        EXPECT_FALSE(Has(json.out, "damaged")) << json.out;
        EXPECT_FALSE(Has(json.out, "listed")) << json.out;
    }
}

}  // namespace
