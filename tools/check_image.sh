#!/usr/bin/env bash
# Checks a built program or module the way Windows will see it, without
# running it. Usage:
#   check_image.sh TRIPLE FILE [--gui-exe] [--export NAME]...
# Always: the image is for TRIPLE's machine and imports no compiler runtime
# DLL (everything is linked statically). --gui-exe: GUI subsystem, with the
# icon, the version block and a manifest that asks for no elevation and
# binds common controls v6. --export NAME: NAME is exported undecorated.
set -euo pipefail
triple=$1
file=$2
shift 2
fail() { echo "check_image: $file: $*" >&2; exit 1; }

headers=$("$triple-objdump" -p "$file")
case "$triple" in
  i686-*) magic='010b' ;;
  *) magic='020b' ;;
esac
grep -Eq "^Magic[[:space:]]+$magic" <<<"$headers" || fail "not a $triple image"
if grep -Ei 'DLL Name: (libgcc|libstdc|libwinpthread)' <<<"$headers"; then
  fail "imports a compiler runtime DLL"
fi

while [ $# -gt 0 ]; do
  case "$1" in
    --gui-exe)
      grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" ||
        fail "not a GUI-subsystem program"
      resources=$("$triple-windres" -i "$file" -O rc)
      for type in RT_ICON RT_GROUP_ICON RT_MANIFEST; do
        grep -q "/\* $type \*/" <<<"$resources" || fail "no $type resource"
      done
      grep -q 'Type: version' <<<"$resources" || fail "no version block"
      rsrc=$(mktemp)
      trap 'rm -f "$rsrc"' EXIT
      "$triple-objcopy" -O binary --only-section=.rsrc "$file" "$rsrc"
      manifest=$(tr -d '\0' <"$rsrc" | tr '\r\n' '  ' |
        grep -ao '<assembly.*</assembly>' || true)
      rm -f "$rsrc"
      grep -q 'level="asInvoker"' <<<"$manifest" || fail "manifest lacks asInvoker"
      grep -Eq 'name="Microsoft.Windows.Common-Controls"[[:space:]]+version="6.0.0.0"' \
        <<<"$manifest" || fail "manifest lacks common controls v6"
      shift
      ;;
    --export)
      awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {on=0}
           on {print $NF}' <<<"$headers" | grep -qx "$2" ||
        fail "does not export $2 undecorated"
      shift 2
      ;;
    *) fail "unknown option $1" ;;
  esac
done
echo "check_image: $file: ok"
