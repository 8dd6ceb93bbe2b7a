#include "cli/cli_run.h"

#include <cstdlib>
#include <stdexcept>

// Where the build put the programs; absent where they are not built.
#if !defined(AVFILE_PROGRAM) || !defined(SAMPLE_CARD_PROGRAM) || !defined(SAMPLE_CLIP)
#define AVFILE_PROGRAM ""
#define SAMPLE_CARD_PROGRAM ""
#define SAMPLE_CLIP ""
#endif

void CliTest::SetUp() {
    if (std::string(AVFILE_PROGRAM).empty()) GTEST_SKIP() << "the avfile program is not part of this build";
}

std::string Quote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

RunResult RunCommand(const std::string &commandLine, const TempDir &dir) {
    const std::string out = dir / "run-stdout.txt", err = dir / "run-stderr.txt", code = dir / "run-exit.txt";
    // The exit code goes through a file: the status std::system returns is
    // encoded differently from system to system.
    const std::string wrapped = "(" + commandLine + ") > " + Quote(out) + " 2> " + Quote(err) + " < /dev/null; echo $? > " +
                                Quote(code);
    RunResult r;
    if (std::system(wrapped.c_str()) == -1) return r;
    r.out = TempDir::ReadFile(out);
    r.err = TempDir::ReadFile(err);
    const std::string exit = TempDir::ReadFile(code);
    r.exitCode = exit.empty() ? -1 : std::atoi(exit.c_str());
    return r;
}

RunResult RunAvfile(const std::vector<std::string> &args, const TempDir &dir) {
    std::string line = Quote(AVFILE_PROGRAM);
    for (const std::string &a : args) line += " " + Quote(a);
    return RunCommand(line, dir);
}

bool ToolInstalled(const std::string &probeCommand, const TempDir &dir) {
    return RunCommand(probeCommand, dir).exitCode == 0;
}

const SampleCard &CliTest::card() { return SampleCard::Get(); }

const SampleCard &SampleCard::Get() {
    static const SampleCard card;
    return card;
}

SampleCard::SampleCard() : m_root(m_dir / "card/") {
    const RunResult r = RunCommand(Quote(SAMPLE_CARD_PROGRAM) + " " + Quote(m_root) + " --clip " + Quote(SAMPLE_CLIP), m_dir);
    if (r.exitCode != 0) throw std::runtime_error("sample-card failed: " + r.err);
}

std::string SampleCard::PlainFile(int channel) const {
    return Day1() + "video/" + std::to_string(channel) + "_20150109-104929_1025h.avi";
}

std::string SampleCard::EncryptedFile(int channel) const {
    return Day2() + "video/" + std::to_string(channel) + "_20150110-081630_1025h.avi";
}

std::string ClipWithoutDelimiters() {
    const std::string clip = TempDir::ReadFile(SAMPLE_CLIP);
    std::string out;
    out.reserve(clip.size());
    for (size_t i = 0; i < clip.size(); ++i) {
        // Emulation prevention keeps 00 00 00 01 out of the units' bodies,
        // so it marks a start code; 09 is an access unit delimiter.
        if (i + 5 < clip.size() && clip.compare(i, 5, std::string("\0\0\0\1\x09", 5)) == 0) {
            i += 5;
            continue;
        }
        out += clip[i];
    }
    return out;
}
