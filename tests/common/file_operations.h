// Counts the file operations (opens, reads, seeks and folder steps) the
// platform layer makes during one call, through its fault hook: a call that
// must not search or open anything shows as a count of zero.
#pragma once

#include <cstdint>

#include "platform/fault_injection.h"

struct CountedCall {
    int32_t result;
    uint64_t fileOperations;
};

template <typename Call>
CountedCall CountFileOperations(Call call) {
    plat::fault::Arm(plat::fault::kAll, 0, false);
    const int32_t result = call();
    const uint64_t operations = plat::fault::Counted();
    plat::fault::Disarm();
    return {result, operations};
}
