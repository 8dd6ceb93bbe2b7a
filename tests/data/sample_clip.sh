#!/bin/sh
# Makes sample_clip.h264: five seconds of a 320x240 test pattern at 25 frames
# per second in H.264 Annex B form, as the recorder stores its video: an
# access unit delimiter in front of every picture, a key frame with its
# parameter sets every 25 frames, no B-frames, no SEI units. The recorder
# simulator cuts it into access units for the sample card and the tool's
# tests; the committed file was made once with this command and is kept as
# is, so the tests compare against fixed bytes.
set -e
cd "$(dirname "$0")"
ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i testsrc=size=320x240:rate=25:duration=5 \
  -c:v libx264 -profile:v baseline -preset veryfast -crf 32 \
  -g 25 -keyint_min 25 -sc_threshold 0 -bf 0 -pix_fmt yuv420p \
  -x264-params aud=1 -bsf:v filter_units=remove_types=6 \
  -f h264 sample_clip.h264
