#!/usr/bin/env bash
# Cross-builds the benchmark library for one Windows target from Debian's
# source package (with Debian's patches applied) and installs it, with its
# CMake package files, under OUT.
# Usage: build_benchmark.sh TOOLCHAIN_FILE OUT
#
# The CMake configure runs this once per build tree; while the build in OUT
# is current (the same source version, compiler and scripts) it returns at
# once.
# Needs the deb-src entries that tools/install_deps.sh sets up; fetches
# nothing but the source package.
set -euo pipefail
name=build_benchmark
toolchain=$1
out=$2
source "$(dirname "${BASH_SOURCE[0]}")/source_package.sh"

find_source_version benchmark
key="benchmark $source_version $(toolchain_key "$(basename "$toolchain" .cmake)")"
build_is_current "$key" && exit 0

echo "build_benchmark: building the benchmark library $source_version ($(basename "$toolchain" .cmake))"
start_build benchmark "$source_version"
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

finish_build "$key"
