#!/usr/bin/env bash
# Creates the private Wine prefix on first use and starts a persistent
# wineserver, so that each test program starts in a fraction of a second.
# "tools/wine_setup.sh stop" ends the server.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

if [ "${1:-}" = stop ]; then
  "$KELVO_WINESERVER" -k 2>/dev/null || true
  exit 0
fi

# Wine's service processes inherit standard handles and descriptors: keep
# them on /dev/null and away from the lock, or a pipe reading our output never
# sees its end and the lock is never released. The lock keeps two test
# programs that both find no prefix from making it at once.
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.kelvo-ready" ]; then
  "$KELVO_WINE64" wineboot --init </dev/null >/dev/null 2>&1 9>&-
  # The null graphics driver gives hidden top-level windows, so FindWindowW
  # and ShowWindow work without an X display.
  "$KELVO_WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    </dev/null >/dev/null 2>&1 9>&-
  # A crashing test program ends like one on a machine without a crash
  # dialog: the debugger prints its report and the process goes away,
  # instead of waiting for someone to click an invisible dialog.
  "$KELVO_WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&-
  "$KELVO_WINESERVER" -w 9>&-
  touch "$WINEPREFIX/.kelvo-ready"
fi
exec 9>&-
"$KELVO_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
"$KELVO_WINE64" wineboot </dev/null >/dev/null 2>&1
