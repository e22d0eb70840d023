# Sourced by the scripts that run Windows programs: the private Wine set-up
# of this checkout. Headless, quiet, and without the Mono/Gecko installers.
kelvo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${KELVO_WINEPREFIX:-$kelvo_root/out/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
KELVO_WINE32=/usr/lib/wine/wine
KELVO_WINE64=/usr/lib/wine/wine64
KELVO_WINESERVER=/usr/lib/wine/wineserver
