#!/usr/bin/env bash
# Builds the ThreadSanitizer configuration (build-tsan) and runs the test of
# independent surfaces on two threads there. Not part of CI. Extra arguments
# go to the test binary (e.g. --gtest_repeat=20). The exit status is the
# test's; the number of ThreadSanitizer reports is printed at the end.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
flags="-fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DKIVO_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
  ${CMAKE_ARGS:-} >/dev/null || exit 1
cmake --build build-tsan -j"$jobs" --target test_multires || exit 1
log=build-tsan/tsan.log
TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  build-tsan/test_multires --gtest_filter='ThreadedSurfaces.*' "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
echo "ThreadSanitizer reports: $(grep -c '^WARNING: ThreadSanitizer' "$log")"
exit "$status"
