// Builds without FFmpeg: the stream's parameters are not read.
#include "stream_params.h"

StreamParams ReadStreamParams(const unsigned char *, size_t) {
    StreamParams p;
    p.why = "unavailable (this build reads no codec parameters)";
    return p;
}
