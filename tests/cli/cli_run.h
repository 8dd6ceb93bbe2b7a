// Runs the real avfile program, and the tools that read its outputs back,
// each in the test's folder, under a file-size limit or stopped and
// signalled where a test asks; and the sample card they run on, written
// once per test program by the sample-card program.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_dir.h"

// Base of the tests of the avfile program: they skip where the program is
// not built (cross builds, or no FFmpeg libraries to build it with).
class SampleCard;
class CliTest : public ::testing::Test {
protected:
    void SetUp() override;
    static const SampleCard &card();

    TempDir dir;  // the test's outputs
};

struct RunResult {
    // The exit code as a shell reports it: 128 + the signal's number for a
    // program ended by a signal; -1 when it could not be started.
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

struct RunLimits {
    // The largest file the program may write (RLIMIT_FSIZE), with SIGXFSZ
    // ignored so that a write beyond it fails; 0: no limit.
    unsigned long long fileSize = 0;
};

// A program running in its own process with `dir` as its working folder,
// standard input from the null device and its outputs captured in files
// of no folder's (nothing of the runner's appears in `dir`).
class RunningProgram {
public:
    RunningProgram(const std::vector<std::string> &argv, const TempDir &dir, const RunLimits &limits = {});
    // A program still running is killed.
    ~RunningProgram();
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    // False once it has ended.
    bool Running();
    // Stops the program where it is (SIGSTOP); false when it had ended.
    bool Stop();
    // Sends a signal; a stopped program gets it once continued.
    void Signal(int signal);
    void Continue();
    // Waits for the end.
    RunResult Wait();

private:
    bool Reap(int options);

    int m_pid = -1;
    void *m_process = nullptr;  // Windows: the process's handle
    int m_status = 0;
    bool m_ended = false;
    std::FILE *m_out = nullptr;
    std::FILE *m_err = nullptr;
    std::string m_startError;  // why the program could not be started
};

// Runs a command line through the command processor in `dir`.
RunResult RunCommand(const std::string &commandLine, const TempDir &dir, const RunLimits &limits = {});
// avfile's command line: the program and the arguments.
std::vector<std::string> AvfileCommand(const std::vector<std::string> &args);
// Runs avfile with the arguments in `dir`.
RunResult RunAvfile(const std::vector<std::string> &args, const TempDir &dir, const RunLimits &limits = {});
bool ToolInstalled(const std::string &probeCommand, const TempDir &dir);
std::string Quote(const std::string &text);

// Every entry under the folder, whatever its kind or name, as a path
// relative to it; a folder's ends in '/'.
std::set<std::string> Entries(const TempDir &dir);

// The sample card: two days, four channels, normal, alarm and encrypted
// recordings made from the committed clip.
class SampleCard {
public:
    static const SampleCard &Get();
    const std::string &Root() const { return m_root; }
    std::string Day1() const { return m_root + "2015-01-09/"; }
    std::string Day2() const { return m_root + "2015-01-10/"; }
    // The first normal recording, channel 1 (0-based 0).
    std::string PlainFile(int channel = 1) const;
    // A file of the encrypted recording.
    std::string EncryptedFile(int channel = 1) const;
    static constexpr const char *kPassword = "Road2015";
    static constexpr int kFramesPerFile = 125;
    static constexpr int kFixesPerFile = 5;

private:
    SampleCard();
    TempDir m_dir;
    std::string m_root;
};

// The committed H.264 clip the sample card is cut from.
std::string SampleClip();
// The committed clip with the access unit delimiters the library drops in
// front of each picture taken out.
std::string ClipWithoutDelimiters();
