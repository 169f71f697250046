#!/usr/bin/env bash
# Runs the x86_64 Windows build of the tool under Wine (64-bit) in a private
# prefix and checks what it leaves behind. Every wait is bounded.
set -euo pipefail
exe=$(readlink -f "$1")

work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64 WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not make a prefix"
wineserver -p >/dev/null 2>&1 || true

set_version() { "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1; }

# With no switch, on Windows XP: no window, a prompt exit, and the
# utility's key in the registry.
set_version winxp
"$wine" reg delete 'HKLM\Software\Zelmar' /f >/dev/null 2>&1 || true
set +e
timeout 60 "$wine" "$exe"
rc=$?
set -e
[ $rc -eq 124 ] && fail "tavsetup.exe with no switch did not exit within 60 s"
[ $rc -eq 0 ] || fail "tavsetup.exe with no switch exited with $rc"
"$wine" reg query 'HKLM\Software\Zelmar\TavarinApp' >/dev/null 2>&1 || fail "HKLM\\Software\\Zelmar\\TavarinApp is missing"
pass "no switch on winxp: exits at once and creates HKLM\\Software\\Zelmar\\TavarinApp"
