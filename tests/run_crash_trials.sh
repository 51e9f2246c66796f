#!/usr/bin/env bash
# The long crash trials: a cleaning run killed at every file change and at
# every registry write it makes (or at every STRIDE-th), one point after
# another until the run finishes on its own; the test suite tries a handful
# of points only. A run makes a few hundred file changes; each point costs
# three runs of the host.
#   tests/run_crash_trials.sh [STRIDE] [BUILD_DIR]
set -euo pipefail
stride="${1:-full}"
build="${2:-build}"
KOLVANEX_CRASH_TRIALS="$stride" exec "$build/tests/test_hosts" --gtest_filter='CleanCrashTrials.*'
