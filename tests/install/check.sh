#!/usr/bin/env bash
# Installs a configured and built tree into a scratch prefix, checks that the
# installed headers declare nothing the library does not export, and builds
# against it the consumer program twice, through the CMake package
# (find_package(kivo)) and through pkg-config, and the example programs
# through the CMake package. All must run cleanly.
#   bash tests/install/check.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
tree=$(cd "$(dirname "$0")/../.." && pwd)
scratch="$build/install-check"
rm -rf "$scratch"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

# A sanitized library needs its runtime in the program too.
flags=""
if grep -q '^KIVO_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  flags="-fsanitize=address,undefined"
fi
lib=$(ls -d "$prefix"/lib*/ | head -1)
test -L "$lib/libkivo.so" && test -f "$prefix/share/kivo/bag/ISO19139/smXML/metadataEntity.xsd"
readelf -d "$lib/libkivo.so" | grep -q 'SONAME.*libkivo\.so\.[0-9]'

echo "== exported symbols"
# Nothing that the CUBE engine or the BAG and PFM access code defines.
inside=$(find "$build/CMakeFiles" \( -path '*/kivo_cube_engine.dir/*' -o -path '*/formats/bag/Bag*' \
              -o -path '*/formats/pfm/pfm_*' \) -name '*.o')
# shellcheck disable=SC2086
nm --defined-only $inside | awk 'NF == 3 && $2 ~ /[TDBR]/ {print $3}' | sort -u >"$scratch/inside.txt"
nm -D --defined-only "$lib/libkivo.so" | awk '{print $3}' | sort -u >"$scratch/exported.txt"
if comm -12 "$scratch/inside.txt" "$scratch/exported.txt" | grep .; then
  echo "engine or access-library names exported" >&2
  exit 1
fi
echo "$(wc -l <"$scratch/exported.txt") names exported, none of the engine or the access libraries"

echo "== installed headers"
bash "$tree/tests/install/declared-exported.sh" "$prefix/include/kivo" "$lib/libkivo.so"

echo "== add_subdirectory of the tree"
cmake -S "$tree/tests/install/subproject" -B "$scratch/subproject" -DKIVO_TREE="$tree" >/dev/null

echo "== consumer through find_package(kivo)"
cmake -S "$tree/tests/install/consumer" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
      -DKIVO_TESTS_DIR="$tree/tests" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
mkdir -p "$scratch/run-cmake"
"$scratch/cmake/consumer" "$scratch/run-cmake" >"$scratch/run-cmake.log" || { cat "$scratch/run-cmake.log"; exit 1; }
grep '^ok\|^FAILED' "$scratch/run-cmake.log"

echo "== examples through find_package(kivo)"
cmake -S "$tree/examples" -B "$scratch/examples" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$scratch/examples" >/dev/null
mkdir -p "$scratch/run-example"
"$scratch/examples/surface_example" "$scratch/run-example" >"$scratch/run-example.log" ||
  { cat "$scratch/run-example.log"; exit 1; }
grep '^CUBE' "$scratch/run-example.log"

echo "== consumer through pkg-config kivo"
export PKG_CONFIG_PATH="$lib/pkgconfig"
mkdir -p "$scratch/run-pc"
# shellcheck disable=SC2046
c++ -std=c++17 $flags -I"$tree/tests/install/consumer" -I"$tree/tests/formats/bag" "$tree/tests/install/consumer/consumer.cpp" \
    -o "$scratch/consumer-pc" $(pkg-config --cflags --libs kivo) $(pkg-config --cflags --libs hdf5 zlib) \
    -Wl,-rpath,"$(pkg-config --variable=libdir kivo)"
"$scratch/consumer-pc" "$scratch/run-pc" >"$scratch/run-pc.log" || { cat "$scratch/run-pc.log"; exit 1; }
grep '^ok\|^FAILED' "$scratch/run-pc.log"
echo "install check passed"
