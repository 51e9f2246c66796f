#!/usr/bin/env bash
# Fails when a tracked C++ file differs from .clang-format; names each one.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.hpp')
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/kx-format.$$; then
    grep -o '^[^:]*:' /tmp/kx-format.$$ | sort -u | sed 's/:$/: not formatted (clang-format -i)/'
    rm -f /tmp/kx-format.$$
    exit 1
fi
rm -f /tmp/kx-format.$$
echo "format: ${#files[@]} files as .clang-format says"
