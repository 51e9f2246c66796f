#!/bin/sh
# Times the cipher component beside `openssl enc` on a 1 GiB file on disk (not
# tmpfs), in one run, alternating, with warm caches:
#
#   ours:    kolvanex cipher encrypt|decrypt (AES-256-GCM in 1 MiB chunks,
#            scrypt N=2^15 r=8 p=1; the output takes its name once complete
#            and is left in the page cache, as the command keeps its input)
#   openssl: openssl enc [-d] -aes-256-ctr -pbkdf2 -pass file:KEY (no
#            integrity check, output left in the page cache)
# and both with the output on the disk: ours with --sync (flushed before it
# takes its name, as a run that then removes its input needs), openssl
# followed by a `sync` of its output.
#
# Prints the medians, the ratios ours/openssl (target <= 0.6), the peak RSS
# of ours against 64 MiB + scrypt's 128 MiB, and the share of time spent
# deriving keys while scrambling 10,000 small files with EncryptInPlace
# (one frmAES run per file, as the deletion runs it; target <= 5%).
#
#   bench/run_cipher_bench.sh [build-dir] [runs]
#
# KX_BENCH_DIR picks the place (default /var/tmp); KX_BENCH_KEEP=1 keeps the
# 1 GiB file for the next run.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build-crypt"}
runs=${2:-5}
base=${KX_BENCH_DIR:-/var/tmp}
work="$base/kx-cipher-bench"
prefix="$work/machine"
small=10000

ninja -C "$build" kolvanex cipher_bench >/dev/null
kx="$build/kolvanex"
bench="$build/bench/cipher_bench"

check_disk "$base"

mkdir -p "$work"
[ -f "$prefix/machine.ini" ] || "$kx" --prefix "$prefix" machine init >/dev/null
big="$prefix/drive_c/big.bin"
if [ ! -f "$big" ] || [ "$(stat -c %s "$big")" != 1073741824 ]; then
    head -c 1073741824 /dev/urandom >"$big"
fi
key="$work/key"
printf 'bench password\n' >"$key"

ours() { "$kx" --quiet --prefix "$prefix" cipher "$@" --key-file "$key"; }
# Runs a command on a quiet disk: what earlier runs left in the cache is
# written out and the discards of removed files have time to pass (this
# disk may be mounted with `discard`).
fresh() { sync; sleep 1; "$@"; }
# Appends the milliseconds a command takes to the list named first.
timed() {
    list=$1; shift
    t=$(now_ns); "$@"; eval "$list=\"\$$list $(ms_since "$t")\""
}

# Warm-up: the input in the page cache for both.
cat "$big" >/dev/null
enc_ours=""; enc_ssl=""; enc_ours_sync=""; enc_ssl_sync=""
dec_ours=""; dec_ssl=""; dec_ours_sync=""; dec_ssl_sync=""
i=0
while [ "$i" -lt "$runs" ]; do
    rm -f "$prefix/drive_c/big.kx" "$work/big.enc"
    fresh timed enc_ours ours encrypt 'C:\big.bin' 'C:\big.kx'
    rm -f "$prefix/drive_c/big.kx"
    fresh timed enc_ours_sync ours encrypt 'C:\big.bin' 'C:\big.kx' --sync
    sync; sleep 1
    t=$(now_ns)
    openssl enc -aes-256-ctr -pbkdf2 -pass "file:$key" -in "$big" -out "$work/big.enc"
    enc_ssl="$enc_ssl $(ms_since "$t")"
    sync "$work/big.enc"
    enc_ssl_sync="$enc_ssl_sync $(ms_since "$t")"

    rm -f "$prefix/drive_c/back.bin" "$work/back.bin"
    fresh timed dec_ours ours decrypt 'C:\big.kx' 'C:\back.bin'
    rm -f "$prefix/drive_c/back.bin"
    fresh timed dec_ours_sync ours decrypt 'C:\big.kx' 'C:\back.bin' --sync
    sync; sleep 1
    t=$(now_ns)
    openssl enc -d -aes-256-ctr -pbkdf2 -pass "file:$key" -in "$work/big.enc" -out "$work/back.bin"
    dec_ssl="$dec_ssl $(ms_since "$t")"
    sync "$work/back.bin"
    dec_ssl_sync="$dec_ssl_sync $(ms_since "$t")"
    i=$((i + 1))
done
if ! cmp -s "$big" "$prefix/drive_c/back.bin" || ! cmp -s "$big" "$work/back.bin"; then
    echo "MISMATCH: a decrypted file differs from the original" >&2
    exit 1
fi

m_eo=$(median "$enc_ours"); m_es=$(median "$enc_ssl")
m_eos=$(median "$enc_ours_sync"); m_ess=$(median "$enc_ssl_sync")
m_do=$(median "$dec_ours"); m_ds=$(median "$dec_ssl")
m_dos=$(median "$dec_ours_sync"); m_dss=$(median "$dec_ssl_sync")
echo "1 GiB on $fstype, $runs alternating runs, medians in ms [all runs]"
echo "encrypt  ours $m_eo [${enc_ours# }]  openssl $m_es [${enc_ssl# }]"
echo "         ours --sync $m_eos [${enc_ours_sync# }]  openssl+sync $m_ess [${enc_ssl_sync# }]"
echo "decrypt  ours $m_do [${dec_ours# }]  openssl $m_ds [${dec_ssl# }]"
echo "         ours --sync $m_dos [${dec_ours_sync# }]  openssl+sync $m_dss [${dec_ssl_sync# }]"
echo "ratio ours/openssl (in the cache):  encrypt $(ratio "$m_eo" "$m_es")  decrypt $(ratio "$m_do" "$m_ds")  (target <= 0.60)"
echo "ratio ours/openssl (on the disk):   encrypt $(ratio "$m_eos" "$m_ess")  decrypt $(ratio "$m_dos" "$m_dss")"

# Peak RSS of ours, one more run of each.
limit_kb=$(( (64 + 128) * 1024 ))
rm -f "$prefix/drive_c/big.kx" "$prefix/drive_c/back.bin"
if [ -x /usr/bin/time ]; then
    rss_enc=$(/usr/bin/time -f %M "$kx" --quiet --prefix "$prefix" cipher encrypt 'C:\big.bin' 'C:\big.kx' --key-file "$key" 2>&1 >/dev/null | tail -1)
    rss_dec=$(/usr/bin/time -f %M "$kx" --quiet --prefix "$prefix" cipher decrypt 'C:\big.kx' 'C:\back.bin' --key-file "$key" 2>&1 >/dev/null | tail -1)
    how="/usr/bin/time, kolvanex"
else
    rss_enc=$("$bench" file encrypt "$prefix" 'C:\big.bin' 'C:\big.kx' "$key" | awk '{ print $2 }')
    rss_dec=$("$bench" file decrypt "$prefix" 'C:\big.kx' 'C:\back.bin' "$key" | awk '{ print $2 }')
    how="VmHWM, cipher_bench"
fi
echo "peak RSS ours ($how): encrypt ${rss_enc} KiB, decrypt ${rss_dec} KiB (limit $limit_kb KiB)"

# Key derivation's share of the scramble.
rm -rf "$prefix/drive_c/scramble"
"$bench" populate "$prefix" "$small"
set -- $("$bench" scramble "$prefix" "$small" password)
awk -v n="$1" -v t="$2" -v d="$3" -v dt="$4" 'BEGIN {
    printf "scramble %d files (fixed password): %.2f s, %d derivation(s) taking %.3f s = %.2f%% (target <= 5%%)\n",
        n, t, d, dt, 100 * dt / t }'
rm -rf "$prefix/drive_c/scramble"
"$bench" populate "$prefix" "$small"
set -- $("$bench" scramble "$prefix" "$small" random)
awk -v n="$1" -v t="$2" -v d="$3" 'BEGIN {
    printf "scramble %d files (RandomKey, as the deletion runs it): %.2f s, %d derivation(s)\n", n, t, d }'
rm -rf "$prefix/drive_c/scramble"

rm -f "$prefix/drive_c/big.kx" "$prefix/drive_c/back.bin" "$work/big.enc" "$work/back.bin"
if [ "${KX_BENCH_KEEP:-0}" != "1" ]; then
    rm -rf "$work"
fi
