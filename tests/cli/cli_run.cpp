#include "cli/cli_run.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <stdexcept>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

#if defined(_WIN32)

// The avfile program is not built for Windows: nothing runs.
RunningProgram::RunningProgram(const std::vector<std::string> &, const TempDir &, const RunLimits &) { m_ended = true; }
RunningProgram::~RunningProgram() = default;
bool RunningProgram::Reap(int) { return true; }
bool RunningProgram::Running() { return false; }
bool RunningProgram::Stop() { return false; }
void RunningProgram::Signal(int) {}
void RunningProgram::Continue() {}
RunResult RunningProgram::Wait() { return {}; }

#else

RunningProgram::RunningProgram(const std::vector<std::string> &argv, const TempDir &dir, const RunLimits &limits)
    : m_out(std::tmpfile()), m_err(std::tmpfile()) {
    if (!m_out || !m_err || argv.empty()) {
        m_ended = true;
        return;
    }
    // Everything the child needs is made before the fork: between fork and
    // exec only system calls.
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const std::string folder = dir.path();
    const int in = open("/dev/null", O_RDONLY);
    const int out = fileno(m_out), err = fileno(m_err);
    std::fflush(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) _exit(127);
        // The signals the tests send act as they would from a terminal,
        // whatever this process was started with.
        for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (limits.fileSize) {
            const rlimit limit = {static_cast<rlim_t>(limits.fileSize), static_cast<rlim_t>(limits.fileSize)};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    if (in >= 0) close(in);
    if (m_pid < 0) m_ended = true;
}

RunningProgram::~RunningProgram() {
    if (!m_ended) {
        kill(m_pid, SIGKILL);
        Reap(0);
    }
    if (m_out) std::fclose(m_out);
    if (m_err) std::fclose(m_err);
}

bool RunningProgram::Reap(int options) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(m_pid, &status, options);
    } while (r < 0 && errno == EINTR);
    if (r == m_pid && (WIFEXITED(status) || WIFSIGNALED(status))) {
        m_status = status;
        m_ended = true;
    }
    return r == m_pid;
}

bool RunningProgram::Running() {
    if (!m_ended) Reap(WNOHANG);
    return !m_ended;
}

bool RunningProgram::Stop() {
    if (m_ended || kill(m_pid, SIGSTOP) != 0) return false;
    // Until it has stopped or ended.
    while (!m_ended) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WUNTRACED);
        if (r < 0 && errno == EINTR) continue;
        if (r != m_pid) return false;
        if (WIFSTOPPED(status)) return true;
        m_status = status;
        m_ended = true;
    }
    return false;
}

void RunningProgram::Signal(int signal) {
    if (!m_ended) kill(m_pid, signal);
}

void RunningProgram::Continue() {
    if (!m_ended) kill(m_pid, SIGCONT);
}

namespace {
std::string ReadAll(std::FILE *file) {
    std::string text;
    if (!file || std::fseek(file, 0, SEEK_SET) != 0) return text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    return text;
}
}  // namespace

RunResult RunningProgram::Wait() {
    RunResult r;
    if (m_pid < 0) return r;
    while (!m_ended) {
        if (!Reap(0)) break;
    }
    if (!m_ended) return r;
    if (WIFEXITED(m_status)) r.exitCode = WEXITSTATUS(m_status);
    if (WIFSIGNALED(m_status)) r.exitCode = 128 + WTERMSIG(m_status);
    r.out = ReadAll(m_out);
    r.err = ReadAll(m_err);
    return r;
}

#endif

RunResult RunCommand(const std::string &commandLine, const TempDir &dir, const RunLimits &limits) {
    return RunningProgram({"/bin/sh", "-c", commandLine}, dir, limits).Wait();
}

std::vector<std::string> AvfileCommand(const std::vector<std::string> &args) {
    std::vector<std::string> argv = {AVFILE_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

RunResult RunAvfile(const std::vector<std::string> &args, const TempDir &dir, const RunLimits &limits) {
    return RunningProgram(AvfileCommand(args), dir, limits).Wait();
}

std::set<std::string> Entries(const TempDir &dir) {
    namespace fs = std::filesystem;
    std::set<std::string> entries;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir.path(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().lexically_relative(dir.path()).generic_string();
        if (it->symlink_status().type() == fs::file_type::directory) name += '/';
        entries.insert(name);
    }
    return entries;
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

std::string SampleClip() { return TempDir::ReadFile(SAMPLE_CLIP); }

std::string ClipWithoutDelimiters() {
    const std::string clip = SampleClip();
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
