#!/usr/bin/env bash
# Has a page writer write an HTML report page for a query and names that
# carry a script, shows it in headless Firefox and checks the screenshot: the
# text is drawn, and the script (which would paint the page red) never ran.
# The same page with its escapes undone must come out red, which shows that
# this browser runs such a script and that the check would see it.
# Usage: check_html_page.sh ARCH WRITER
# WRITER is a Windows program that takes the output file as its argument
# (histogram_page, objects_page). With KELVO_SCREENSHOT_DIR set, both
# screenshots are kept there, named after the writer.
set -euo pipefail
arch=$1
writer=$2
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$tools/wine_env.sh"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

if ! "$tools/wine_run.sh" "$arch" "$writer" "Z:$folder/page.html" \
     >"$folder/writer.log" 2>&1 || [ ! -s "$folder/page.html" ]; then
  echo "$(basename "$writer") wrote no page" >&2
  cat "$folder/writer.log" >&2
  exit 1
fi
sed -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&quot;/"/g' -e 's/&amp;/\&/g' \
  "$folder/page.html" >"$folder/control.html"

# Each run gets a fresh profile and home, and every way out to the network
# leads to a closed local port.
screenshot() {
  local page=$1 png=$2
  local run
  run=$(mktemp -d "$folder/firefox.XXXXXX")
  mkdir "$run/home" "$run/profile"
  cat >"$run/profile/user.js" <<'PREFS'
user_pref("network.proxy.type", 1);
user_pref("network.proxy.http", "127.0.0.1");
user_pref("network.proxy.http_port", 9);
user_pref("network.proxy.ssl", "127.0.0.1");
user_pref("network.proxy.ssl_port", 9);
user_pref("network.proxy.socks", "127.0.0.1");
user_pref("network.proxy.socks_port", 9);
user_pref("network.proxy.no_proxies_on", "");
user_pref("network.trr.mode", 5);
user_pref("network.dns.disablePrefetch", true);
user_pref("network.prefetch-next", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("app.update.auto", false);
user_pref("app.update.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("browser.search.update", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("extensions.getAddons.cache.enabled", false);
user_pref("media.gmp-manager.url", "");
user_pref("services.settings.server", "http://127.0.0.1:9/");
PREFS
  if ! HOME="$run/home" MOZ_CRASHREPORTER_DISABLE=1 timeout 60 \
       firefox-esr --headless --no-remote --profile "$run/profile" \
       --window-size=1000,700 --screenshot "$png" "file://$page" \
       >"$run/firefox.log" 2>&1 || [ ! -s "$png" ]; then
    echo "firefox made no screenshot of $page" >&2
    cat "$run/firefox.log" >&2
    return 1
  fi
}
screenshot "$folder/page.html" "$folder/page.png"
screenshot "$folder/control.html" "$folder/control.png"
if [ -n "${KELVO_SCREENSHOT_DIR:-}" ]; then
  name=$(basename "$writer" .exe)
  cp "$folder/page.png" "$KELVO_SCREENSHOT_DIR/$name.png"
  cp "$folder/control.png" "$KELVO_SCREENSHOT_DIR/$name.control.png"
fi

# Counts the red and the dark pixels of each screenshot.
python3 - "$folder/page.png" "$folder/control.png" <<'PYTHON'
import struct
import sys
import zlib


def rows(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'{path}: not a PNG')
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            width, height, depth, color, _, _, interlace = struct.unpack(
                '>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
        elif kind == b'IEND':
            break
    if depth != 8 or color not in (2, 6) or interlace:
        sys.exit(f'{path}: unexpected PNG form {depth}/{color}/{interlace}')
    bpp = 3 if color == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    prev = bytearray(stride)
    at = 0
    for _ in range(height):
        kind = raw[at]
        line = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 255
        yield [tuple(line[x:x + 3]) for x in range(0, stride, bpp)]
        prev = line


def census(path):
    red = dark = total = 0
    for row in rows(path):
        for r, g, b in row:
            total += 1
            if r > 200 and g < 80 and b < 80:
                red += 1
            elif r < 110 and g < 110 and b < 110:
                dark += 1
    return red, dark, total


page_red, page_dark, page_total = census(sys.argv[1])
control_red, _, control_total = census(sys.argv[2])
status = 0
if control_red < control_total // 2:
    print(f'the unescaped page did not turn red ({control_red} of '
          f'{control_total} pixels): the check cannot see a script run')
    status = 1
if page_red:
    print(f'the escaped page has {page_red} red pixels: its script ran')
    status = 1
if page_dark < 2000:
    print(f'the escaped page shows almost no text ({page_dark} dark pixels)')
    status = 1
if status == 0:
    print(f'page drawn as text ({page_dark} dark pixels, none red); the '
          f'unescaped copy ran its script ({control_red} red pixels)')
sys.exit(status)
PYTHON
