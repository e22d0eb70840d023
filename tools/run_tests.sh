#!/usr/bin/env bash
# Builds both architectures and runs every test under Wine. Starts from a
# fresh Debian 12 machine: installs what is missing first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
tools/install_deps.sh

# 32-bit Windows programs need 32-bit Wine, which needs a kernel that runs
# 32-bit Linux programs; some 64-bit-only hosts do not.
run_i686=ON
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_i686=OFF
  echo "run_tests: this machine cannot run 32-bit programs; the i686 build" \
       "is built and its images checked, its test programs are not run."
fi

cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64
cmake --preset i686 -DKELVO_RUN_WINDOWS_TESTS=$run_i686 >/dev/null
cmake --build --preset i686

tools/wine_setup.sh
trap 'tools/wine_setup.sh stop' EXIT

status=0
ctest --preset i686 || status=1
ctest --preset x86_64 || status=1
exit $status
