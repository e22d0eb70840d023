#!/usr/bin/env bash
# Shows the report fields of a Kelvo.exe dump end to end: a renderer process
# whose sample module sets a URL of 600 characters and asks for a dump, and
# tools/print_report_fields.py reading the dump's report-fields stream: the
# module's product and version, the process type, and the URL's first 504
# characters in eight chunks of 63. The tool also refuses a file that is not
# a dump.
# Usage: check_report_fields.sh ARCH KELVO_EXE ORVANE_DLL
set -euo pipefail
arch=$1
kelvo=$2
module=$3
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$tools/wine_env.sh"
case "$arch" in
  x86_64) wine=$KELVO_WINE64 ;;
  *) wine=$KELVO_WINE32 ;;
esac
[ -f "$WINEPREFIX/.kelvo-ready" ] || "$tools/wine_setup.sh"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir -p "$folder/kelvo/runtime" "$folder/temp"
cp "$kelvo" "$folder/kelvo/Kelvo.exe"
cp "$module" "$folder/kelvo/runtime/Orvane.dll"

# Wine gives every process the prefix's own TMP and TEMP, whatever the
# Unix environment holds, so the dump folder is set inside the Windows
# environment. The folder holds no blanks: mktemp's names have none.
windows_folder="Z:${folder//\//\\}"
"$wine" cmd /c "set TMP=$windows_folder\\temp&& set TEMP=$windows_folder\\temp&& $windows_folder\\kelvo\\Kelvo.exe --type=renderer --close-after-ms=0 --url-length=600 --dump-process" \
  >"$folder/kelvo.log" 2>&1 || true

dumps=("$folder/temp"/*.dmp)
if [ ! -f "${dumps[0]}" ] || [ ${#dumps[@]} -ne 1 ]; then
  echo "expected one dump in the temporary folder, found: ${dumps[*]}" >&2
  cat "$folder/kelvo.log" >&2
  exit 1
fi

# The sample module's URL: "https://kelvo.test/", then letters and digits
# over and over.
expected=$(python3 - <<'PYTHON'
fill = "abcdefghijklmnopqrstuvwxyz0123456789"
url = "https://kelvo.test/"
while len(url) < 600:
    url += fill[(len(url) - 19) % 36]
print("ver: 0.9.2.7-devel\nprod: Orvane\nplat: Win32\nptype: renderer")
for chunk in range(8):
    print("url-chunk-%d: %s" % (chunk + 1, url[chunk * 63:(chunk + 1) * 63]))
PYTHON
)
printed=$(python3 "$tools/print_report_fields.py" "${dumps[0]}")
if [ "$printed" != "$expected" ]; then
  echo "the dump's report fields differ; printed:" >&2
  echo "$printed" >&2
  echo "expected:" >&2
  echo "$expected" >&2
  exit 1
fi

if python3 "$tools/print_report_fields.py" "$folder/kelvo/runtime/Orvane.dll" \
     >/dev/null 2>"$folder/refusal.log"; then
  echo "print_report_fields.py read a module as a dump" >&2
  exit 1
fi
echo "$printed"
