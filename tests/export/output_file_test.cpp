#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "output_file.h"

namespace {

namespace fs = std::filesystem;

// What is left at the target, and whether the temporary file is gone, after
// each way an export can end.
TEST(OutputFile, TargetChangesOnlyOnCommit) {
    enum class End { Commit, Discard, Destroy, WriterError };
    const struct {
        const char *name;
        End end;
        bool committed;
    } cases[] = {
        {"commit", End::Commit, true},
        {"discard", End::Discard, false},
        {"destroyed unfinished", End::Destroy, false},
        {"writer gave up", End::WriterError, false},
    };
    for (const auto &c : cases) {
        for (const bool existing : {false, true}) {
            TempDir dir;
            const std::string target = dir / "track.gpx";
            if (existing) dir.WriteFile("track.gpx", "old");
            {
                COutputFile out;
                ASSERT_TRUE(out.Open(target)) << out.Error();
                EXPECT_TRUE(out.Put("new") && out.Put('!'));
                EXPECT_EQ(out.Size(), 4u);
                if (c.end == End::Commit) {
                    EXPECT_TRUE(out.Commit()) << out.Error();
                }
                if (c.end == End::Discard) out.Discard();
                if (c.end == End::WriterError) {
                    out.SetError("too long");
                    EXPECT_FALSE(out.Put("more"));
                    EXPECT_FALSE(out.Commit());
                    EXPECT_EQ(out.Error(), "too long: " + target);
                }
            }
            const bool present = fs::exists(target);
            EXPECT_EQ(present, c.committed || existing) << c.name;
            if (present) {
                EXPECT_EQ(TempDir::ReadFile(target), c.committed ? "new!" : "old") << c.name;
            }
            EXPECT_FALSE(fs::exists(target + ".partial")) << c.name;
        }
    }
}

TEST(OutputFile, PatchRewritesWrittenBytesOnly) {
    TempDir dir;
    const std::string target = dir / "audio.wav";
    COutputFile out;
    ASSERT_TRUE(out.Open(target));
    ASSERT_TRUE(out.Put("RIFF....WAVE"));
    EXPECT_TRUE(out.Patch(4, "size", 4));
    EXPECT_TRUE(out.Put("data"));
    EXPECT_FALSE(out.Patch(14, "past", 4));  // beyond what was written
    EXPECT_FALSE(out.Commit());
    EXPECT_FALSE(fs::exists(target));
}

TEST(OutputFile, MissingFolderNamesThePath) {
    TempDir dir;
    const std::string target = dir / "no-such-folder/track.gpx";
    COutputFile out;
    EXPECT_FALSE(out.Open(target));
    EXPECT_NE(out.Error().find("no-such-folder"), std::string::npos) << out.Error();
    EXPECT_FALSE(out.Put("x"));
    EXPECT_FALSE(out.Commit());
    EXPECT_FALSE(fs::exists(target));
}

}  // namespace
