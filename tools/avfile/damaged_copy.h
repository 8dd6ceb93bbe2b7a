// Record files cut short by power loss, read as their repaired copies.
// info, frames and the exports open a record file through here: a sound
// file (told by the scanner's cheap check) is read where it lies; a file
// the scanner finds damaged and a repair recovers is said so once on
// standard error and read from a repaired copy in the system's temporary
// folder, a private file that is removed when the program ends or is
// interrupted. The input is only read. A file that cannot be repaired is
// read where it lies, with what the library makes of it.
#pragma once

#include <string>

// The path to read `path` from: `path` itself, or its repaired copy.
std::string ReadablePath(const std::string &path);
