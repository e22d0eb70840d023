#!/usr/bin/env bash
# Has crash_child write a dump of an access violation, then checks that two
# real dump readers open it and read the exception code: lldb, and Wine's
# winedump (which also lists the user streams).
# Usage: check_dump_readers.sh ARCH CRASH_CHILD
set -euo pipefail
arch=$1
child=$2
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$tools/wine_env.sh"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
# The child ends in the fault; its exit code is the exception code.
"$tools/wine_run.sh" "$arch" "$child" access-violation "Z:$folder" \
  >"$folder/child.log" 2>&1 || true
dumps=("$folder"/*c0000005.dmp)
if [ ! -f "${dumps[0]}" ]; then
  echo "no dump was written" >&2
  cat "$folder/child.log" >&2
  exit 1
fi
dump=${dumps[0]}

status=0
# lldb's Python helpers may be missing; its own output is what counts.
lldb -b -c "$dump" -o "thread list" >"$folder/lldb.log" 2>&1 || true
if ! grep -q "stop reason = Exception 0xc0000005" "$folder/lldb.log"; then
  echo "lldb did not read the exception code:" >&2
  cat "$folder/lldb.log" >&2
  status=1
fi
winedump dump "$dump" >"$folder/winedump.log" 2>&1 || true
if ! grep -q "ExceptionCode: 0xc0000005" "$folder/winedump.log"; then
  echo "winedump did not read the exception code:" >&2
  head -50 "$folder/winedump.log" >&2
  status=1
fi
# 0x47670001, the handler information stream, which winedump does not name.
if ! grep -q "Stream \[[0-9]*\]: NIY 1197932545" "$folder/winedump.log"; then
  echo "winedump found no handler information stream" >&2
  status=1
fi
[ $status -ne 0 ] || echo "lldb and winedump read the dump's exception code"
exit $status
