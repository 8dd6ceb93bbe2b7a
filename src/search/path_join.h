// Composing folder, name and pattern paths in the fixed 260-byte path buffers.
#pragma once

#include <initializer_list>
#include <string_view>

#include "avfile/avfile.h"

// Writes the parts one after another into out. A path that would not fit,
// terminator included, is not written at all and false is returned, so no
// shortened path can ever name another folder or file.
bool JoinPath(char (&out)[AVFILE_MAX_PATH], std::initializer_list<std::string_view> parts);
