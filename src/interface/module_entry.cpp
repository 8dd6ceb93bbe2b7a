// Load and unload of the shared library. The diagnostics log object is built
// by the static initialisers; the attach notification gives it the module
// name; nothing else happens at load. At unload the log object's destructor,
// run with the other static destructors, closes its current file.
#include "support/diag_log.h"

namespace {
constexpr const char kModuleName[] = "libavfile_vsk";
}

#if defined(_WIN32)

namespace {
constexpr unsigned long kProcessAttach = 1;  // DLL_PROCESS_ATTACH
}

extern "C" int __stdcall DllMain(void * /*instance*/, unsigned long reason,
                                 void * /*reserved*/) {
    if (reason == kProcessAttach) TheDiagLog().SetModuleName(kModuleName);
    return 1;  // TRUE for every notification
}

#else

__attribute__((constructor)) static void AvfileModuleAttach() {
    TheDiagLog().SetModuleName(kModuleName);
}

#endif
