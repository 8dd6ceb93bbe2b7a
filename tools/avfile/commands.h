// The commands of the avfile tool. Each reads its paths and options, does
// its work through the library and prints to standard output; a failure
// comes back with its exit code and message.
#pragma once

#include "clock.h"
#include "exit_codes.h"
#include "library.h"
#include "options.h"

struct CommandContext {
    const AvFileLibrary &lib;
    const Options &options;
    CClock clock;
};

CliError RunDays(const CommandContext &c);
CliError RunRecordings(const CommandContext &c);
CliError RunCheck(const CommandContext &c);
CliError RunInfo(const CommandContext &c);
CliError RunFrames(const CommandContext &c);
CliError RunExportCommand(const CommandContext &c);
CliError RunExportDay(const CommandContext &c);
CliError RunTimeline(const CommandContext &c);
CliError RunTrack(const CommandContext &c);
CliError RunScan(const CommandContext &c);
CliError RunRepair(const CommandContext &c);
CliError RunClipCommand(const CommandContext &c);
CliError RunExportDayJoin(const CommandContext &c);  // export-day --join
CliError RunReport(const CommandContext &c);
