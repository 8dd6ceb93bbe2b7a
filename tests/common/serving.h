// Serves files from memory through the platform layer's test hook for the
// length of a scope, and leaves the hook unserved and disarmed behind it,
// whatever the test asserted.
#pragma once

#include <cstddef>

#include "platform/fault_injection.h"

struct Serving {
    Serving(const plat::fault::ServedFile *files, size_t count) { plat::fault::Serve(files, count); }
    ~Serving() {
        plat::fault::Serve(nullptr, 0);
        plat::fault::Disarm();
    }
    Serving(const Serving &) = delete;
    Serving &operator=(const Serving &) = delete;
};
