// The size quota of the log folder, enforced before a new log file opens.
#pragma once

#include <cstdint>

// Deletes the oldest log files (regular files whose names end in ".log", any
// case) of `folder` (ending in a separator) until less than `quotaMiB` MiB of
// them remain. Files are ordered by their last-write time as a local DOS date
// and time. Listing with sizes stops measuring after 1 s; when it did, the
// sizes are incomplete and old files are deleted for up to 3 s whatever the
// total. Deleting never takes longer than 3 s; a file that cannot be deleted
// is skipped. Other files in the folder are never counted or touched.
void EnforceLogQuota(const char *folder, int32_t quotaMiB);

// True when the name ends in ".log", in any case.
bool IsLogFileName(const char *name);
