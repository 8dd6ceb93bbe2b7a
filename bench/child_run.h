// Runs a program as a child process and takes its processor time and peak
// memory from wait4's rusage, for the benchmarks that time whole programs.
#pragma once

#include <string>
#include <vector>

struct ChildFigures {
    bool ok = false;
    double seconds = 0;    // user + system
    double peakBytes = 0;  // ru_maxrss
};

// args[0] is looked up on PATH. Standard output goes to `output` when one is
// given (e.g. "/dev/null"). ok when the child exited with 0.
ChildFigures RunChild(std::vector<std::string> args, const char *output = nullptr);
