#!/bin/sh
# How the cleaning run grows with the size of the tree: cleans Internet
# caches of 10,000, 100,000 and 1,000,000 small files (100 per folder,
# safety deletion off, discovery and destroy in one `clean`), on disk (not
# tmpfs), and prints the time and the peak memory of each run, then the time
# of each size against the one before it (linear growth: the tenfold size
# within 12 times the time) and whether the peak stayed under 256 MiB.
#
#   bench/run_scale_bench.sh [build-dir] [sizes]
#
# sizes: blank-separated file counts, multiples of 10,000 (default
# "10000 100000 1000000"; the largest takes a while to lay out).
# KX_BENCH_DIR picks the place (default /var/tmp).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build"}
sizes=${2:-"10000 100000 1000000"}
base=${KX_BENCH_DIR:-/var/tmp}
work="$base/kx-scale-bench"
limit_kb=$((256 * 1024))

fresh_machine
set_options INetTempFiles=1 Security=0

cache='C:\Dokumente und Einstellungen\anna\Lokale Einstellungen\Temporary Internet Files'
cache_host="$prefix/drive_c/Dokumente und Einstellungen/anna/Lokale Einstellungen/Temporary Internet Files"

echo "file system: $fstype"
previous_size=""
previous_ms=""
failed=0
for size in $sizes; do
    rm -rf "$cache_host"
    "$populate" populate "$prefix" $((size / 100)) "$size" "$cache" 200 >/dev/null
    sync
    # GNU time: elapsed seconds and the peak resident set in KiB.
    measured=$(/usr/bin/time -f '%e %M' "$kx" --quiet --prefix "$prefix" clean 2>&1 >/dev/null |
        tail -n 1)
    seconds=${measured% *}
    peak_kb=${measured#* }
    left=$(find "$cache_host" -type f 2>/dev/null | wc -l)
    if [ "$left" != 0 ]; then
        echo "MISMATCH: $left of $size files left in the cache after the run" >&2
        exit 1
    fi
    ms=$(awk -v s="$seconds" 'BEGIN { printf "%d", s * 1000 }')
    line="$size files: $ms ms, peak $((peak_kb / 1024)) MiB"
    if [ "$peak_kb" -ge "$limit_kb" ]; then
        line="$line (over 256 MiB)"
        failed=1
    fi
    if [ -n "$previous_ms" ]; then
        growth=$(ratio "$ms" "$previous_ms")
        line="$line, $growth x the $previous_size run"
        if [ "$size" = $((previous_size * 10)) ] &&
            awk -v g="$growth" 'BEGIN { exit !(g > 12) }'; then
            line="$line (over 12 x)"
            failed=1
        fi
    fi
    echo "$line"
    previous_size=$size
    previous_ms=$ms
done
rm -rf "$work"
exit "$failed"
