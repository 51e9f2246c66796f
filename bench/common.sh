# Helpers the benchmark scripts share; sourced, not run.

now_ns() { date +%s%N; }
ms_since() { echo $(( ($(now_ns) - $1) / 1000000 )); }
# The median of a blank-separated list of numbers.
median() { printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Sets fstype to the file system under $1 and warns when it is tmpfs: the
# figures are meant for a disk.
check_disk() {
    fstype=$(stat -f -c %T "$1")
    if [ "$fstype" = "tmpfs" ]; then
        echo "warning: $1 is tmpfs; the point is a disk" >&2
    fi
}

# Sets settings of section "Options" on the machine at $prefix through the
# host $kx, each given as Key=value.
set_options() {
    for pair in "$@"; do
        "$kx" --prefix "$prefix" settings set Options "${pair%%=*}" "${pair#*=}" >/dev/null
    done
}
# Every category of a cleaning run off; no dialer check, no downloads.
all_off="DialerCheckTime=0 TempFiles=0 Junk=0 INetTempFiles=0 Cookies=0 Recent=0 History=0 \
Trashcan=0 KaazaaSearch=0 AutoFillOff=0 AntiVirus=0 AntiSpy=0 Gutmann=0 Encrypt=0"

# Builds the host and the tool that lays out trees in $build, then makes a
# fresh machine at $work/machine (on $base) with every category off. Sets
# kx, populate, prefix and fstype.
fresh_machine() {
    ninja -C "$build" kolvanex scan_bench >/dev/null
    kx="$build/kolvanex"
    populate="$build/bench/scan_bench"
    prefix="$work/machine"
    check_disk "$base"
    rm -rf "$work"
    mkdir -p "$work"
    "$kx" --prefix "$prefix" machine init >/dev/null
    # shellcheck disable=SC2086
    set_options $all_off
}
