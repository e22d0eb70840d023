#!/usr/bin/env bash
# Runs one Windows program under the private Wine prefix: the emulator that
# CTest puts in front of every test binary. Usage: wine_run.sh ARCH PROGRAM [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"
arch=$1
shift
[ -f "$WINEPREFIX/.kelvo-ready" ] || "$kelvo_root/tools/wine_setup.sh"
case "$arch" in
  x86_64) exec "$KELVO_WINE64" "$@" ;;
  *) exec "$KELVO_WINE32" "$@" ;;
esac
