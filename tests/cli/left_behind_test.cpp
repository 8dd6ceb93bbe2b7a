// An export that fails part-way through writing, or is interrupted, leaves
// no half-written file: its temporary file is removed and only outputs that
// were complete remain, each as long as an uninterrupted run writes it (a
// Matroska file carries a random identifier: the bytes differ from run to
// run).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#endif

#include "cli/cli_run.h"

// The avfile program is built for Linux only.
#if !defined(_WIN32)
namespace {

// What a case runs, in the test's folder: an export of recordings of the
// card into "out" + extension, or export-day of the card's first day into
// the folder itself.
enum class What { Export, ExportDay };

std::vector<std::string> Arguments(What what, const std::string &extension, bool longer) {
    const SampleCard &card = SampleCard::Get();
    if (what == What::ExportDay) return {"export-day", card.Day1(), ".", "--format", extension};
    // The two normal recordings of channel 1; for a longer export, every
    // recording of channel 1 that needs no password.
    std::vector<std::string> args = {"export", card.PlainFile(), card.Day1() + "video/1_20150109-105104_1025h.avi"};
    if (longer) {
        args.insert(args.end(), {card.Day1() + "alarm/1_20150109-105239_1125h.avi",
                                 card.Day2() + "video/1_20150110-081500_1025h.avi",
                                 card.Day2() + "alarm/1_20150110-081800_1125h.avi"});
    }
    args.insert(args.end(), {"-o", "out" + extension});
    return args;
}

// A file's size; none for a folder or a missing file.
uintmax_t FileSize(const std::string &path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? static_cast<uintmax_t>(-1) : size;
}

using Outputs = std::map<std::string, uintmax_t>;  // name, size

// What the command writes when nothing goes wrong.
Outputs CompleteOutputs(const std::vector<std::string> &args) {
    TempDir folder;
    const RunResult r = RunAvfile(args, folder);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Outputs outputs;
    for (const std::string &name : Entries(folder)) outputs[name] = FileSize(folder / name);
    return outputs;
}

// The entries of the folder that are not complete outputs.
std::vector<std::string> NotComplete(const TempDir &dir, const Outputs &complete) {
    std::vector<std::string> wrong;
    for (const std::string &name : Entries(dir)) {
        const auto it = complete.find(name);
        if (it == complete.end() || FileSize(dir / name) != it->second) wrong.push_back(name);
    }
    return wrong;
}

uintmax_t LargestSize(const Outputs &outputs) {
    uintmax_t largest = 0;
    for (const auto &o : outputs) largest = std::max(largest, o.second);
    return largest;
}

// A file system of a given size over the test's folder, seen by this
// process and the programs it starts only: the process gets a mount
// namespace of its own.
class SmallFileSystem {
public:
    SmallFileSystem(const TempDir &dir, uintmax_t bytes) : m_path(dir.path()) {
#if defined(__linux__)
        static const std::string unshared = [] {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                return std::string("no mount namespace of the test's own: ") + std::strerror(errno);
            }
            return std::string();
        }();
        m_error = unshared;
        const std::string options = "size=" + std::to_string(bytes);
        if (m_error.empty() && mount("avfile-test", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            m_error = std::string("cannot mount a small file system: ") + std::strerror(errno);
        }
        m_mounted = m_error.empty();
#else
        (void)bytes;
        m_error = "mounting a small file system is done on Linux only";
#endif
    }
    ~SmallFileSystem() {
#if defined(__linux__)
        if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
#endif
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    // Empty when mounted.
    const std::string &Error() const { return m_error; }

private:
    std::string m_path, m_error;
    bool m_mounted = false;
};

struct WriteFailure {
    const char *name;
    What what;
    const char *extension;
    // The folder fills up (a small file system); else the process may write
    // no larger file (a file-size limit). Either way at half the size of the
    // largest complete output.
    bool fullFolder;
};

void PrintTo(const WriteFailure &c, std::ostream *os) { *os << c.name; }

class WriteFailureTest : public CliTest, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailureTest, ReportsItAndLeavesOnlyCompleteOutputs) {
    const WriteFailure &c = GetParam();
    const std::vector<std::string> args = Arguments(c.what, c.extension, false);
    const Outputs complete = CompleteOutputs(args);
    ASSERT_FALSE(complete.empty());
    const uintmax_t limit = LargestSize(complete) / 2;

    std::unique_ptr<SmallFileSystem> small;
    if (c.fullFolder) {
        small = std::make_unique<SmallFileSystem>(dir, limit);
        if (!small->Error().empty()) GTEST_SKIP() << small->Error();
    }
    const RunResult r = RunAvfile(args, dir, c.fullFolder ? RunLimits{} : RunLimits{limit});
    const std::set<std::string> left = Entries(dir);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(std::strerror(c.fullFolder ? ENOSPC : EFBIG)), std::string::npos) << r.err;
    if (c.what == What::Export) {
        EXPECT_EQ(left, std::set<std::string>{});
    } else {
        EXPECT_EQ(NotComplete(dir, complete), std::vector<std::string>{});
        EXPECT_LT(left.size(), complete.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, WriteFailureTest,
    ::testing::Values(WriteFailure{"ExportH264FileSizeLimit", What::Export, ".h264", false},
                      WriteFailure{"ExportMp4FileSizeLimit", What::Export, ".mp4", false},
                      WriteFailure{"ExportGpxFileSizeLimit", What::Export, ".gpx", false},
                      WriteFailure{"ExportMkvFullFolder", What::Export, ".mkv", true},
                      WriteFailure{"ExportWavFullFolder", What::Export, ".wav", true},
                      WriteFailure{"DayMp4FileSizeLimit", What::ExportDay, ".mp4", false},
                      WriteFailure{"DayH264FullFolder", What::ExportDay, ".h264", true}),
    [](const ::testing::TestParamInfo<WriteFailure> &info) { return std::string(info.param.name); });

struct Interrupt {
    const char *name;
    What what;
    const char *extension;
    int signal;
};

void PrintTo(const Interrupt &c, std::ostream *os) { *os << c.name; }

class InterruptTest : public CliTest, public ::testing::WithParamInterface<Interrupt> {};

// True while the folder holds an entry that is no complete output: a file
// being written.
bool Writing(const TempDir &dir, const Outputs &complete) {
    for (const std::string &name : Entries(dir)) {
        if (complete.count(name) == 0) return true;
    }
    return false;
}

// The program is stopped while it has a file half-written, gets the signal
// and goes on: the signal arrives in the middle of the write.
TEST_P(InterruptTest, RemovesTheFileBeingWrittenAndEndsByTheSignal) {
    const Interrupt &c = GetParam();
    const std::vector<std::string> args = Arguments(c.what, c.extension, true);
    const Outputs complete = CompleteOutputs(args);
    ASSERT_FALSE(complete.empty());
    for (int attempt = 0; attempt < 20; ++attempt) {
        TempDir folder;
        RunningProgram program(AvfileCommand(args), folder);
        bool caught = false;
        while (!caught && program.Running()) {
            if (!Writing(folder, complete)) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            if (!program.Stop()) continue;
            caught = Writing(folder, complete);
            if (caught) program.Signal(c.signal);
            program.Continue();
        }
        const RunResult r = program.Wait();
        if (!caught) continue;  // it ended before a write was seen
        RecordProperty("attempts", attempt + 1);
        EXPECT_EQ(r.exitCode, 128 + c.signal) << r.err;
        if (c.what == What::Export) {
            EXPECT_EQ(Entries(folder), std::set<std::string>{});
        } else {
            EXPECT_EQ(NotComplete(folder, complete), std::vector<std::string>{});
            EXPECT_LT(Entries(folder).size(), complete.size());
        }
        return;
    }
    FAIL() << "the command always ended before it was seen writing";
}

INSTANTIATE_TEST_SUITE_P(Cli, InterruptTest,
                         ::testing::Values(Interrupt{"ExportMp4Sigint", What::Export, ".mp4", SIGINT},
                                           Interrupt{"ExportH264Sigterm", What::Export, ".h264", SIGTERM},
                                           Interrupt{"DayMp4Sigterm", What::ExportDay, ".mp4", SIGTERM},
                                           Interrupt{"DayWavSigint", What::ExportDay, ".wav", SIGINT},
                                           Interrupt{"DayMkvSighup", What::ExportDay, ".mkv", SIGHUP}),
                         [](const ::testing::TestParamInfo<Interrupt> &info) { return std::string(info.param.name); });

}  // namespace
#endif
