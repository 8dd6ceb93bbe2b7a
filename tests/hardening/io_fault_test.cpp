// A card that fails in the middle of a playback or a search: the n-th file
// open, read, seek or folder enumeration step fails, once or from then on,
// for every n the operation reaches. Only result codes may come of it, and a
// search still reports every recording it could open.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "common/temp_dir.h"
#include "hardening/exercise.h"
#include "hardening/sample_recordings.h"
#include "platform/fault_injection.h"
#include "recsim/recsim.h"

namespace {

namespace fault = plat::fault;

struct FaultKind {
    const char *name;
    unsigned operations;
};

const FaultKind kKinds[] = {
    {"open", fault::kOpen},          {"read", fault::kRead},
    {"seek", fault::kSeek},          {"enumeration", fault::kEnumerate},
    {"any operation", fault::kAll},
};

// "any operation" -> "any_operation_faults_injected", for the test report.
std::string PropertyName(const char *kind) {
    std::string name = kind;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name + "_faults_injected";
}

// Disarms the hook however the test ends.
struct ArmedScope {
    ~ArmedScope() { fault::Disarm(); }
};

TEST(IoFaults, WholePlaybackOfEverySample) {
    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1030h.avi";
    std::vector<const SampleRecording *> samples;
    for (const SampleRecording &s : SampleRecordings()) samples.push_back(&s);
    samples.push_back(&EveryChunkKindRecording());
    ArmedScope scope;
    uint64_t injected[std::size(kKinds)] = {};
    for (const SampleRecording *sample : samples) {
        ASSERT_TRUE(WriteBytes(path, sample->bytes));
        const PlaybackReport clean = ExercisePlayback(path, sample->bytes.size());
        ASSERT_EQ(clean.fault, "");
        for (size_t k = 0; k < std::size(kKinds); ++k) {
            const FaultKind &kind = kKinds[k];
            fault::Arm(kind.operations, 0, false);
            ExercisePlayback(path, sample->bytes.size());
            const uint64_t total = fault::Counted();
            injected[k] += 2 * total;
            for (bool onward : {false, true}) {
                for (uint64_t n = 1; n <= total; ++n) {
                    fault::Arm(kind.operations, n, onward);
                    const PlaybackReport report = ExercisePlayback(path, sample->bytes.size());
                    fault::Disarm();
                    ASSERT_EQ(report.fault, "") << sample->label << ": " << kind.name << " " << n
                                                << (onward ? " onward" : " once");
                }
            }
        }
    }
    for (size_t k = 0; k < std::size(kKinds); ++k) {
        RecordProperty(PropertyName(kKinds[k].name), std::to_string(injected[k]));
    }
}

// Every file of a group ("path#channel " each) was reported by the search
// of the sound tree.
bool FilesOfSoundGroups(const std::string &files, const TreeReport &clean) {
    for (size_t begin = 0; begin < files.size();) {
        const size_t end = files.find(' ', begin);
        const std::string file = files.substr(begin, end - begin + 1);
        bool found = false;
        for (const std::string &group : clean.groupFiles) found |= group.find(file) != std::string::npos;
        if (!found) return false;
        begin = end + 1;
    }
    return true;
}

// A tree of two days with grouped and single recordings in both folders.
class SearchFaults : public ::testing::Test {
protected:
    void SetUp() override {
        recsim::TreeWriter tree(dir_.path());
        recsim::RecordingPlan plan = TreeFilePlan();
        plan.audioChannels = {};
        const int32_t start = 1420800569;
        const char *days[] = {"2015-01-09", "20150110_01"};
        for (const char *day : days) {
            for (int c = 0; c < 3; ++c) {
                tree.AddFile(day, "video", recsim::RecordFileName(recsim::RecordNameAt(start + c, c)),
                             recsim::PlannedFile(plan, start + c));
            }
            tree.AddFile(day, "alarm",
                         recsim::RecordFileName(recsim::RecordNameAt(start + 60, 1, true)),
                         recsim::PlannedFile(plan, start + 60));
            tree.AddFile(day, "video",
                         recsim::RecordFileName(recsim::RecordNameAt(start + 300, 0)),
                         recsim::PlannedFile(plan, start + 300));
        }
    }
    TempDir dir_;
};

TEST_F(SearchFaults, EveryGroupThatOpensIsStillReported) {
    const TreeReport clean = ExerciseTree(dir_.path());
    ASSERT_EQ(clean.fault, "");
    ASSERT_EQ(clean.groups.size(), 6u);
    ArmedScope scope;
    for (const FaultKind &kind : kKinds) {
        fault::Arm(kind.operations, 0, false);
        ExerciseTree(dir_.path());
        const uint64_t total = fault::Counted();
        RecordProperty(PropertyName(kind.name), std::to_string(2 * total));
        for (bool onward : {false, true}) {
            for (uint64_t n = 1; n <= total; ++n) {
                fault::Arm(kind.operations, n, onward);
                const TreeReport report = ExerciseTree(dir_.path());
                fault::Disarm();
                const std::string where =
                    std::string(kind.name) + " " + std::to_string(n) + (onward ? " onward" : " once");
                ASSERT_EQ(report.fault, "") << where;
                // Nothing is reported that a sound card would not give, and
                // each group is reported once.
                // A failed seek while the open walks the file may leave
                // the recording's length unknown, so files are compared; a
                // listing that breaks off may leave a group short of files.
                for (const std::string &files : report.groupFiles) {
                    EXPECT_EQ(std::count(report.groupFiles.begin(), report.groupFiles.end(), files), 1)
                        << where << ": " << files;
                    if (kind.operations & fault::kEnumerate) {
                        EXPECT_TRUE(FilesOfSoundGroups(files, clean)) << where << ": " << files;
                    } else {
                        EXPECT_NE(std::find(clean.groupFiles.begin(), clean.groupFiles.end(), files),
                                  clean.groupFiles.end())
                            << where << ": " << files;
                    }
                }
                // One failed open or read loses at most the group it hit.
                if (!onward && kind.operations != fault::kEnumerate &&
                    kind.operations != fault::kAll) {
                    EXPECT_GE(report.groups.size() + 1, clean.groups.size()) << where;
                }
            }
        }
    }
}

}  // namespace
