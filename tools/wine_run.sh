#!/usr/bin/env bash
# Runs one Windows program under the private Wine prefix: the emulator that
# CTest puts in front of every test binary. Usage: wine_run.sh ARCH PROGRAM [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"
arch=$1
shift
[ -f "$WINEPREFIX/.kelvo-ready" ] || "$kelvo_root/tools/wine_setup.sh"
case "$arch" in
  x86_64) wine=$KELVO_WINE64 ;;
  *) wine=$KELVO_WINE32 ;;
esac
[ -t 1 ] && exec "$wine" "$@"

# Output that goes to a pipe (a test runner's) is collected in a file and
# passed on at the end. The first program that opens a window starts Wine's
# desktop process, which inherits that program's output and lives on while
# other programs use the desktop: holding the runner's pipe, it would make
# the runner wait for it long after the program ended.
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0
"$wine" "$@" >"$output" 2>&1 || status=$?
cat "$output"
# A program that fails before it writes anything leaves no clue otherwise.
if [ $status -ne 0 ] && [ ! -s "$output" ]; then
  echo "wine_run.sh: $* ended with status $status and wrote nothing" >&2
fi
exit $status
