// Runs the real tools that check our exports (gpsbabel, python3, ffprobe,
// ffmpeg) through the command processor. A tool that is not installed makes
// the test skip, so the export tests also run where only some tools exist.
#pragma once

#include <string>

#include "common/temp_dir.h"

// True when `command` (a harmless call such as "gpsbabel -V") runs and
// exits with 0.
bool ToolAvailable(const std::string &command, const TempDir &dir);

// Runs the command with its standard output captured into *output;
// returns its exit status (non-zero also when it could not be started).
int RunTool(const std::string &command, const TempDir &dir, std::string *output);

// The path quoted for the command processor.
std::string Quoted(const std::string &path);
