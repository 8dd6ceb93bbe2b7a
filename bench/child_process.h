// A program run in a child process for the rows measured outside the
// benchmark program: its processor time and peak memory, as wait4 reports.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char **environ;

struct ChildFigures {
    bool ok = false;
    double seconds = 0;    // user + system
    double peakBytes = 0;  // ru_maxrss
};

// Runs `args` (the program found on PATH); `quiet` sends its standard
// output to the null device.
inline ChildFigures RunChild(std::vector<std::string> args, bool quiet = false) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ChildFigures f;
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return f;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return f;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    f.seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    f.peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;  // KiB on Linux
    return f;
}
