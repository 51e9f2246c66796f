#!/usr/bin/env bash
# Fails when a tracked C++ file differs from .clang-format; names each one.
set -euo pipefail
cd "$(dirname "$0")/.."
# The tracked files in a checkout; every source file in a tree without git
# (an unpacked archive), so the check never passes on an empty list.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.hpp')
else
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.hpp' \) -print)
fi
if [ ${#files[@]} -eq 0 ]; then
    echo "format: no C++ files found" >&2
    exit 1
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/kx-format.$$; then
    grep -o '^[^:]*:' /tmp/kx-format.$$ | sort -u | sed 's/:$/: not formatted (clang-format -i)/'
    rm -f /tmp/kx-format.$$
    exit 1
fi
rm -f /tmp/kx-format.$$
echo "format: ${#files[@]} files as .clang-format says"
