#!/usr/bin/env bash
# Builds Kelvo.exe and the sample application module, lays them out as an
# installation (Kelvo.exe and debug_message.exe beside runtime/Orvane.dll,
# with the sample update program staged as runtime/updatePkg.exe.tbd), and
# starts Kelvo.exe under Wine. The sample module closes its window after a
# while, so the run ends by itself; the exit code is the module's. A
# debug.log written beside Kelvo.exe is printed at the end.
#
# Arguments are passed to Kelvo.exe after "--close-after-ms=3000", so the
# window stays 3 s unless they say otherwise (the last value of a switch
# counts) and the module returns 0 unless given --exit-code=N. A run that
# has not ended after 2 minutes is stopped. KELVO_ARCH=i686|x86_64 picks the build (default: i686
# where this machine can run 32-bit programs). KELVO_NO_UPDATE=1 stages no
# update.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
tools/install_deps.sh

arch=${KELVO_ARCH:-}
if [ -z "$arch" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=i686
  else
    arch=x86_64
    echo "run_main: this machine cannot run 32-bit programs; running the x86_64 build."
  fi
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset "$arch" &&
       cmake --build --preset "$arch" --target kelvo debug_message orvane_sample \
         updater_complete
     } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
bin=out/build/$arch/bin
install=out/install-$arch
rm -rf "$install"
mkdir -p "$install/runtime"
cp "$bin/Kelvo.exe" "$bin/debug_message.exe" "$install/"
cp "$bin/Orvane.dll" "$install/runtime/"
[ "${KELVO_NO_UPDATE:-0}" = 1 ] ||
  cp "$bin/updater_complete.exe" "$install/runtime/updatePkg.exe.tbd"

tools/wine_setup.sh
trap 'rm -f "$log"; tools/wine_setup.sh stop' EXIT
set -- --close-after-ms=3000 "$@"

echo "run_main: starting $install/Kelvo.exe $*"
status=0
timeout 120 tools/wine_run.sh "$arch" "$install/Kelvo.exe" "$@" || status=$?
echo "run_main: Kelvo.exe exited with code $status"
echo "run_main: runtime folder now holds: $(ls "$install/runtime" | tr '\n' ' ')"
[ ! -f "$install/debug.log" ] || { echo "run_main: debug.log:"; cat "$install/debug.log"; }
exit "$status"
