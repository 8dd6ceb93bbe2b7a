// The mosaic: the channels of a window side by side, each scaled to a
// common tile with its caption, encoded once to H.264.
#pragma once

#include <cstdint>
#include <vector>

#include "commands.h"
#include "recording_tree.h"

CliError RunMosaicClip(const CommandContext &c, const std::vector<Recording> &recordings,
                       const std::vector<int> &channels, int64_t fromUs, int64_t toUs);
