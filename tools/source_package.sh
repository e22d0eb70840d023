# Shared by the scripts that cross-build a library from Debian's source
# package once per build tree (tools/build_nspr.sh,
# tools/build_benchmark.sh). Sourced; the caller sets `name` (for messages)
# and `out` (the folder that receives the build) first.
#
# A finished build leaves $out/stamp holding a key of the source version,
# the compiler's version, the build settings and the scripts themselves;
# while the key matches, the caller stops at once.

# Sets source_version to the newest version of source package $1 that apt
# knows. When apt knows none (its lists were cleaned, say), a finished build
# in $out is kept as it is and the script ends; without one, it fails.
find_source_version() {
  source_version=$(apt-cache showsrc "$1" 2>/dev/null |
                   sed -n 's/^Version: //p' | sort -V | tail -n 1)
  [ -n "$source_version" ] && return
  if [ -f "$out/stamp" ]; then
    echo "$name: apt knows no source package for $1; keeping the build in $out" >&2
    exit 0
  fi
  echo "$name: no source package for $1; run tools/install_deps.sh as root" >&2
  exit 1
}

# The part of a stamp's key that names the compiler for target triple $1
# and the scripts that build with it: a change to either builds anew.
toolchain_key() {
  local compiler scripts
  compiler=$("$1-g++-posix" -dumpfullversion)
  scripts=$(cat "$0" "${BASH_SOURCE[0]}" | sha256sum | cut -c1-16)
  echo "$1 g++ $compiler scripts $scripts"
}

# True when $out holds a finished build stamped with key $1.
build_is_current() {
  [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$1" ]
}

# Empties $out and unpacks source package $1 at version $2 under $work;
# from here on $log collects the build's output.
start_build() {
  started=$SECONDS
  rm -rf "$out"
  work=$out/work
  log=$out/build.log
  mkdir -p "$work"
  (cd "$work" && apt-get source "$1=$2") >"$log" 2>&1 ||
    fail "fetching the source package"
}

fail() {
  echo "$name: $1 failed; the last lines of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}

# Removes the work folder and stamps $out with key $1.
finish_build() {
  rm -rf "$work"
  echo "$1" >"$out/stamp"
  echo "$name: done in $((SECONDS - started)) s"
}
