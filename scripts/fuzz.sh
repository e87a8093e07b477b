#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer for a given time on its seed corpus:
#   bash scripts/fuzz.sh TARGET SECONDS        e.g. scripts/fuzz.sh CubeGridDumpFuzz 600
# TARGET is a file name under tests/fuzz/ without ".cpp". The script configures a
# separate build folder (build-fuzz, or $KIVO_FUZZ_BUILD) with clang and
# -DKIVO_FUZZ=ON, which instruments the library for coverage and builds it with
# ASan and UBSan, then builds fuzz_TARGET and its replay driver. The driver writes
# the seed corpus with the library's own writers into build-fuzz/fuzz-corpus/TARGET;
# libFuzzer grows the corpus in build-fuzz/fuzz-work/TARGET, and crashing inputs
# land in build-fuzz/fuzz-findings/TARGET. Set FUZZ_JOBS=2 (or more) to
# fuzz with several processes; extra libFuzzer flags go in FUZZ_FLAGS.
# At the end it prints executions per second, total executions and findings.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
cd "$(dirname "$0")/.."
if [ ! -f "tests/fuzz/${target}.cpp" ]; then
  echo "no fuzz target tests/fuzz/${target}.cpp; targets:" >&2
  ls tests/fuzz/*Fuzz.cpp | xargs -n1 basename | sed 's/\.cpp$//' >&2
  exit 2
fi
build=$(realpath -m "${KIVO_FUZZ_BUILD:-build-fuzz}")
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=$cc CXX=$cxx cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_FUZZ=ON -DBUILD_TESTING=ON \
    -DKIVO_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"${BUILD_JOBS:-2}" --target "fuzz_${target}" "fuzz_replay_${target}"

seeds="$build/fuzz-corpus/$target"
work="$build/fuzz-work/$target"
findings="$build/fuzz-findings/$target"
log="$build/fuzz-logs/$target.log"
mkdir -p "$work" "$findings" "$(dirname "$log")"
# The replay driver writes the seeds and checks them once before fuzzing.
ASAN_OPTIONS=detect_leaks=1 "$build/fuzz_replay_${target}" --seeds "$seeds" \
  "$PWD/tests/fuzz/regressions/$target"

jobs=${FUZZ_JOBS:-1}
parallel=()
# Several jobs run in workers that log into fuzz-<n>.log in the current folder.
if [ "$jobs" -gt 1 ]; then parallel=(-jobs="$jobs" -workers="$jobs"); fi
start=$(date +%s)
set +e
# Per input at most 10 s and 2 GB: the readers must refuse anything that would
# need more, so hitting a limit is a finding too.
(cd "$(dirname "$log")" && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  "$build/fuzz_${target}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -malloc_limit_mb=1024 -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" \
  "${parallel[@]}" ${FUZZ_FLAGS:-} "$work" "$seeds" >"$log" 2>&1)
status=$?
set -e
if [ "$jobs" -gt 1 ]; then cat "$(dirname "$log")"/fuzz-*.log >>"$log" 2>/dev/null; rm -f "$(dirname "$log")"/fuzz-*.log; fi
elapsed=$(( $(date +%s) - start ))
execs=$(grep -h 'stat::number_of_executed_units' "$log" | awk '{s += $2} END {print s + 0}')
rate=$(( elapsed > 0 ? execs / elapsed : execs ))
found=$(find "$findings" -type f | wc -l)
echo "target $target: ${elapsed} s, $execs executions, ${rate} execs/s, corpus $(ls "$work" | wc -l) inputs, $found finding(s)"
if [ "$found" -gt 0 ] || [ $status -ne 0 ]; then
  grep -h -E 'ERROR|SUMMARY|invariant broken|Test unit written' "$log" | head -20
  echo "log: $log; findings: $findings" >&2
  exit 1
fi
