// The mosaic where the program is built without FFmpeg's libavfilter.
#include "mosaic.h"

CliError RunMosaicClip(const CommandContext &, const std::vector<Recording> &, const std::vector<int> &, int64_t,
                       int64_t) {
    return Fail(kExitUnsupportedOutput, "--mosaic: this avfile was built without FFmpeg's libavfilter");
}
