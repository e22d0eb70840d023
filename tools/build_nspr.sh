#!/usr/bin/env bash
# Cross-builds NSPR's static library for one Windows target from Debian's
# source package and installs its headers and library under OUT:
#   OUT/include/nspr/*.h   OUT/lib/libnspr4_s.a
# Usage: build_nspr.sh TRIPLE OUT   (TRIPLE: i686-w64-mingw32 or x86_64-w64-mingw32)
#
# The CMake configure runs this once per build tree. A finished build leaves
# OUT/stamp naming the source version and the build settings; while that
# matches, the script returns at once, so reconfiguring and repeated test
# runs never rebuild. Needs the deb-src entries and the packages that
# tools/install_deps.sh sets up; fetches nothing but the source package.
set -euo pipefail
name=build_nspr
triple=$1
out=$2
source "$(dirname "${BASH_SOURCE[0]}")/source_package.sh"

case "$triple" in
  i686-w64-mingw32) arch_flags=() ;;
  x86_64-w64-mingw32) arch_flags=(--enable-64bit) ;;
  *) echo "build_nspr: unknown target $triple" >&2; exit 1 ;;
esac
configure_flags=(--target="$triple" --enable-win32-target=WIN95
                 --enable-optimize=-O2 --disable-debug "${arch_flags[@]}")

find_source_version nspr
key="nspr $source_version ${configure_flags[*]} $(toolchain_key "$triple")"
build_is_current "$key" && exit 0

echo "build_nspr: building NSPR $source_version for $triple (a minute or two)"
start_build nspr "$source_version"
mkdir -p "$work/build" "$out/include" "$out/lib"
source_dir=$(find "$work" -mindepth 3 -maxdepth 3 -path '*/nspr/configure' \
             -printf '%h\n' | head -n 1)
[ -n "$source_dir" ] || fail "finding the unpacked source"

# The library runs inside our programs, which link the compiler runtime
# statically.
(cd "$work/build" &&
   LDFLAGS=-static-libgcc "$source_dir/configure" "${configure_flags[@]}") \
  >>"$log" 2>&1 || fail "configure"
# Only the core library is needed: config/ makes the build tools and the
# generated headers, pr/ the library itself.
(cd "$work/build" && make -j2 -C config && make -j2 -C pr) >>"$log" 2>&1 ||
  fail "make"

# The build's dist/ folder links to the source tree, which goes away.
cp -RL "$work/build/dist/include/nspr" "$out/include/"
cp -L "$work/build/dist/lib/libnspr4_s.a" "$out/lib/"
# The objects of the static library still carry the DLL build's export
# directives; without them a program that links the library does not export
# NSPR's functions as its own.
"$triple-objcopy" --remove-section=.drectve "$out/lib/libnspr4_s.a"

finish_build "$key"
