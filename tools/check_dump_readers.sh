#!/usr/bin/env bash
# Has crash_child write a dump for each way of dying below, then checks that
# two real dump readers open them: lldb reads every dump's exception code
# (and stops on the faulting thread, not the main thread, for a fault on a
# std::thread), and Wine's winedump reads the access violation's code and
# lists our handler information stream.
# Usage: check_dump_readers.sh ARCH CRASH_CHILD
set -euo pipefail
arch=$1
child=$2
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$tools/wine_env.sh"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

# crash_child's mode, and the exception code that names its dump.
cases=(
  "access-violation c0000005"
  "divide-by-zero c0000094"
  "illegal-instruction c000001d"
  "thread-fault c0000005"
  "abort e04b0001"
  "uncaught-exception e04b0002"
)

# The children run side by side: each dump takes seconds under Wine. Each
# ends in its fault, so its exit code is not looked at.
for entry in "${cases[@]}"; do
  read -r mode code <<<"$entry"
  mkdir "$folder/$mode"
  "$tools/wine_run.sh" "$arch" "$child" "$mode" "Z:$folder/$mode" \
    >"$folder/$mode.log" 2>&1 &
done
wait

status=0
for entry in "${cases[@]}"; do
  read -r mode code <<<"$entry"
  dumps=("$folder/$mode"/*"$code.dmp")
  if [ ! -f "${dumps[0]}" ]; then
    echo "$mode: no dump was written" >&2
    cat "$folder/$mode.log" >&2
    status=1
    continue
  fi
  # lldb's Python helpers may be missing; its own output is what counts.
  lldb -b -c "${dumps[0]}" -o "thread list" >"$folder/$mode.lldb" 2>&1 || true
  stop=$(grep -m1 "stop reason = Exception 0x$code" "$folder/$mode.lldb" || true)
  if [ -z "$stop" ]; then
    echo "$mode: lldb did not read the exception code 0x$code:" >&2
    cat "$folder/$mode.lldb" >&2
    status=1
    continue
  fi
  if [ "$mode" = thread-fault ]; then
    main=$(sed -n 's/^main thread \([0-9]*\).*/\1/p' "$folder/$mode.log" | head -1)
    tid=$(grep -o 'tid = 0x[0-9a-f]*' <<<"$stop" | cut -d' ' -f3)
    if [ -z "$main" ] || [ -z "$tid" ] || ((tid == main)); then
      echo "$mode: lldb does not stop on the faulting thread: $stop" >&2
      status=1
    fi
  fi
done

dump=$(ls "$folder/access-violation"/*c0000005.dmp 2>/dev/null | head -1)
if [ -n "$dump" ]; then
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
fi
[ $status -ne 0 ] || echo "lldb read the exception code of all ${#cases[@]} dumps; winedump read the access violation's"
exit $status
