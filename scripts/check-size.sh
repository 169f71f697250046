#!/usr/bin/env bash
# Prints the size of each Windows build of tavsetup.exe as shipped (the build
# strips it; its debug information is in tavsetup.dbg beside it) and fails
# when the shipped i686 program is larger than 300 KB (307,200 bytes).
#
#   scripts/check-size.sh build/win-i686/tavsetup.exe [build/win-x86_64/tavsetup.exe]
set -euo pipefail
limit=$((300 * 1024))
[ $# -ge 1 ] || { echo "usage: $0 build/win-i686/tavsetup.exe [more exes...]" >&2; exit 2; }
bad=0
for exe in "$@"; do
  size=$(stat -c %s "$exe")
  debug="${exe%.exe}.dbg"
  debug_size=$([ -f "$debug" ] && stat -c %s "$debug" || echo 0)
  printf '%-36s %8d bytes (%d KB) shipped; debug information apart: %d bytes\n' \
    "$exe" "$size" $(((size + 1023) / 1024)) "$debug_size"
  case "$exe" in
    *win-i686*)
      if [ "$size" -gt "$limit" ]; then
        echo "error: $exe is $size bytes, more than the $limit bytes (300 KB) the shipped program may take" >&2
        bad=1
      fi
      ;;
  esac
done
exit $bad
