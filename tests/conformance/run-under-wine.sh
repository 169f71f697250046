#!/usr/bin/env bash
# Runs the conformance tests (the Windows build, conformance.exe) under Wine
# in a private prefix, once per Windows version the tests need: the tests
# that ask for Windows XP with the prefix set to winxp, and each version query
# with the prefix set to its version. The i686 build runs in a 32-bit prefix
# (no registry redirection, 32-bit pointers); where this machine cannot run
# 32-bit programs, the x86_64 build beside it runs in a 64-bit prefix, and
# the output says so (scripts/wine-arch.sh chooses). The emulator runs the
# same tests through CTest. Every wait is bounded; the exit status is
# non-zero when any run fails.
#
#   tests/conformance/run-under-wine.sh build/win-i686/tests/conformance/conformance.exe
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 <conformance.exe>" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
choice=$("$here/../../scripts/wine-arch.sh" env "$(readlink -f "$1")") || exit 1
eval "$choice"
exe=$WINE_EXE
wine=$WINE_LOADER
if [ ! -x "$wine" ]; then
  echo "FAIL: $wine not found (scripts/setup-debian.sh installs Wine)" >&2
  exit 1
fi
echo "==== the $WINE_BUILD build ($exe) in a $WINE_PREFIX_ARCH prefix"

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINELOADER="$wine" WINEARCH="$WINE_PREFIX_ARCH" WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  timeout 30 "$WINE_SERVER" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

started=$(date +%s)
if ! timeout 180 "$wine" wineboot -i >/dev/null 2>&1; then
  echo "FAIL: wineboot could not make a prefix within 180 s" >&2
  exit 1
fi
# Keep the server between the runs: each later start then takes a moment.
timeout 30 "$WINE_SERVER" -p >/dev/null 2>&1 || true

# The tests of each version: the version queries are named after Wine's
# version words (Versions/VersionQuery.*/winxp); everything else runs on XP.
others=(win98 winme nt40 win2k win2003)
xp_filter="*-$(printf 'Versions/*/%s:' "${others[@]}")"
xp_filter=${xp_filter%:}

failed=()
run_version() {
  local version=$1 filter=$2 rc=0
  if ! timeout 60 "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1; then
    echo "FAIL: could not set the prefix to $version" >&2
    failed+=("$version")
    return
  fi
  echo "==== conformance tests under Wine, Windows version $version"
  TAV_CONFORMANCE_WINDOWS=$version timeout 300 "$wine" "$exe" --gtest_filter="$filter" --gtest_color=no || rc=$?
  if [ $rc -eq 124 ]; then
    echo "FAIL: conformance.exe on $version did not finish within 300 s" >&2
    failed+=("$version")
  elif [ $rc -ne 0 ]; then
    echo "FAIL: conformance.exe on $version exited with $rc" >&2
    failed+=("$version")
  fi
}

run_version winxp "$xp_filter"
for version in "${others[@]}"; do
  run_version "$version" "Versions/*/$version"
done

echo "==== conformance under Wine took $(( $(date +%s) - started )) s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAIL: conformance tests failed under Wine on: ${failed[*]}" >&2
  exit 1
fi
echo "ok: conformance tests pass under Wine on winxp ${others[*]}"
