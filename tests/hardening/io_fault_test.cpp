// A card that fails in the middle of a playback or a search: the n-th file
// open, read, seek or folder enumeration step fails, once or from then on,
// for every n the operation reaches. Only result codes may come of it, every
// frame a playback still delivers is the one a sound card gives, and a
// search still reports every recording it could open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

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

// The small samples and the one with every chunk kind.
std::vector<const SampleRecording *> AllSamples() {
    std::vector<const SampleRecording *> samples;
    for (const SampleRecording &s : SampleRecordings()) samples.push_back(&s);
    samples.push_back(&EveryChunkKindRecording());
    return samples;
}

TEST(IoFaults, WholePlaybackOfEverySample) {
    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1030h.avi";
    const std::vector<const SampleRecording *> samples = AllSamples();
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

// A frame as the host received it, copied out.
struct Frame {
    int32_t type;
    int64_t timeUs;
    std::vector<uint8_t> payload;
    bool operator==(const Frame &) const = default;
};

// Reads with a plain request, a fresh record each time, until a read
// returns 1 or `limit` frames came.
std::vector<Frame> ReadFrames(AvFileHandle handle, size_t limit) {
    std::vector<Frame> frames;
    while (frames.size() < limit) {
        AvFrameInfo frame{};
        if (AVFILE_FEReadFrame(handle, &frame, nullptr) != 0) break;
        Frame f{frame.type, frame.timeUs, {}};
        if (frame.data != nullptr && frame.length > 0) f.payload.assign(frame.data, frame.data + frame.length);
        frames.push_back(std::move(f));
    }
    return frames;
}

// One read failing anywhere in a playback from the first key frame: the
// frames before it are the sound card's, nothing comes after it until the
// reader is placed again, and from the first key frame the whole playback
// comes back unchanged. A chunk cut off by the failure is never resumed as
// a chunk of another kind or with another frame's entry.
TEST(IoFaults, FailedReadDeliversNoFrameOfAnotherKindOrTime) {
    TempDir dir;
    const std::string path = dir / "1_20150109-104929_1030h.avi";
    const std::vector<const SampleRecording *> samples = AllSamples();
    ArmedScope scope;
    uint64_t injected = 0;
    for (const SampleRecording *sample : samples) {
        ASSERT_TRUE(WriteBytes(path, sample->bytes));
        const size_t limit = sample->bytes.size();
        AvFileHandle handle = nullptr;
        ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle), 0) << sample->label;
        ASSERT_EQ(AVFILE_FESeekBegin(handle), 0);
        fault::Arm(fault::kRead, 0, false);
        const std::vector<Frame> clean = ReadFrames(handle, limit);
        const uint64_t reads = fault::Counted();
        fault::Disarm();
        AVFILE_FECloseFile(handle);
        injected += reads;
        for (uint64_t n = 1; n <= reads; ++n) {
            SCOPED_TRACE(sample->label + ": read " + std::to_string(n) + " of " + std::to_string(reads));
            ASSERT_EQ(AVFILE_FEOpenFile(path.c_str(), 0, nullptr, 0, 0, &handle), 0);
            ASSERT_EQ(AVFILE_FESeekBegin(handle), 0);
            fault::Arm(fault::kRead, n, false);
            const std::vector<Frame> before = ReadFrames(handle, limit);
            fault::Disarm();
            ASSERT_LE(before.size(), clean.size());
            for (size_t i = 0; i < before.size(); ++i) {
                ASSERT_TRUE(before[i] == clean[i]) << "frame " << i << " type " << before[i].type;
            }
            // Frames read on without a seek, and how many of them are not
            // where the sound card has them.
            const std::vector<Frame> after = ReadFrames(handle, limit);
            size_t wrong = 0;
            for (size_t i = 0; i < after.size(); ++i) {
                const size_t at = before.size() + i;
                wrong += at >= clean.size() || !(after[i] == clean[at]);
            }
            EXPECT_TRUE(after.empty()) << after.size() << " frames after the failure at frame "
                                       << before.size() << ", " << wrong << " of them wrong";
            ASSERT_EQ(AVFILE_FESeekBegin(handle), 0);
            const std::vector<Frame> again = ReadFrames(handle, limit);
            EXPECT_TRUE(again == clean) << again.size() << " frames of " << clean.size();
            AVFILE_FECloseFile(handle);
        }
    }
    RecordProperty("playback_read_faults_injected", std::to_string(injected));
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
