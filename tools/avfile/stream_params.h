// What a video stream says of itself in its parameter sets: codec, profile,
// level and picture size, read from a key frame by FFmpeg's H.264 parser.
// A build without FFmpeg links stream_params_none.cpp instead and says the
// parameters are unavailable.
#pragma once

#include <cstddef>
#include <string>

struct StreamParams {
    bool known = false;   // false: `why` says why not
    std::string why;
    std::string codec;    // "H.264"
    std::string profile;  // "Main", "High", ...
    int level = 0;        // level_idc: 30 is level 3.0
    int width = 0, height = 0;
};

// The parameters of an Annex B key frame that carries its parameter sets.
StreamParams ReadStreamParams(const unsigned char *keyFrame, size_t length);
