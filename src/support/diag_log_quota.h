// The size quota of the log folder, enforced before a new log file opens.
#pragma once

#include <cstdint>

// The end of a log file's name after "<program>----<module>----": the times
// of its first and last line, then ".log".
#define AVFILE_LOG_TIMES_FORMAT \
    "%4d-%02d-%02d %02d-%02d-%02d----%4d-%02d-%02d %02d-%02d-%02d.log"

// Deletes the oldest log files of `moduleName` in `folder` (ending in a
// separator) until less than `quotaMiB` MiB of them remain. Log files are
// the regular files whose names have the shape the log writes (see
// IsLogFileName); files are ordered by their last-write time as a local DOS
// date and time. Listing with sizes stops measuring after 1 s; when it did,
// the sizes are incomplete and old log files are deleted for up to 3 s
// whatever the total. Deleting never takes longer than 3 s; a file that
// cannot be deleted is skipped. Other files in the folder (the host's own
// logs among them) are never counted or touched.
void EnforceLogQuota(const char *folder, const char *moduleName, int32_t quotaMiB);

// True when the name is one the log writes for `moduleName`: any program
// name, "----", the module name, "----", then exactly the text
// AVFILE_LOG_TIMES_FORMAT gives for two times.
bool IsLogFileName(const char *name, const char *moduleName);
