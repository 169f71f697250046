#!/usr/bin/env bash
# Checks that a Windows build of the tool imports Windows system DLLs only:
# no C++ run-time, no framework DLL, and never "newdev" (looked up at run
# time where Windows has it).
set -euo pipefail
arch=$1
exe=$2
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SETUPAPI|CFGMGR32|SHELL32|SHLWAPI|MSVCRT)\.DLL$'
imports=$("${arch}-w64-mingw32-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
bad=0
for dll in $imports; do
  if ! printf '%s\n' "$dll" | tr '[:lower:]' '[:upper:]' | grep -Eq "$allowed"; then
    echo "error: $exe imports $dll, which is not a Windows system DLL the tool may depend on" >&2
    bad=1
  fi
done
subsystem=$("${arch}-w64-mingw32-objdump" -p "$exe" | sed -n 's/^Subsystem[[:space:]]*//p')
case "$subsystem" in
  *"Windows GUI"*) ;;
  *) echo "error: $exe is not a GUI-subsystem program ($subsystem)" >&2; bad=1 ;;
esac
[ $bad -eq 0 ] && echo "$exe imports: $(echo $imports)"
exit $bad
