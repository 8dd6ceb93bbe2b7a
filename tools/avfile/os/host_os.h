// The few services of the operating system the avfile tool needs as a host
// of the record file library (one implementation for POSIX systems, one for
// Windows): loading a shared library and finding its exports, the folder of the running program, whether standard error is a
// terminal (the progress bar is drawn only there), and the outputs to remove
// when the program is interrupted.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace hostos {

#if defined(_WIN32)
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

// Loads the shared library at `path`; null with the reason in *error.
void *LoadSharedLibrary(const std::string &path, std::string *error);
void UnloadSharedLibrary(void *library);
// The address of an exported function, or null.
void *FindExport(void *library, const char *name);
// The file of a loaded library, found through one of its exports; empty
// when the system cannot tell.
std::string LoadedLibraryPath(void *library, void *anExport);
// The version a library file carries ("1.0.0": the version suffix of the
// file a Linux library's name leads to, the version resource of a Windows
// DLL); empty when it carries none.
std::string LibraryVersion(const std::string &path);
// File name of the library as the system loads it ("libavfile_vsk.so.1",
// "libavfile_vsk.dll").
const char *SharedLibraryFileName();
bool FileExists(const std::string &path);
// The folders of the system's library path variable (LD_LIBRARY_PATH),
// each ending in a separator; empty entries (the working folder) left out.
// None on Windows, whose search by name covers PATH.
std::vector<std::string> LibraryPathFolders();
// The folder of the running program, ending in a separator; empty when the
// system cannot tell.
std::string ProgramFolder();
bool StandardErrorIsTerminal();
// The library prints its own progress lines to the process's standard
// output. This gives the tool a stream of its own onto the standard output
// it was started with and sends the process's standard output, and so the
// library's lines, to the null device. Null when that cannot be done; the
// process's standard output is then left as it was.
std::FILE *SeparateStandardOutput();
// From now on an interrupt (Ctrl-C), a termination request, a hang-up or
// a closed pipe
// removes the pending outputs (pending_output.h) and then ends the program
// by that signal, as it would have ended without the handler. A signal the
// program was started with ignored stays ignored.
void RemovePendingOutputsOnInterrupt();
// The system's folder for temporary files (TMPDIR where it is set), ending
// in a separator; empty when the system names none.
std::string TemporaryFolder();
// Creates `path` for writing, readable by its owner only; null when it
// exists already or cannot be created.
std::FILE *CreateExclusiveFile(const std::string &path);
// A number that tells this process from the others running.
unsigned long ProcessId();

}  // namespace hostos
