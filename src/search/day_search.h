// The day search: walks the recording root for day folders.
#pragma once

#include <cstdint>

#include "avfile/avfile.h"

// Reports every day folder of root to the callback; 1 when the host stopped
// the search, 0 otherwise.
int32_t SearchDayFolders(const char *root, int32_t user, SearchDayCallback callback);
