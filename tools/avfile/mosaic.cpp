#include "mosaic.h"

CliError RunMosaicClip(const CommandContext &, const std::vector<Recording> &, const std::vector<int> &, int64_t,
                       int64_t) {
    return Fail(kExitUsage, "--mosaic is not available");
}
