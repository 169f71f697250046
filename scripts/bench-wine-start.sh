#!/usr/bin/env bash
# Measures how long a no-switch run of tavsetup.exe takes under Wine against
# a program with the same imports that creates one registry key
# (tests/bench/wine/reference_start.c), on the same warm Wine server, and
# prints both medians and their ratio. A measurement, never a test: it fails
# only when a program cannot run.
#
#   scripts/bench-wine-start.sh [RUNS] [path/to/tavsetup.exe]
#
# RUNS defaults to 30; the program defaults to the build scripts/wine-arch.sh
# picks (the i686 build in a 32-bit prefix where this machine can). The
# prefix reports Windows XP, so the tool takes its ordinary path.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}
build=$(./scripts/wine-arch.sh)
exe=$(readlink -f "${2:-build/win-$build/tavsetup.exe}")
[ -f "$exe" ] || { echo "no such program: $exe (build the Windows target first)" >&2; exit 1; }
eval "$(./scripts/wine-arch.sh env "$exe")"

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINELOADER="$WINE_LOADER" WINEARCH="$WINE_PREFIX_ARCH"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
finish() {
  timeout -k 5 30 "$WINE_SERVER" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

"$WINE_BUILD-w64-mingw32-gcc" -O2 -s -mwindows -o "$work/reference.exe" tests/bench/wine/reference_start.c \
  -ladvapi32 -luser32 -lgdi32
cp "$WINE_EXE" "$work/tavsetup.exe"
timeout -k 5 180 "$WINE_LOADER" wineboot -i >/dev/null 2>&1
# A persistent server of its own, started once the one wineboot used has gone.
timeout -k 5 60 "$WINE_SERVER" -w >/dev/null 2>&1 || true
"$WINE_SERVER" -p120 >/dev/null 2>&1
timeout -k 5 60 "$WINE_LOADER" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1

# Seconds one run of the program takes, as a decimal.
run_once() {
  local start end
  start=$(date +%s%N)
  timeout -k 5 60 "$WINE_LOADER" "$1" </dev/null >/dev/null 2>&1 || { echo "error: $1 failed" >&2; return 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One warm-up run of each, then the two programs in turn, each going first
# every other round, so that both see the same server and the same caches.
run_once "$work/reference.exe" >/dev/null
run_once "$work/tavsetup.exe" >/dev/null
: >"$work/reference.times"
: >"$work/tavsetup.times"
for round in $(seq "$runs"); do
  if [ $((round % 2)) -eq 1 ]; then
    run_once "$work/reference.exe" >>"$work/reference.times"
    run_once "$work/tavsetup.exe" >>"$work/tavsetup.times"
  else
    run_once "$work/tavsetup.exe" >>"$work/tavsetup.times"
    run_once "$work/reference.exe" >>"$work/reference.times"
  fi
done
timeout -k 5 60 "$WINE_LOADER" reg query 'HKLM\Software\Zelmar\TavarinApp' >/dev/null 2>&1 ||
  { echo "error: tavsetup.exe did not create its key" >&2; exit 1; }

reference=$(median <"$work/reference.times")
tool=$(median <"$work/tavsetup.times")
echo "Wine start-up, $WINE_BUILD build in a $WINE_PREFIX_ARCH prefix, median of $runs runs each:"
awk -v r="$reference" -v t="$tool" 'BEGIN {
  printf "  reference (same imports, one key) %8.1f ms\n", r / 1000
  printf "  tavsetup.exe, no switch           %8.1f ms\n", t / 1000
  printf "  ratio                             %8.2f\n", t / r
}'
