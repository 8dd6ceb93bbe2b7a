// avfile --version: which program, and which record file library it loads
// and from where (the first thing to ask when two installations meet).
#include <cstdio>

#include "exit_codes.h"
#include "library.h"

#ifndef AVFILE_VERSION
#define AVFILE_VERSION "unknown"
#endif

int PrintVersion(const std::string &explicitPath) {
    std::printf("avfile %s\n", AVFILE_VERSION);
    AvFileLibrary library;
    std::string error;
    if (!LoadAvFileLibrary(explicitPath, library, &error)) {
        std::fflush(stdout);
        std::fprintf(stderr, "avfile: %s\n", error.c_str());
        return kExitNoLibrary;
    }
    std::printf("libavfile_vsk %s %s\n", library.version.empty() ? "(version unknown)" : library.version.c_str(),
                library.path.c_str());
    return kExitOk;
}
