#!/usr/bin/env bash
# Open and store times of a small gridded, compound and CUBE surface at two
# versions side by side, with the ratio and the system calls per operation
# (bench/surface_open_store_bench.cpp).
#
#   scripts/bench-open-store.sh [BASELINE] [CURRENT]
#
# Each of BASELINE and CURRENT is a configured build folder or a commit;
# defaults 68a4e6b and this tree's build/. A commit is built in a scratch
# worktree /tmp/kivo-bench-<commit> (kept for the next run) with this tree's
# bench file copied in. ROUNDS runs of each (default 5), interleaved, of
# REPS repetitions (default 5); a time is the fastest repetition of all, in
# microseconds. System calls: strace -f -c at two fixed iteration counts, the
# difference divided by the difference of the counts.
set -euo pipefail
command -v strace >/dev/null || { echo "strace is needed: apt-get install strace" >&2; exit 1; }
root=$(cd "$(dirname "$0")/.." && pwd)
src=surface_open_store_bench bench=bench_surface_open_store_bench
rounds=${ROUNDS:-5} reps=${REPS:-5}
few=20 many=120
work=$(mktemp -d /tmp/kivo-bench-out-XXXXXX)
trap 'rm -rf "$work"' EXIT

build_type=RelWithDebInfo
[ -f "${2:-$root/build}/CMakeCache.txt" ] &&
  build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "${2:-$root/build}/CMakeCache.txt")

# Prints the build folder for $1, its bench built.
prepare() {
  local dir=$1
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    local sha tree
    sha=$(git -C "$root" rev-parse --short "$1^{commit}")
    tree=/tmp/kivo-bench-$sha dir=/tmp/kivo-bench-$sha/build
    [ -d "$tree" ] || git -C "$root" worktree add --detach -q "$tree" "$sha" >&2
    cmp -s "$root/bench/$src.cpp" "$tree/bench/$src.cpp" || cp "$root/bench/$src.cpp" "$tree/bench/"
    [ -f "$dir/CMakeCache.txt" ] ||
      cmake -S "$tree" -B "$dir" -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING=OFF -DKIVO_BUILD_EXAMPLES=OFF \
        -DKIVO_BUILD_BENCH=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >&2
  fi
  cmake "$dir" >/dev/null && cmake --build "$dir" --target "$bench" -j4 >&2
  echo "$dir"
}

label() {
  local src; src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$1/CMakeCache.txt")
  git -C "$src" rev-parse --short HEAD
}

base=$(prepare "${1:-68a4e6b}")
cur=$(prepare "${2:-$root/build}")
sides=("$base" "$cur")
names=(base cur)

# Timings, interleaved; the library's own chatter goes to /dev/null.
for ((r = 0; r < rounds; r++)); do
  for i in 0 1; do
    "${sides[$i]}/$bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
      --benchmark_out="$work/${names[$i]}.$r.csv" --benchmark_out_format=csv >/dev/null 2>&1
  done
done
grep -h ',true,' "$work"/*.csv >&2 || true

# System calls per operation of one benchmark on one side.
calls() {
  local n counts=()
  for n in $few $many; do
    strace -f -c -o "$work/strace" "${sides[$1]}/$bench" --benchmark_filter="^$2/" --kivo_iterations=$n \
      >/dev/null 2>&1
    counts+=("$(awk '$NF == "total" { print $4 }' "$work/strace")")
  done
  awk -v a="${counts[0]}" -v b="${counts[1]}" -v d=$((many - few)) 'BEGIN { printf "%.1f", (b - a) / d }'
}

# "name time" lines: the fastest of every round.
fastest() {
  cat "$work/$1".*.csv | awk -F, '$1 ~ /_min"$/ { n = $1; gsub(/"|\/real_time_min/, "", n)
    if (!(n in t) || $3 < t[n]) t[n] = $3 } END { for (n in t) print n, t[n] }' | sort
}

a=$(label "$base") b=$(label "$cur")
printf '%-20s %12s %12s %7s %14s %14s\n' "fastest, us" "$a" "$b" ratio "calls $a" "calls $b"
join <(fastest base) <(fastest cur) | while read -r name old new; do
  printf '%-20s %12.1f %12.1f %7.2f %14s %14s\n' "$name" "$old" "$new" "$(awk -v a="$old" -v b="$new" \
    'BEGIN { print b / a }')" "$(calls 0 "$name")" "$(calls 1 "$name")"
done
