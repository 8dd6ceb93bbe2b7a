// Text pieces of the export formats, written straight to the output file:
// numbers in the C locale whatever the process has set, UTC times, and
// names quoted for XML, JSON and CSV.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "output_file.h"

// "2015-01-09T10:49:29Z", with ".250" before the Z when the time has
// milliseconds. Needs 25 bytes. False for times outside the years 1 to 9999.
bool FormatUtcTime(int64_t timeUs, char *out, size_t size);

bool PutInt(COutputFile &out, int64_t value);
// The value with `decimals` digits after the point, '.' as the point.
bool PutFixed(COutputFile &out, double value, int decimals);

// Names come from the recording tree in the system code page. Text that is
// valid UTF-8 is kept; any other byte of 0x80 and above is taken as the
// Latin-1 character of that value, so the output stays valid UTF-8.
// Control characters that XML cannot carry become '?'.
bool PutXmlText(COutputFile &out, std::string_view text);
// The text as a JSON string, quotes included.
bool PutJsonString(COutputFile &out, std::string_view text);
std::string JsonQuoted(std::string_view text);
// Whether `path` ends in `extension` (lower case, with its dot), in any case.
bool HasExtension(const std::string &path, const char *extension);
// The text as one CSV field, quoted when it holds a comma, quote or line
// break.
bool PutCsvField(COutputFile &out, std::string_view text);
