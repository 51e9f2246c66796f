#!/bin/sh
# Times the folder encryption beside openssl, one process per file, on two
# identical copies of a folder of 1,000 files of 100 KiB, on disk (not
# tmpfs), in one run, alternating:
#
#   ours:    kolvanex encrypt --folder DIR (AES-256-GCM, one scrypt key
#            derivation for the run; every file written beside, flushed to
#            the disk and renamed over the original)
#   openssl: find DIR -type f -exec openssl enc -aes-256-ctr -pbkdf2
#            -pass pass:k -in {} -out {}.enc \;  (a derivation per file, no
#            integrity check, outputs left in the page cache)
#
# Prints the medians, the ratio ours/openssl (target <= 0.3), and the peak
# RSS of ours against 64 MiB + scrypt's 128 MiB (N = 2^17, r = 8).
#
#   bench/run_crypt_folder_bench.sh [build-dir] [runs]
#
# The files are named *.dat: program endings such as .bin are protected and
# would be skipped.
#
# KX_BENCH_DIR picks the place (default /var/tmp).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build-crypt"}
runs=${2:-3}
base=${KX_BENCH_DIR:-/var/tmp}
work="$base/kx-crypt-folder-bench"
prefix="$work/machine"
files=1000

ninja -C "$build" kolvanex >/dev/null
kx="$build/kolvanex"

check_disk "$base"

rm -rf "$work"
mkdir -p "$work/source"
"$kx" --prefix "$prefix" machine init >/dev/null
i=0
while [ "$i" -lt "$files" ]; do
    head -c 102400 /dev/urandom >"$work/source/f$i.dat"
    i=$((i + 1))
done
key="$work/key"
printf 'k\n' >"$key"
ours_dir="$prefix/drive_c/Daten"
ssl_dir="$work/ssl"

# Two identical copies, both in the page cache.
fresh_copies() {
    rm -rf "$ours_dir" "$ssl_dir"
    cp -r "$work/source" "$ours_dir"
    cp -r "$work/source" "$ssl_dir"
    cat "$ours_dir"/* "$ssl_dir"/* >/dev/null
    sync; sleep 1
}
ours() { "$kx" --quiet --prefix "$prefix" encrypt --folder 'C:\Daten' --key-file "$key"; }
theirs() {
    find "$ssl_dir" -type f -exec openssl enc -aes-256-ctr -pbkdf2 -pass pass:k -in {} -out {}.enc \;
}

t_ours=""; t_ssl=""
i=0
while [ "$i" -lt "$runs" ]; do
    fresh_copies
    t=$(now_ns); ours; t_ours="$t_ours $(ms_since "$t")"
    sync; sleep 1
    t=$(now_ns); theirs; t_ssl="$t_ssl $(ms_since "$t")"
    i=$((i + 1))
done

# Every file of ours decrypts back to its original.
"$kx" --quiet --prefix "$prefix" decrypt --folder 'C:\Daten' --key-file "$key"
for f in "$work/source"/*; do
    if ! cmp -s "$f" "$ours_dir/$(basename "$f")"; then
        echo "MISMATCH: $(basename "$f") did not decrypt to its original" >&2
        exit 1
    fi
done

m_o=$(median "$t_ours"); m_s=$(median "$t_ssl")
echo "$files files of 100 KiB on $fstype, $runs alternating runs, medians in ms [all runs]"
echo "encrypt folder  ours $m_o [${t_ours# }]  openssl per file $m_s [${t_ssl# }]"
echo "ratio ours/openssl: $(ratio "$m_o" "$m_s")  (target <= 0.30)"

# Peak RSS of ours, one more run.
limit_kb=$(( (64 + 128) * 1024 ))
fresh_copies
if [ -x /usr/bin/time ]; then
    rss=$(/usr/bin/time -f %M "$kx" --quiet --prefix "$prefix" encrypt --folder 'C:\Daten' --key-file "$key" 2>&1 >/dev/null | tail -1)
    how="/usr/bin/time"
else
    rss=$(python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' \
        "$kx" --quiet --prefix "$prefix" encrypt --folder 'C:\Daten' --key-file "$key")
    how="getrusage"
fi
echo "peak RSS ours ($how): ${rss} KiB (limit $limit_kb KiB)"

rm -rf "$work"
