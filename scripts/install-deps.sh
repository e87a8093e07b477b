#!/usr/bin/env bash
# Installs what the build needs on a fresh Debian 12 machine (run as root).
set -euo pipefail
pkgs=(build-essential cmake pkg-config git
      libgtest-dev libgmock-dev libbenchmark-dev
      libicu-dev libxml2-dev libxml2-utils libproj-dev proj-data libmuparser-dev
      libhdf5-dev libxerces-c-dev zlib1g-dev libaec-dev libsqlite3-dev
      gdal-bin universal-ctags)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
