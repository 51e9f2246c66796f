#!/bin/sh
# Times the secure deletion beside coreutils shred on the same disk, in
# alternating runs, each run on a freshly written file (written and synced
# before the clock starts, so neither side inherits the other's dirty pages).
#
#  1. Three overwrite passes of a 512 MiB file:
#       kolvanex shred --passes 3            (no scramble)
#       shred -n 3 -u --random-source=/dev/zero
#     ratio ours/shred on wall time (target <= 0.60).
#  2. The Gutmann mode on a 64 MiB file:
#       kolvanex shred --gutmann             (writes 35 x 15 regions of size/5)
#       shred -n 35 --random-source=/dev/zero (writes 35 x size)
#     ratio ours/shred per byte written (target <= 0.60).
#  3. The peak resident memory of kolvanex while overwriting the 512 MiB file
#     (target < 64 MiB).
#
#   bench/run_shred_bench.sh [build-dir] [runs]
#
# KX_BENCH_DIR picks the place (default /var/tmp; it must be a disk, not tmpfs);
# KX_BENCH_MIB and KX_BENCH_GUTMANN_MIB change the file sizes.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build-del"}
runs=${2:-3}
base=${KX_BENCH_DIR:-/var/tmp}
mib=${KX_BENCH_MIB:-512}
gmib=${KX_BENCH_GUTMANN_MIB:-64}
work="$base/kx-shred-bench"
prefix="$work/machine"

ninja -C "$build" kolvanex >/dev/null
kolvanex="$build/kolvanex"
timer=/usr/bin/time
[ -x "$timer" ] || { echo "GNU time (/usr/bin/time) is needed for the memory figure" >&2; exit 1; }

check_disk "$base"

rm -rf "$work"
mkdir -p "$work/shred"
"$kolvanex" --prefix "$prefix" machine init >/dev/null
mkdir -p "$prefix/drive_c/bench"
ours_file="$prefix/drive_c/bench/big.bin"
ours_win='C:\bench\big.bin'
theirs_file="$work/shred/big.bin"

# A file of $2 MiB with real blocks on disk, synced.
make_file() {
    dd if=/dev/zero of="$1" bs=1M count="$2" conv=fsync status=none
    sync
}

max() { printf '%s\n' $1 | sort -n | tail -1; }

# Runs "$@" under GNU time; prints "<wall-ns> <peak-KiB>".
timed() {
    t0=$(now_ns)
    "$timer" -f %M -o "$work/rss" "$@" >/dev/null
    t1=$(now_ns)
    echo "$((t1 - t0)) $(tail -1 "$work/rss")"
}

# ---- 1. three passes ---------------------------------------------------------
ours=""
theirs=""
rss=""
i=0
while [ "$i" -lt "$runs" ]; do
    make_file "$ours_file" "$mib"
    set -- $(timed "$kolvanex" --prefix "$prefix" --quiet shred --passes 3 --byte 0 "$ours_win")
    ours="$ours $1"
    rss="$rss $2"
    [ ! -e "$ours_file" ] || { echo "kolvanex shred left the file in place" >&2; exit 1; }
    make_file "$theirs_file" "$mib"
    set -- $(timed shred -n 3 -u --random-source=/dev/zero "$theirs_file")
    theirs="$theirs $1"
    i=$((i + 1))
done
m_ours=$(median "$ours")
m_theirs=$(median "$theirs")
peak=$(max "$rss")

# ---- 2. Gutmann --------------------------------------------------------------
gours=""
gtheirs=""
grss=""
i=0
while [ "$i" -lt "$runs" ]; do
    make_file "$ours_file" "$gmib"
    set -- $(timed "$kolvanex" --prefix "$prefix" --quiet shred --gutmann "$ours_win")
    gours="$gours $1"
    grss="$grss $2"
    [ ! -e "$ours_file" ] || { echo "kolvanex shred --gutmann left the file in place" >&2; exit 1; }
    make_file "$theirs_file" "$gmib"
    set -- $(timed shred -n 35 --random-source=/dev/zero "$theirs_file")
    gtheirs="$gtheirs $1"
    rm -f "$theirs_file"
    i=$((i + 1))
done
mg_ours=$(median "$gours")
mg_theirs=$(median "$gtheirs")
gpeak=$(max "$grss")

# Bytes each side writes: ours 35 passes x 5 regions x 3 runs of round(size/5).
size=$((gmib * 1048576))
chunk=$(( (size + 2) / 5 ))
bytes_ours=$((35 * 15 * chunk))
bytes_theirs=$((35 * size))

echo "disk: $base ($fstype)  runs: $runs (alternating, median)"
echo "1. three passes, $mib MiB"
echo "   kolvanex shred --passes 3:  median $((m_ours / 1000000)) ms   [$(for v in $ours; do printf '%s ' $((v / 1000000)); done)ms]"
echo "   shred -n 3 -u:              median $((m_theirs / 1000000)) ms   [$(for v in $theirs; do printf '%s ' $((v / 1000000)); done)ms]"
awk -v a="$m_ours" -v b="$m_theirs" 'BEGIN { printf "   ratio ours/shred: %.2f (target <= 0.60)\n", a / b }'
echo "2. Gutmann, $gmib MiB"
echo "   kolvanex shred --gutmann:   median $((mg_ours / 1000000)) ms for $bytes_ours bytes   [$(for v in $gours; do printf '%s ' $((v / 1000000)); done)ms]"
echo "   shred -n 35:                median $((mg_theirs / 1000000)) ms for $bytes_theirs bytes   [$(for v in $gtheirs; do printf '%s ' $((v / 1000000)); done)ms]"
awk -v a="$mg_ours" -v b="$mg_theirs" -v ba="$bytes_ours" -v bb="$bytes_theirs" \
    'BEGIN { printf "   ratio ours/shred per byte written: %.2f (target <= 0.60); per file: %.2f\n", (a / ba) / (b / bb), a / b }'
echo "3. peak resident memory of kolvanex"
awk -v k="$peak" -v g="$gpeak" -v m="$mib" \
    'BEGIN { printf "   overwriting %d MiB: %.1f MiB; Gutmann run: %.1f MiB (target < 64 MiB)\n", m, k / 1024, g / 1024 }'

rm -rf "$work"
