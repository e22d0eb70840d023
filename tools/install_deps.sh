#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12
# machine. Run as root; safe to run again (it does nothing when all is there).
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 wine32:i386 cmake ninja-build googletest
  # NSPR is cross-built from Debian's source package (tools/build_nspr.sh):
  # apt-get source unpacks it with dpkg-dev, and its build runs a small
  # host tool made with the native compiler.
  dpkg-dev gcc make
  # Real readers of our crash dumps, for the tests that open one.
  lldb wine64-tools
  # A real browser shows the HTML report pages in their test, and Python
  # reads its screenshots.
  firefox-esr python3
  # Header-only Asio, the comparison in the task-loop benchmark.
  libboost-dev
  # makensis, which makes the installer KelvoSetup.exe.
  nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done

# Debian ships NSPR built for Linux only, so the build fetches its source
# package; that needs the deb-src entries of the Debian archive.
need_sources=0
apt-cache showsrc nspr >/dev/null 2>&1 || need_sources=1

[ ${#missing[@]} -eq 0 ] && [ $need_sources -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  [ ${#missing[@]} -eq 0 ] || echo "install_deps: missing packages (${missing[*]})" >&2
  [ $need_sources -eq 0 ] || echo "install_deps: no deb-src entries for Debian's source packages" >&2
  echo "install_deps: run as root" >&2
  exit 1
fi

# Adds deb-src twins of the Debian archive's deb entries, in a file of our
# own, unless some deb-src entry is already there.
enable_source_entries() {
  local sources=/etc/apt/sources.list.d/kelvo-deb-src.sources
  local lists=/etc/apt/sources.list.d/kelvo-deb-src.list
  if grep -rqsE '^(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list \
       /etc/apt/sources.list.d/; then
    return
  fi
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$sources"
  fi
  if [ -f /etc/apt/sources.list ] && grep -qE '^deb[[:space:]]' /etc/apt/sources.list; then
    sed -n -e 's/^deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$lists"
  fi
}

export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
[ $need_sources -eq 0 ] || enable_source_entries
apt-get update -qq
[ ${#missing[@]} -eq 0 ] ||
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
