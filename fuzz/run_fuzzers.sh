#!/bin/sh
# Runs every fuzzer of a fuzz build for a bounded time on seed corpora made
# afresh by the recorder simulator.
#
#   fuzz/run_fuzzers.sh BUILD_FOLDER SECONDS_PER_TARGET [TARGET...]
#
# Inputs that broke a guarantee are kept as BUILD_FOLDER/findings/TARGET/*;
# the script's status is 1 when any target found one.
set -u
build=$1
seconds=$2
shift 2
targets=${*:-"fuzz_names fuzz_rmc fuzz_record_file fuzz_tree fuzz_salvage_scan"}
corpus=$build/corpus
# Every open allocates the library's frame buffers, which AddressSanitizer
# maps and unmaps afresh each time; a smaller quarantine of freed memory
# (16 MiB, still many inputs' worth) spares a quarter of each run's time.
# Options already in ASAN_OPTIONS win.
ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export ASAN_OPTIONS
"$build/fuzz_seeds" "$corpus" || exit 1
status=0
for target in $targets; do
    case $target in
        fuzz_record_file) seeds=record_file; limit=-max_len=65536 ;;
        fuzz_names) seeds=names; limit=-max_len=512 ;;
        fuzz_rmc) seeds=rmc; limit=-max_len=1024 ;;
        fuzz_tree) seeds=tree; limit=-max_len=4096 ;;
        # Room for three of the scanner's 64 KiB read windows.
        fuzz_salvage_scan) seeds=salvage; limit=-max_len=196608 ;;
        *) echo "unknown target $target" >&2; exit 2 ;;
    esac
    work=$build/work/$target
    findings=$build/findings/$target
    mkdir -p "$work" "$findings"
    log=$build/$target.log
    "$build/$target" "$work" "$corpus/$seeds" "$limit" -max_total_time="$seconds" \
        -timeout=20 -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 -reload=0 \
        -artifact_prefix="$findings/" >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "$target: rc $rc, ${runs:-0} executions, ${cov:-cov: ?}, findings $(ls "$findings" | wc -l)"
    if [ "$rc" -ne 0 ]; then
        status=1
        tail -n 30 "$log"
    fi
done
exit $status
