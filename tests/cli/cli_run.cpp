#include "cli/cli_run.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
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

namespace {

// A captured output, from its start.
std::string ReadAll(std::FILE *file) {
    std::string text;
    if (!file || std::fseek(file, 0, SEEK_SET) != 0) return text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    return text;
}

// Where the build put a program or file, as an absolute path: the programs
// run in the tests' folders, which on Windows may lie on another drive.
std::string Absolute(const char *path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? std::string(path) : absolute.string();
}

}  // namespace

#if defined(_WIN32)

// Windows: the program runs through CreateProcess with a command line quoted
// as the C runtime splits it, its outputs in files of the temporary folder
// that go with their last handle. No file-size limit, and no stopping or
// signalling: the tests that need them are Linux's.
namespace {

std::string QuoteArgument(const std::string &a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : a) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// A capture file is created and opened in one call, under a name of this
// process's own: the temporary-file service makes a file, closes it and
// leaves it to be opened again, under names every test program running
// beside this one draws from as well.
std::FILE *CaptureFile(HANDLE *handle) {
    static unsigned counter = 0;
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (!length || length > MAX_PATH) return nullptr;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = std::string(folder) + "avfile-cli-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount()) + "-" + std::to_string(counter++) + ".tmp";
        *handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (*handle != INVALID_HANDLE_VALUE) break;
    }
    if (*handle == INVALID_HANDLE_VALUE) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(*handle), 0);
    return fd < 0 ? nullptr : _fdopen(fd, "rb");
}

}  // namespace

RunningProgram::RunningProgram(const std::vector<std::string> &argv, const TempDir &dir, const RunLimits &) {
    HANDLE out = INVALID_HANDLE_VALUE, err = INVALID_HANDLE_VALUE;
    m_out = CaptureFile(&out);
    m_err = CaptureFile(&err);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                  nullptr);
    if (!m_out || !m_err || in == INVALID_HANDLE_VALUE || argv.empty()) {
        m_startError = "cannot set up the outputs: error " + std::to_string(GetLastError());
        if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
        m_ended = true;
        return;
    }
    std::string line;
    for (const std::string &a : argv) line += (line.empty() ? "" : " ") + QuoteArgument(a);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    PROCESS_INFORMATION process = {};
    std::fflush(nullptr);
    // A start that fails is tried twice more, rather than taken for the
    // program's own failure; every failure's code goes into the message.
    for (int attempt = 0; attempt < 3 && !m_process; ++attempt) {
        if (CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.path().c_str(),
                           &start, &process)) {
            CloseHandle(process.hThread);
            m_process = process.hProcess;
        } else {
            m_startError += (m_startError.empty() ? "cannot start " + argv[0] + ": error " : ", error ") +
                            std::to_string(GetLastError());
            Sleep(50);
        }
    }
    if (!m_process) m_ended = true;
    CloseHandle(in);
}

RunningProgram::~RunningProgram() {
    if (m_process) {
        if (!m_ended) {
            TerminateProcess(m_process, 1);
            WaitForSingleObject(m_process, INFINITE);
        }
        CloseHandle(m_process);
    }
    if (m_out) std::fclose(m_out);
    if (m_err) std::fclose(m_err);
}

bool RunningProgram::Reap(int options) {
    if (!m_process || m_ended) return m_ended;
    if (WaitForSingleObject(m_process, options ? 0 : INFINITE) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    m_status = static_cast<int>(code);
    m_ended = true;
    return true;
}

bool RunningProgram::Running() {
    Reap(1);
    return !m_ended;
}
bool RunningProgram::Stop() { return false; }
void RunningProgram::Signal(int) {}
void RunningProgram::Continue() {}

RunResult RunningProgram::Wait() {
    RunResult r;
    if (!m_process) {
        r.err = m_startError;
        return r;
    }
    Reap(0);
    if (!m_ended) return r;
    r.exitCode = m_status;
    r.out = ReadAll(m_out);
    r.err = ReadAll(m_err);
    return r;
}

RunResult RunCommand(const std::string &, const TempDir &, const RunLimits &) {
    // No POSIX command processor: the tools the tests read outputs back with
    // count as not installed.
    RunResult r;
    r.err = "no POSIX shell on this system";
    return r;
}

#else

RunningProgram::RunningProgram(const std::vector<std::string> &argv, const TempDir &dir, const RunLimits &limits)
    : m_out(std::tmpfile()), m_err(std::tmpfile()) {
    if (!m_out || !m_err || argv.empty()) {
        m_startError = std::string("cannot set up the outputs: ") + std::strerror(errno);
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
        static const char kNoStart[] = "the program could not be started\n";
        [[maybe_unused]] const ssize_t written = write(2, kNoStart, sizeof kNoStart - 1);
        _exit(127);
    }
    if (in >= 0) close(in);
    if (m_pid < 0) {
        m_startError = std::string("cannot start ") + args[0] + ": " + std::strerror(errno);
        m_ended = true;
    }
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

RunResult RunningProgram::Wait() {
    RunResult r;
    if (m_pid < 0) {
        r.err = m_startError;
        return r;
    }
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

RunResult RunCommand(const std::string &commandLine, const TempDir &dir, const RunLimits &limits) {
    return RunningProgram({"/bin/sh", "-c", commandLine}, dir, limits).Wait();
}

#endif

std::vector<std::string> AvfileCommand(const std::vector<std::string> &args) {
    static const std::string program = Absolute(AVFILE_PROGRAM);
    std::vector<std::string> argv = {program};
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
    const RunResult r =
        RunningProgram({Absolute(SAMPLE_CARD_PROGRAM), m_root, "--clip", Absolute(SAMPLE_CLIP)}, m_dir).Wait();
    if (r.exitCode != 0)
        throw std::runtime_error("sample-card failed (exit code " + std::to_string(r.exitCode) + "): " + r.err);
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
