#!/usr/bin/env bash
# Which Wine runs the Windows build on this machine: the shipped 32-bit
# build in a 32-bit prefix (no registry redirection, 32-bit pointers, as on
# Windows 98 SE to XP) where the kernel runs 32-bit programs and 32-bit Wine
# is installed, else the x86_64 build under 64-bit Wine.
#
#   scripts/wine-arch.sh kernel-runs-32bit   status 0 when a tiny 32-bit
#                                            Linux program runs here
#   scripts/wine-arch.sh                     prints "i686" or "x86_64"
#   scripts/wine-arch.sh env EXE             prints shell assignments for
#       the program to run in place of EXE and the Wine that runs it:
#       WINE_EXE, WINE_BUILD (i686 | x86_64), WINE_LOADER, WINE_SERVER,
#       WINE_PREFIX_ARCH (win32 | win64). A 32-bit EXE that cannot run here
#       is replaced by its x86_64 twin (the same path with win-x86_64 for
#       win-i686), with a note on standard error; status 1 when there is none.
#
# The suites (tests/wine/run.sh, tests/conformance/run-under-wine.sh) and
# scripts/test.sh ask this script, so they agree on the choice.
set -u

# TAV_WINE32_LOADER=/nonexistent tries the fallback on a machine that has 32-bit Wine.
WINE32_LOADER=${TAV_WINE32_LOADER:-/usr/lib/wine/wine}

# A complete 32-bit x86 Linux program of 93 bytes: one loadable segment whose
# code is exit(42). An exit status of 42 proves that it ran; a kernel without
# 32-bit support refuses it ("Exec format error").
kernel_runs_32bit() {
  local dir status
  dir=$(mktemp -d) || return 1
  {
    # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
    # Program header: PT_LOAD of the whole file at 0x08048000, read + execute.
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
    printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'
    # xor ebx,ebx; xor eax,eax; inc eax; mov bl,42; int 0x80
    printf '\061\333\061\300\100\263\052\315\200'
  } >"$dir/probe"
  chmod +x "$dir/probe"
  "$dir/probe" 2>/dev/null
  status=$?
  rm -rf "$dir"
  [ $status -eq 42 ]
}

# The machine a PE file is built for: i686 or x86_64 (empty when unknown).
pe_machine() {
  local offset machine
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 0
  machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
  esac
}

can_run_32bit() { [ -x "$WINE32_LOADER" ] && kernel_runs_32bit; }

print_env() {
  local exe=$1 build
  build=$(pe_machine "$exe")
  if [ "$build" = i686 ] && ! can_run_32bit; then
    local twin=${exe/win-i686/win-x86_64}
    if [ "$twin" = "$exe" ] || [ "$(pe_machine "$twin")" != x86_64 ]; then
      echo "error: $exe is a 32-bit program, this machine cannot run 32-bit Wine, and there is no x86_64 build beside it" >&2
      return 1
    fi
    echo "note: this machine cannot run 32-bit programs (or has no 32-bit Wine): running the x86_64 build $twin instead" >&2
    exe=$twin
    build=x86_64
  fi
  case "$build" in
    i686)
      printf 'WINE_EXE=%q WINE_BUILD=i686 WINE_LOADER=%q WINE_SERVER=%q WINE_PREFIX_ARCH=win32\n' \
        "$exe" "$WINE32_LOADER" "$(server_for 32)"
      ;;
    x86_64)
      printf 'WINE_EXE=%q WINE_BUILD=x86_64 WINE_LOADER=%q WINE_SERVER=%q WINE_PREFIX_ARCH=win64\n' \
        "$exe" /usr/lib/wine/wine64 "$(server_for 64)"
      ;;
    *) echo "error: $exe is not a Windows i686 or x86_64 program" >&2; return 1 ;;
  esac
}

server_for() {
  if [ -x "/usr/lib/wine/wineserver$1" ]; then echo "/usr/lib/wine/wineserver$1"; else command -v wineserver; fi
}

case "${1:-}" in
  env) [ $# -eq 2 ] || { echo "usage: $0 env EXE" >&2; exit 2; }; print_env "$2" ;;
  kernel-runs-32bit) kernel_runs_32bit ;;
  "")
    if can_run_32bit; then echo i686; else echo x86_64; fi
    ;;
  *) echo "usage: $0 [kernel-runs-32bit | env EXE]" >&2; exit 2 ;;
esac
