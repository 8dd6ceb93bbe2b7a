#!/bin/sh
# Browse a recorder's card with avfile: lists its days and recordings, shows
# one record file's information, exports that recording to .mp4, .h264,
# .wav and .gpx, draws the day's timeline and GPS track as SVG, and cuts a
# clip of channel 1 and a mosaic of all channels out of the day's first
# 100 seconds.
#
#   scripts/browse-card.sh            on a sample card written by the
#                                     recorder simulator
#   scripts/browse-card.sh CARD       on a real card (its root folder)
#
# On a fresh Debian 12 machine it first installs what the build needs
# (asking apt-get, through sudo when not root) and builds the tool.
# Environment: OUT (output folder, default ./card-output), BUILD (build
# folder, default ./build-card), PASSWORD (for encrypted recordings of a
# real card: 16 hexadecimal digits or 8 characters), UTC_OFFSET (+HH:MM,
# how far the recorder's clock runs ahead of UTC).
set -eu

SOURCE=$(cd "$(dirname "$0")/.." && pwd)
OUT=${OUT:-$PWD/card-output}
BUILD=${BUILD:-$PWD/build-card}
CARD=${1:-}

say() { printf '\n== %s\n' "$*"; }

# ---- what the build needs ----
missing=""
for pkg in cmake ninja-build g++ pkg-config libavformat-dev libavcodec-dev libavutil-dev libavfilter-dev libswscale-dev fonts-dejavu-core libssl-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
done
if [ -n "$missing" ]; then
  say "installing$missing"
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

# ---- build ----
say "building avfile in $BUILD"
cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAVFILE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target avfile avfile_vsk sample-card | tail -n 1
AVFILE="$BUILD/avfile"

mkdir -p "$OUT"
PASSWORD_ARGS=""
CLOCK_ARGS=""
if [ -z "$CARD" ]; then
  CARD="$OUT/sample-card"
  say "writing the sample card to $CARD"
  rm -rf "$CARD"
  "$BUILD/tools/avfile/sample-card" "$CARD" --clip "$SOURCE/tests/data/sample_clip.h264"
  PASSWORD=${PASSWORD:-Road2015}
fi
[ -n "${PASSWORD:-}" ] && PASSWORD_ARGS="--password $PASSWORD"
[ -n "${UTC_OFFSET:-}" ] && CLOCK_ARGS="--utc-offset $UTC_OFFSET"

say "avfile check $CARD"
"$AVFILE" check "$CARD" $PASSWORD_ARGS || true

say "avfile days $CARD"
"$AVFILE" days "$CARD"
DAY=$("$AVFILE" days "$CARD" --json | sed -n 's/.*"path": "\(.*\)"}.*/\1/p' | head -n 1)
if [ -z "$DAY" ]; then
  echo "no day folders found in $CARD" >&2
  exit 1
fi

# One day a line, so that folders with blanks in their names stay whole.
"$AVFILE" days "$CARD" --json | sed -n 's/.*"path": "\(.*\)"}.*/\1/p' |
while IFS= read -r day; do
  say "avfile recordings $day"
  "$AVFILE" recordings "$day" $CLOCK_ARGS
done

# The first recording of the first day that is not encrypted, or any when
# a password was given.
if [ -n "$PASSWORD_ARGS" ]; then FILTER='"files"'; else FILTER='"encrypted": false'; fi
FILE=$("$AVFILE" recordings "$DAY" --json | grep "$FILTER" | sed -n 's/.*"files": \["\([^"]*\)".*/\1/p' | head -n 1)
if [ -z "$FILE" ]; then
  echo "no recording of $DAY can be opened; give the card's password in PASSWORD" >&2
  exit 1
fi
NAME=$(basename "$FILE" .avi)

say "avfile info $FILE"
"$AVFILE" info "$FILE" $PASSWORD_ARGS $CLOCK_ARGS

for ext in mp4 h264 wav gpx; do
  say "avfile export $NAME.avi -o $OUT/$NAME.$ext"
  "$AVFILE" export "$FILE" -o "$OUT/$NAME.$ext" -y $PASSWORD_ARGS $CLOCK_ARGS || echo "(not exported)"
done

if [ "$CARD" = "$OUT/sample-card" ]; then
  LOCKED=$("$AVFILE" recordings "$CARD/2015-01-10" --json | grep '"encrypted": true' |
           sed -n 's/.*"files": \["\([^"]*\)".*/\1/p' | head -n 1)
  say "avfile info $(basename "$LOCKED") without and with its password"
  "$AVFILE" info "$LOCKED" || true
  "$AVFILE" info "$LOCKED" --password "$PASSWORD" | grep -E '^(File|Encrypted|Video frames)'
fi

say "avfile timeline and track of $DAY"
"$AVFILE" timeline "$DAY" -o "$OUT/timeline.svg" -y $CLOCK_ARGS
"$AVFILE" track "$DAY" -o "$OUT/track.svg" -y $PASSWORD_ARGS || echo "(no GPS track)"

# ---- a clip and the mosaic ----
# The day's first 100 seconds: on the sample card its first recording, the
# gap behind it (cut) and the start of the next.
START=$("$AVFILE" recordings "$DAY" --json $CLOCK_ARGS | sed -n 's/.*"start": "\([^"]*\)".*/\1/p' | head -n 1)
END=$(date -u -d "@$(( $(date -u -d "$START" +%s) + 100 ))" '+%Y-%m-%d %H:%M:%S')
say "avfile clip $DAY --from \"$START\" --to \"$END\" --channel 1 -o $OUT/clip.mkv --gpx"
"$AVFILE" clip "$DAY" --from "$START" --to "$END" --channel 1 -o "$OUT/clip.mkv" --gpx \
  $PASSWORD_ARGS $CLOCK_ARGS || echo "(no clip)"
say "avfile clip $DAY --from \"$START\" --to \"$END\" --mosaic -o $OUT/mosaic.mp4"
"$AVFILE" clip "$DAY" --from "$START" --to "$END" --mosaic -o "$OUT/mosaic.mp4" \
  $PASSWORD_ARGS $CLOCK_ARGS || echo "(no mosaic)"
if command -v ffprobe >/dev/null 2>&1 && [ -f "$OUT/mosaic.mp4" ]; then
  ffprobe -hide_banner "$OUT/mosaic.mp4" 2>&1 | grep -E 'Duration|Stream|location' || true
fi

say "where everything went"
echo "card:      $CARD"
echo "program:   $AVFILE   (avfile --help lists every command)"
for f in "$OUT/$NAME".mp4 "$OUT/$NAME".h264 "$OUT/$NAME".wav "$OUT/$NAME".gpx "$OUT"/timeline.svg "$OUT"/track.svg \
         "$OUT"/clip.mkv "$OUT"/clip.gpx "$OUT"/mosaic.mp4; do
  label=${f##*.}
  case "$f" in *timeline.svg) label=timeline ;; *track.svg) label=track ;; *clip.*) label="clip $label" ;;
               *mosaic.mp4) label=mosaic ;; esac
  [ -f "$f" ] && printf '%-10s %s (%s bytes)\n' "$label:" "$f" "$(wc -c < "$f" | tr -d ' ')"
done

# ---- the incident report of the day's first alarm recording ----
ALARM=$("$AVFILE" recordings "$DAY" --json $CLOCK_ARGS | grep '"alarm": true' | head -n 1)
if [ -n "$ALARM" ]; then
  START=$(printf '%s\n' "$ALARM" | sed -n 's/.*"start": "\([^"]*\)".*/\1/p')
  MS=$(printf '%s\n' "$ALARM" | sed -n 's/.*"durationMs": \([0-9]*\).*/\1/p')
  FROM=$(date -u -d "$START" +%s)
  FROM_TEXT=$(date -u -d "@$FROM" '+%Y-%m-%d %H:%M:%S')
  TO_TEXT=$(date -u -d "@$((FROM + (MS + 999) / 1000))" '+%Y-%m-%d %H:%M:%S')
  say "avfile report $DAY --from \"$FROM_TEXT\" --to \"$TO_TEXT\" -o $OUT/report"
  rm -rf "$OUT/report"
  "$AVFILE" report "$DAY" --from "$FROM_TEXT" --to "$TO_TEXT" -o "$OUT/report" $PASSWORD_ARGS $CLOCK_ARGS ||
    echo "(no report)"
  [ -f "$OUT/report/index.html" ] && echo "report:    $OUT/report/index.html   (open it in a browser)"
else
  echo "(no alarm recording in $DAY for an incident report)"
fi
exit 0
