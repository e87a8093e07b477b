#!/usr/bin/env bash
# The long crash test of one kind: scripts/crash-test.sh KIND COUNT [SEED]
# kills a process storing or renaming a surface of that kind COUNT times and
# checks after each kill that the reopened surface is whole and clean.
# Kinds: the names the crash kinds give (tests/crash/*CrashKind.cpp), e.g.
# gridded, compound, wgrid-rename; "all" runs every kind.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: $0 KIND COUNT [SEED]" >&2
  exit 2
fi
kind=$1 count=$2 seed=${3:-20261207}
build=${BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j4 --target crash_test >/dev/null
filter="Kinds/Crash.*/${kind//[^A-Za-z0-9]/_}"
[ "$kind" = all ] && filter='Kinds/Crash.*'
KIVO_CRASH_COUNT=$count KIVO_CRASH_SEED=$seed "$build/crash_test" --gtest_filter="$filter" |
  grep -E '^crash |^\[  (PASSED|FAILED) |^kill |Failure'
