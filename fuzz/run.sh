#!/bin/sh
# Builds the fuzz targets with clang in build-fuzz (one job, low priority), makes the seed
# corpora and runs each target for SECONDS (default 60; FUZZ_SECONDS too). Exits non-zero
# when a target finds a crash, a leak, a timeout (10 s) or runaway memory (2 GB with the
# sanitizers' overhead); the input is kept in build-fuzz/findings/TARGET/.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-${FUZZ_SECONDS:-60}}
[ $# -gt 0 ] && shift
targets=${*:-delimited xls xlsx ods fatturapa p7m zip ricevuta}

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 2
fi
nice -n 10 cmake --build "$build" -j 1 || exit 2
[ -d "$build/corpus" ] || "$here/seeds.sh" "$build" || exit 2

LSAN_OPTIONS=suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
export LSAN_OPTIONS
status=0
for t in $targets; do
    mkdir -p "$build/findings/$t" "$build/work/$t"
    # The seeds stay as they are; what the target learns goes into work/.
    nice -n 10 "$build/fuzz_$t" "$build/work/$t" "$build/corpus/$t" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
        -artifact_prefix="$build/findings/$t/" -print_final_stats=1 >"$build/findings/$t.log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/findings/$t.log" | grep -o '[0-9]*$')
    if [ $rc -ne 0 ]; then
        echo "fuzz_$t: FINDING after ${runs:-?} runs (see $build/findings/$t.log)"
        status=1
    else
        echo "fuzz_$t: ${runs:-?} runs in ${seconds}s, no finding"
    fi
done
exit $status
