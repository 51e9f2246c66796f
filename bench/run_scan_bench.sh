#!/bin/sh
# Times DirScanner::Scan beside `find -type f` on the same tree of 200,000
# files in 20,000 folders, on disk (not tmpfs), both with warm caches, in
# alternating runs. Prints the median of each and the ratio ours/find, and
# the processor time (user + system) both took over all runs: on a machine
# busy with other work that ratio wanders less than the elapsed one.
#
#   bench/run_scan_bench.sh [build-dir] [runs]
#
# KX_BENCH_DIR picks the place (default /var/tmp); KX_BENCH_KEEP=1 keeps the
# tree for the next run.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build-fs"}
runs=${2:-7}
base=${KX_BENCH_DIR:-/var/tmp}
prefix="$base/kx-scan-bench/machine"
folders=20000
files=200000

ninja -C "$build" scan_bench >/dev/null
bench="$build/bench/scan_bench"

check_disk "$base"

if [ ! -d "$prefix/drive_c/bench" ]; then
    rm -rf "$base/kx-scan-bench"
    "$bench" populate "$prefix" "$folders" "$files"
fi
tree="$prefix/drive_c/bench"


# One warm-up run each, so both start with the same cache state.
"$bench" scan "$prefix" 'C:\bench' >/dev/null
find "$tree" -type f >/dev/null

ours=""
theirs=""
inproc=""
cpu_ours=0
cpu_find=0
times="$base/kx-scan-bench/times"
# Processor milliseconds of the command /usr/bin/time just measured.
cpu_ms() { awk '{ printf "%d", ($1 + $2) * 1000 }' "$times"; }
i=0
while [ "$i" -lt "$runs" ]; do
    t0=$(now_ns)
    out=$(/usr/bin/time -f '%U %S' -o "$times" "$bench" scan "$prefix" 'C:\bench')
    t1=$(now_ns)
    cpu_ours=$((cpu_ours + $(cpu_ms)))
    /usr/bin/time -f '%U %S' -o "$times" find "$tree" -type f >/dev/null
    t2=$(now_ns)
    cpu_find=$((cpu_find + $(cpu_ms)))
    count=${out% *}
    ours="$ours $(( (t1 - t0) / 1000 ))"
    theirs="$theirs $(( (t2 - t1) / 1000 ))"
    inproc="$inproc ${out#* }"
    i=$((i + 1))
done

expected=$(find "$tree" -type f | wc -l)
if [ "$count" != "$expected" ]; then
    echo "MISMATCH: scan found $count files, find $expected" >&2
    exit 1
fi

m_ours=$(median "$ours")
m_find=$(median "$theirs")
m_inproc=$(median "$inproc")
echo "files: $count (find agrees)  file system: $fstype  runs: $runs"
echo "scan_bench (whole process): median $((m_ours / 1000)) ms   [${ours# } us]"
echo "  of which Scan itself:     median $m_inproc ms"
echo "find -type f:               median $((m_find / 1000)) ms   [${theirs# } us]"
awk -v a="$m_ours" -v b="$m_find" 'BEGIN { printf "ratio ours/find: %.2f (target <= 0.60)\n", a / b }'
echo "processor time over all runs: ours $cpu_ours ms, find $cpu_find ms," \
    "ratio $(ratio "$cpu_ours" "$cpu_find")"

if [ "${KX_BENCH_KEEP:-0}" != "1" ]; then
    rm -rf "$base/kx-scan-bench"
fi
