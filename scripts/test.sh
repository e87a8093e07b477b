#!/usr/bin/env bash
# Installs what is missing, builds the plain and the sanitizer configuration and runs every test in both,
# then installs each into a scratch prefix and builds and runs a program against the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
parts=(-DBUILD_TESTING=ON -DKIVO_BUILD_EXAMPLES=ON)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${parts[@]}" -DKIVO_BUILD_BENCH=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
bash tests/install/check.sh build
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKIVO_SANITIZE=ON "${parts[@]}" -DKIVO_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
(cd build-asan && ctest --output-on-failure -j"$jobs")
bash tests/install/check.sh build-asan
