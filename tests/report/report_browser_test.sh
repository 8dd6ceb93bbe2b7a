#!/bin/sh
# Writes the reports of a sample card and checks their pages in headless
# Chromium (report_page_test.cjs). Exit 77 (SKIPPED) only when Chromium,
# Node.js or playwright-core cannot be had, saying why.
#
#   report_browser_test.sh AVFILE SAMPLE_CARD CLIP WORK
#
# Environment: CHROMIUM (default: chromium on the PATH).
set -eu
AVFILE=$1 SAMPLE_CARD=$2 CLIP=$3 WORK=$4
HERE=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIPPED: $*"; exit 77; }

CHROMIUM=${CHROMIUM:-$(command -v chromium || true)}
[ -n "$CHROMIUM" ] && [ -x "$CHROMIUM" ] || skip "no Chromium (Debian package chromium)"
command -v node >/dev/null || skip "no Node.js (Debian package nodejs)"

# playwright-core, at the version the lock file names, in the build folder.
NPM_DIR=$WORK/npm
want=$(sed -n 's/.*"playwright-core": "\(.*\)".*/\1/p' "$HERE/package.json")
have=$(sed -n 's/^ *"version": "\(.*\)".*/\1/p' "$NPM_DIR/node_modules/playwright-core/package.json" 2>/dev/null || true)
if [ "$have" != "$want" ]; then
  command -v npm >/dev/null || skip "no npm (Debian package npm) to install playwright-core"
  mkdir -p "$NPM_DIR"
  cp "$HERE/package.json" "$HERE/package-lock.json" "$NPM_DIR/"
  (cd "$NPM_DIR" && npm ci --no-audit --no-fund --loglevel=error) ||
    skip "playwright-core $want could not be installed from the npm registry"
fi

# A folder name that the page must show as it is, not take as markup.
CARD="$WORK/card <&\"'></script><!--"
rm -rf "$WORK"/card* "$WORK/alarm" "$WORK/window" "$WORK/staggered"
"$SAMPLE_CARD" "$CARD" --clip "$CLIP" >/dev/null
# The alarm recording from its files, and a window of the first day that
# holds two recordings with a gap between them.
"$AVFILE" report "$CARD"/2015-01-09/alarm/*.avi -o "$WORK/alarm"
"$AVFILE" report "$CARD/2015-01-09" --from 10:49:00 --to 10:51:30 -o "$WORK/window"
# Channel 1 of the first recording and channel 2 of the second: the second
# channel starts 95 s later.
"$AVFILE" report "$CARD"/2015-01-09/video/1_20150109-104929_1025h.avi \
  "$CARD"/2015-01-09/video/2_20150109-105104_1025h.avi -o "$WORK/staggered"

NODE_PATH=$NPM_DIR/node_modules CHROMIUM=$CHROMIUM \
  node "$HERE/report_page_test.cjs" "$WORK/alarm" "$WORK/window" "$WORK/staggered" "$WORK"
