#!/bin/sh
# Times the cleaning run beside the system tools doing the same work on an
# identical copy, on disk (not tmpfs), in one run, alternating:
#
#   cache:  discovery + destroy of an Internet cache of 100,000 small files
#           with the safety deletion off (rename and remove), beside rm -rf
#           (target ratio <= 1.1); then the system calls per file of both,
#           counted with strace -c -f on 10,000 files (when strace is there)
#   shred:  a folder of 10,000 files of 4 KiB with three overwrite passes,
#           beside find -type f -exec shred -n 3 -u {} + (target <= 1.0)
#   junk:   the weekly junk search (discovery only) over a drive of 200,000
#           files, beside find with the same 19 name patterns (target <= 1.5)
#
#   bench/run_clean_bench.sh [build-dir] [runs]
#
# KX_BENCH_DIR picks the place (default /var/tmp).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build"}
runs=${2:-3}
base=${KX_BENCH_DIR:-/var/tmp}
work="$base/kx-clean-bench"
# Everything off but what a case turns on.
fresh_machine

clean() { "$kx" --quiet --prefix "$prefix" clean "$@" >/dev/null; }

cache='C:\Dokumente und Einstellungen\anna\Lokale Einstellungen\Temporary Internet Files'
cache_host="$prefix/drive_c/Dokumente und Einstellungen/anna/Lokale Einstellungen/Temporary Internet Files"
copy_host="$prefix/drive_c/Kopie"

# Lays out the cache and the copy alike: folders, files, bytes.
lay_out() {
    rm -rf "$cache_host" "$copy_host"
    "$populate" populate "$prefix" "$1" "$2" "$cache" "$3" >/dev/null
    "$populate" populate "$prefix" "$1" "$2" 'C:\Kopie' "$3" >/dev/null
    sync
}
check_gone() {
    left=$(find "$cache_host" -type f | wc -l)
    if [ "$left" != 0 ]; then
        echo "MISMATCH: $left files left in the cache after the run" >&2
        exit 1
    fi
}

# --- cache: 100,000 files, safety deletion off ------------------------------
set_options INetTempFiles=1 Security=0
ours=""; theirs=""; i=0
while [ "$i" -lt "$runs" ]; do
    lay_out 1000 100000 200
    t=$(now_ns); clean; ours="$ours $(( ($(now_ns) - t) / 1000 ))"
    check_gone
    t=$(now_ns); rm -rf "$copy_host"; theirs="$theirs $(( ($(now_ns) - t) / 1000 ))"
    i=$((i + 1))
done
c_ours=$(median "$ours"); c_rm=$(median "$theirs")

# System calls per file on 10,000 files: the total strace counts, over the files.
calls_per_file() {
    awk -v n="$1" '$NF == "total" { printf "%.1f", $4 / n }' "$work/strace.txt"
}
c_calls=""
if command -v strace >/dev/null 2>&1; then
    lay_out 100 10000 200
    strace -c -f -o "$work/strace.txt" "$kx" --quiet --prefix "$prefix" clean >/dev/null
    check_gone
    ours_calls=$(calls_per_file 10000)
    strace -c -f -o "$work/strace.txt" rm -rf "$copy_host"
    c_calls="; system calls per file (10,000 files): ours $ours_calls, rm $(calls_per_file 10000)"
fi

# --- shred: 10,000 files, three passes --------------------------------------
set_options Security=1 DeleteN=3 DeleteIt=1 DeleteValue=246
ours=""; theirs=""; i=0
while [ "$i" -lt "$runs" ]; do
    lay_out 100 10000 4096
    t=$(now_ns); clean; ours="$ours $(( ($(now_ns) - t) / 1000 ))"
    check_gone
    t=$(now_ns); find "$copy_host" -type f -exec shred -n 3 -u {} +
    theirs="$theirs $(( ($(now_ns) - t) / 1000 ))"
    i=$((i + 1))
done
s_ours=$(median "$ours"); s_shred=$(median "$theirs")
rm -rf "$cache_host" "$copy_host"

# --- junk: 200,000 files on the drive, the 19 patterns ----------------------
set_options INetTempFiles=0 Junk=1
"$populate" populate "$prefix" 20000 200000 'C:\Daten' 1 1000 >/dev/null
drive="$prefix/drive_c"
junk_find() {
    find "$drive" -type f \( -iname '*.old' -o -iname '*.bak' -o -iname '*.b~k' \
        -o -iname '*.syd' -o -iname '*.s~d' -o -iname '~*.*' -o -iname '*.tmp' \
        -o -iname '*.$$$' -o -iname '$$@$$.del' -o -iname '*.~??' -o -iname '*.?~?' \
        -o -iname '*.??~' -o -iname '*.dmp' -o -iname '*.gid' -o -iname '*.fts' \
        -o -iname '*.---' -o -iname '*.-' -o -iname '*._' -o -iname '*MSCREATE.DIR' \) -print
}
junk_find >/dev/null
ours=""; theirs=""; i=0
while [ "$i" -lt "$runs" ]; do
    set_options JunkCleaned=0 JunkCleanedDate=
    t=$(now_ns); listed=$("$kx" --quiet --prefix "$prefix" clean --preview | grep -ci 'daten' || true)
    ours="$ours $(( ($(now_ns) - t) / 1000 ))"
    t=$(now_ns); found=$(junk_find | grep -c 'Daten' || true); theirs="$theirs $(( ($(now_ns) - t) / 1000 ))"
    i=$((i + 1))
done
if [ "$listed" != "$found" ]; then
    echo "MISMATCH: the junk search listed $listed files below C:\\Daten, find $found" >&2
    exit 1
fi
j_ours=$(median "$ours"); j_find=$(median "$theirs")

echo "file system: $fstype  runs: $runs"
echo "cache 100,000 files:  ours $((c_ours / 1000)) ms, rm -rf $((c_rm / 1000)) ms, ratio $(ratio "$c_ours" "$c_rm") (target <= 1.1)$c_calls"
echo "shred 10,000 files:   ours $((s_ours / 1000)) ms, shred $((s_shred / 1000)) ms, ratio $(ratio "$s_ours" "$s_shred") (target <= 1.0)"
echo "junk 200,000 files:   ours $((j_ours / 1000)) ms, find $((j_find / 1000)) ms, ratio $(ratio "$j_ours" "$j_find") (target <= 1.5; $found leftovers)"
rm -rf "$work"
