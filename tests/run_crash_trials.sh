#!/usr/bin/env bash
# The full crash trials: a cleaning run killed at every file change and at
# every registry write it makes, one point after another until the run
# finishes on its own (the test suite tries a handful of points only).
#   tests/run_crash_trials.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
KOLVANEX_CRASH_TRIALS=full exec "$build/tests/test_hosts" --gtest_filter='CleanCrashTrials.*'
