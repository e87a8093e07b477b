#!/usr/bin/env bash
# The long crash test of one kind: scripts/crash-test.sh KIND COUNT [SEED]
# kills a process storing or renaming a surface of that kind COUNT times and
# checks after each kill that the reopened surface is whole and clean.
# Kinds: the names the crash kinds give (tests/crash/*CrashKind.cpp), e.g.
# gridded, compound, wgrid-rename; "all" runs every kind.
#
# scripts/crash-test.sh two-process KIND SECONDS runs the two-process checks
# of a kind that stores in place (tests/crash/TwoProcessCheck.cpp): a reader
# beside a writer, then two writers, SECONDS each.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=crash
if [ "${1:-}" = two-process ]; then
  mode=two-process
  shift
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 KIND COUNT [SEED]" >&2
  echo "       $0 two-process KIND SECONDS" >&2
  exit 2
fi
kind=$1 count=$2 seed=${3:-20261207}
build=${BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j4 --target crash_test >/dev/null
if [ "$mode" = two-process ]; then
  filter="Kinds/TwoProcess.*/${kind//[^A-Za-z0-9]/_}"
  [ "$kind" = all ] && filter='Kinds/TwoProcess.*'
  KIVO_TWO_PROCESS_SECONDS=$count "$build/crash_test" --gtest_filter="$filter" |
    grep -E '^two-process |^\[  (PASSED|FAILED) |Failure'
  exit 0
fi
filter="Kinds/Crash.*/${kind//[^A-Za-z0-9]/_}"
[ "$kind" = all ] && filter='Kinds/Crash.*'
KIVO_CRASH_COUNT=$count KIVO_CRASH_SEED=$seed "$build/crash_test" --gtest_filter="$filter" |
  grep -E '^crash |^\[  (PASSED|FAILED) |^kill |Failure'
