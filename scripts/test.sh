#!/usr/bin/env bash
# Runs every test of the project, from a fresh clone on a fresh Debian
# machine: installs what is missing, then
#   1. builds the Linux target and runs its tests (emulator and tool);
#   2. builds it again with AddressSanitizer and UndefinedBehaviorSanitizer
#      and runs the same tests;
#   3. cross-compiles tavsetup.exe for Windows i686 and x86_64, checks that
#      it depends on Windows system DLLs only, that the i686 program imports
#      exactly the functions in docs/imports-i686.txt, each checked in
#      docs/imports.md for Windows 98 SE and NT 4.0, and that it is at most
#      300 KB;
#   4. runs the conformance suite and the end-to-end suite under Wine: the
#      shipped i686 build in 32-bit prefixes, or, where this machine cannot
#      run 32-bit programs, the x86_64 build in 64-bit prefixes (the output
#      says which).
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup-debian.sh

jobs=$(nproc 2>/dev/null || echo 2)

step() { printf '\n==== %s\n' "$*"; }

step "Linux build and tests"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build build/linux -j "$jobs"
ctest --test-dir build/linux --output-on-failure -j "$jobs"

step "Linux build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/linux-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAV_SANITIZE=ON -DTAV_BENCHMARKS=OFF
cmake --build build/linux-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/linux-asan --output-on-failure -j "$jobs"

for arch in i686 x86_64; do
  step "Windows $arch build"
  cmake -S . -B "build/win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake"
  cmake --build "build/win-$arch" -j "$jobs"
  ./scripts/check-imports.sh "$arch" "build/win-$arch/tavsetup.exe"
done

step "Size of the shipped programs"
./scripts/check-size.sh build/win-i686/tavsetup.exe build/win-x86_64/tavsetup.exe

wine_build=$(./scripts/wine-arch.sh)
if [ "$wine_build" != i686 ]; then
  echo "note: this machine cannot run 32-bit programs (or has no 32-bit Wine): the Wine suites run the x86_64 build"
fi

step "Conformance tests of the emulator under Wine ($wine_build build)"
./tests/conformance/run-under-wine.sh "build/win-$wine_build/tests/conformance/conformance.exe"

step "Windows $wine_build build under Wine"
./tests/wine/run.sh "build/win-$wine_build/tavsetup.exe"

printf '\nAll tests passed.\n'
