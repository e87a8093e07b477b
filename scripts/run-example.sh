#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the example program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_BUILD_EXAMPLES=ON -DKIVO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target surface_example
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
./build/examples/surface_example "$work"
