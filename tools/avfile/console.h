// The tool's own standard output. The library writes progress lines of its
// own to the process's standard output; the tool's listings and JSON go to
// a stream kept apart from them.
#pragma once

#include <cstdio>

std::FILE *Out();
// Called once at start: from then on Out() is the tool's own stream.
void UseOwnStandardOutput();
