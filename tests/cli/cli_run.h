// Runs the real avfile program, and the tools that read its outputs back,
// through the command processor; and the sample card they run on, written
// once per test program by the sample-card program.
#pragma once

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
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a command line in `dir` (its outputs are captured in files there).
RunResult RunCommand(const std::string &commandLine, const TempDir &dir);
// Runs avfile with the arguments (each quoted for the command processor).
RunResult RunAvfile(const std::vector<std::string> &args, const TempDir &dir);
bool ToolInstalled(const std::string &probeCommand, const TempDir &dir);
std::string Quote(const std::string &text);

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

// The committed clip with the access unit delimiters the library drops in
// front of each picture taken out.
std::string ClipWithoutDelimiters();
