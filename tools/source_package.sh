# Shared by the scripts that cross-build a library from Debian's source
# package once per build tree (tools/build_nspr.sh,
# tools/build_benchmark.sh). Sourced; the caller sets `name` (for messages)
# and `out` (the folder that receives the build) first.
#
# A finished build leaves $out/stamp holding a key of the source version and
# the build settings; while the key matches, the caller stops at once.

# Prints the newest version of source package $1 that apt knows.
source_package_version() {
  local version
  version=$(apt-cache showsrc "$1" 2>/dev/null |
            sed -n 's/^Version: //p' | sort -V | tail -n 1)
  if [ -z "$version" ]; then
    echo "$name: no source package for $1; run tools/install_deps.sh as root" >&2
    return 1
  fi
  echo "$version"
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
