#!/usr/bin/env bash
# Cross-builds the benchmark library for one Windows target from Debian's
# source package (with Debian's patches applied) and installs it, with its
# CMake package files, under OUT.
# Usage: build_benchmark.sh TOOLCHAIN_FILE OUT
#
# The CMake configure runs this once per build tree. A finished build leaves
# OUT/stamp naming the source version and the toolchain; while that matches,
# the script returns at once. Needs the deb-src entries that
# tools/install_deps.sh sets up; fetches nothing but the source package.
set -euo pipefail
toolchain=$1
out=$2

source_version=$(apt-cache showsrc benchmark 2>/dev/null |
                 sed -n 's/^Version: //p' | sort -V | tail -n 1)
if [ -z "$source_version" ]; then
  echo "build_benchmark: no source package for benchmark; run tools/install_deps.sh as root" >&2
  exit 1
fi
key="benchmark $source_version $(basename "$toolchain")"
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$key" ]; then
  exit 0
fi

echo "build_benchmark: building the benchmark library $source_version ($(basename "$toolchain" .cmake))"
started=$SECONDS
rm -rf "$out"
work=$out/work
mkdir -p "$work"
log=$out/build.log
fail() {
  echo "build_benchmark: $1 failed; the last lines of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}

(cd "$work" && apt-get source "benchmark=$source_version") >"$log" 2>&1 ||
  fail "fetching the source package"
source_dir=$(find "$work" -mindepth 2 -maxdepth 2 -name CMakeLists.txt \
             -printf '%h\n' | head -n 1)
[ -n "$source_dir" ] || fail "finding the unpacked source"

# Debian's patches drop the version lookup through git, so the version is
# given. The library runs inside our statically linked programs.
upstream_version=${source_version%%-*}
cmake -S "$source_dir" -B "$work/build" -G Ninja \
  --toolchain "$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$out" \
  -DBENCHMARK_ENABLE_TESTING=OFF \
  -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
  -DBENCHMARK_ENABLE_INSTALL=ON \
  -DBENCHMARK_INSTALL_DOCS=OFF \
  -DBUILD_SHARED_LIBS=OFF \
  -DBENCHMARK_ENABLE_LTO=OFF \
  -DBENCHMARK_ENABLE_WERROR=OFF \
  -DGIT_VERSION="$upstream_version" >>"$log" 2>&1 || fail "configure"
cmake --build "$work/build" -j2 >>"$log" 2>&1 || fail "build"
cmake --install "$work/build" >>"$log" 2>&1 || fail "install"

rm -rf "$work"
echo "$key" >"$out/stamp"
echo "build_benchmark: done in $((SECONDS - started)) s"
