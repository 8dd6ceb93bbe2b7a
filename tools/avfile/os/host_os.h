// The few services of the operating system the avfile tool needs as a host
// of the record file library: loading a shared library and finding its
// exports, the folder of the running program, whether standard error is a
// terminal (the progress bar is drawn only there), and the outputs to remove
// when the program is interrupted.
#pragma once

#include <cstdio>
#include <string>

namespace hostos {

// Loads the shared library at `path`; null with the reason in *error.
void *LoadSharedLibrary(const std::string &path, std::string *error);
// The address of an exported function, or null.
void *FindExport(void *library, const char *name);
// File name of the library as the system names it ("libavfile_vsk.so").
const char *SharedLibraryFileName();
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
