// The tool's own standard output. The library writes progress lines of its
// own to the process's standard output; the tool's listings and JSON go to
// a stream kept apart from them.
#pragma once

#include <cstdio>
#include <string>

std::FILE *Out();
// Called once at start: from then on Out() is the tool's own stream.
void UseOwnStandardOutput();

// How much the tool says besides its results: -1 with -q (errors only),
// 0 by default, 1 with -v.
int Verbosity();
void SetVerbosity(int level);
// A line on standard error ("avfile: ..."), shown unless -q.
void Note(const std::string &text);
