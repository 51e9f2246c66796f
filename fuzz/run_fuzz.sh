#!/usr/bin/env bash
# Builds the fuzzing programs with clang and runs each one after the other at
# the lowest priority, over its stored corpus, for SECONDS of wall time each.
# With KX_FUZZ_CPU=1 the SECONDS are processor time instead: on a busy machine
# a run at the lowest priority then still gets its full share of work, and is
# asked to finish (SIGUSR1, which libFuzzer ends gracefully) once it has used it.
# KX_FUZZ_NICE sets the priority (default 19, the lowest).
#
#   fuzz/run_fuzz.sh [SECONDS] [BUILD-DIR] [TARGET...]
#
# New inputs go to BUILD-DIR/fuzz/found/<target>, findings (crash-*, oom-*,
# timeout-*) to BUILD-DIR/findings/<target>/ with the log beside them. A
# finding is fixed with a test and its input added to fuzz/corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${2:-build-fuzz}
shift $(($# > 2 ? 2 : $#))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(ls fuzz/corpus)
fi
command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed" >&2; exit 2; }
# The file targets work in a throw-away machine under TMPDIR and flush what
# they write; in memory a flush costs nothing, on a busy disk it is most of a run.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKX_FUZZ=ON -DKX_TESTS=OFF \
    -DKX_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
failed=0
TIMEFORMAT='%R s wall, %U s user, %S s system'
# Sends SIGUSR1 to process $1 once it has used $2 seconds of processor time.
stop_after_cpu() {
    local pid=$1 limit=$2 ticks
    ticks=$(getconf CLK_TCK)
    while kill -0 "$pid" 2>/dev/null; do
        read -r -a stat <"/proc/$pid/stat" || return 0
        # utime and stime are fields 14 and 15; the name (field 2) has no blanks here.
        if (((stat[13] + stat[14]) / ticks >= limit)); then
            kill -USR1 "$pid" 2>/dev/null
            return 0
        fi
        sleep 5
    done
}
for t in "${targets[@]}"; do
    mkdir -p "$build/findings/$t" "$build/fuzz/found/$t"
    log="$build/findings/$t.log"
    set +e
    wall=$seconds
    [ "${KX_FUZZ_CPU:-0}" = 1 ] && wall=$((seconds * 100))
    # The subshell waits for the fuzzer, so `time` counts the fuzzer's work;
    # inside it, $! is the fuzzer itself (nice runs it in its own place).
    { time (
        nice -n "${KX_FUZZ_NICE:-19}" "$build/fuzz/fuzz_$t" -max_total_time="$wall" -timeout=60 \
            -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/findings/$t/" \
            "$build/fuzz/found/$t" "fuzz/corpus/$t" 2>"$log" &
        fuzzer=$!
        [ "${KX_FUZZ_CPU:-0}" = 1 ] && stop_after_cpu "$fuzzer" "$seconds"
        wait "$fuzzer"
    ); } 2>"$log.time"
    status=$?
    set -e
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$t: exit $status, ${runs:-?} runs, $(cat "$log.time")"
    [ "$status" -eq 0 ] || failed=1
done
exit $failed
