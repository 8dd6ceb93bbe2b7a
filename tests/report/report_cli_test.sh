#!/bin/sh
# avfile report from the command line: what a report folder holds and what
# a failed report leaves behind (nothing of its own).
#
#   report_cli_test.sh AVFILE SAMPLE_CARD CLIP WORK
set -u
AVFILE=$1 SAMPLE_CARD=$2 CLIP=$3 WORK=$4
failures=0
check() {  # check WHAT COMMAND...: the command's success is the check's
  what=$1
  shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
# Runs avfile and compares its exit code with the one wanted.
exits() {
  want=$1
  shift
  "$AVFILE" "$@" >"$WORK/out.txt" 2>&1
  got=$?
  [ "$got" -eq "$want" ] || { echo "      exit $got, not $want: avfile $*"; cat "$WORK/out.txt"; return 1; }
}
nothing_at() { [ ! -e "$1" ] || { echo "      left behind: $(find "$1")"; return 1; }; }

rm -rf "$WORK"
mkdir -p "$WORK"
CARD=$WORK/card
"$SAMPLE_CARD" "$CARD" --clip "$CLIP" >/dev/null || exit 1
DAY=$CARD/2015-01-09
ALARM=$DAY/alarm/1_20150109-105239_1125h.avi

# ---- wrong command lines, missing and unreadable inputs: no folder made ----
while IFS='|' read -r code what args; do
  [ -n "$code" ] || continue
  # shellcheck disable=SC2086
  check "$what (exit $code)" exits "$code" report $args
  check "$what leaves no folder" nothing_at "$WORK/r"
done <<EOF_CASES
2|no output folder|$ALARM
2|no input|-o $WORK/r
2|--from without --to|$DAY --from 10:52 -o $WORK/r
2|a malformed time|$DAY --from 10:52 --to 25:00 -o $WORK/r
2|--to before --from|$DAY --from 10:53 --to 10:52 -o $WORK/r
2|--from with record files|$ALARM --from 10:52 --to 10:53 -o $WORK/r
3|a missing file|$WORK/none.avi -o $WORK/r
1|a window without recordings|$DAY --from 11:00 --to 12:00 -o $WORK/r
5|an encrypted recording without its password|$CARD/2015-01-10 -o $WORK/r
EOF_CASES

# ---- a failure at the last step takes away what the report wrote ----
mkdir -p "$WORK/late/index.html/kept"
check "a report that cannot put its page in place fails" exits 1 report "$DAY"/alarm/*.avi -o "$WORK/late"
check "and leaves only what was there before" \
  sh -c '[ "$(find "$1" | sort | tr "\n" " ")" = "$1 $1/index.html $1/index.html/kept " ]' - "$WORK/late"

# ---- a report: check sums, window, clock, the damaged and the encrypted ----
check "the alarm recording's report" exits 0 report "$DAY"/alarm/*.avi -o "$WORK/alarm"
check "its SHA256SUMS holds for every file" sh -c 'cd "$1" && sha256sum --quiet -c SHA256SUMS' - "$WORK/alarm"
check "four channel videos" sh -c '[ "$(ls "$1"/channel-*.mp4 | wc -l)" -eq 4 ]' - "$WORK/alarm"
for f in "$DAY"/alarm/*.avi; do
  check "report.json gives the check sum of $(basename "$f")" \
    grep -q "\"sha256\": \"$(sha256sum "$f" | cut -d' ' -f1)\"" "$WORK/alarm/report.json"
done
check "the page carries the same facts" sh -c 'grep -q "$(sed -n 2p "$1/report.json")" "$1/index.html"' - "$WORK/alarm"
check "no temporary file is left" sh -c '[ "$(ls -A "$1" | grep -cv -e "^channel-[1-4]\.mp4$" -e "^report\.\(css\|js\|json\)$" -e "^index\.html$" -e "^SHA256SUMS$")" -eq 0 ]' - "$WORK/alarm"

# A window given in UTC: the recorder's clock runs 8 hours ahead.
check "a window in UTC" exits 0 report "$DAY" --utc-offset +08:00 --from 02:52:00 --to 02:53:00 -o "$WORK/utc"
check "takes the one recording in it" grep -q '"end": "2015-01-09T02:52:44Z"' "$WORK/utc/report.json"
check "and says so" grep -q '"window": {"from": "2015-01-09T02:52:00Z", "to": "2015-01-09T02:53:00Z"' "$WORK/utc/report.json"
check "in two recordings' window, both" exits 0 report "$DAY" --from "2015-01-09 10:49:30" --to 10:51:10 -o "$WORK/two"
check "  with their eight files" sh -c '[ "$(grep -c "\"path\": " "$1/report.json")" -eq 8 ]' - "$WORK/two"

mkdir -p "$WORK/cut"
cp "$ALARM" "$WORK/cut/"
truncate -s 90000 "$WORK/cut/$(basename "$ALARM")"
check "a recording cut short" exits 0 report "$WORK/cut/$(basename "$ALARM")" -o "$WORK/damaged"
check "is marked damaged" grep -q '"damaged": true, "state": "incomplete"' "$WORK/damaged/report.json"
check "the sound ones are not" grep -q '"damaged": false, "state": "sound"' "$WORK/alarm/report.json"
check "an encrypted recording with its password" exits 0 report "$CARD/2015-01-10" --password Road2015 -o "$WORK/locked"
check "is marked encrypted" grep -q '"encrypted": true' "$WORK/locked/report.json"

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
[ "$failures" -eq 0 ]
