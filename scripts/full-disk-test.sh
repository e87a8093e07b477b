#!/usr/bin/env bash
# Multi-file stores and renames on a full disk: mounts an 8 MiB tmpfs in a
# private mount namespace (needs root or user namespaces) and runs the
# full-disk test there, filling the disk so that only a few KiB stay free.
# Without a tmpfs the same test runs in CI under RLIMIT_FSIZE.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" -j4 --target test_multires >/dev/null
mnt=$(mktemp -d)
trap 'rmdir "$mnt"' EXIT
unshare -m -r --propagation private sh -c "
  mount -t tmpfs -o size=8m tmpfs '$mnt' &&
  TMPDIR='$mnt' KIVO_FULL_DISK_DIR='$mnt' '$build/test_multires' \
    --gtest_filter='MultiFileCommitFaults.FullDisk*'" | grep -E '^full disk|^\[  (PASSED|FAILED) |Failure'
