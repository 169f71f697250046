#!/usr/bin/env bash
# Installs every Debian package the project needs: the Linux build and its
# tests, the two mingw-w64 cross compilers, and Wine 8 with a virtual X server
# for the end-to-end runs of the Windows build; where the machine's kernel
# runs 32-bit programs, also 32-bit Wine (wine32:i386), so that the shipped
# 32-bit build is the one under test. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xdotool imagemagick x11-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine, where this kernel runs 32-bit programs: some kernels are built
# without them ("Exec format error"), and there the suites run the 64-bit
# build. The machine decides; setup never fails for it.
if ./scripts/wine-arch.sh kernel-runs-32bit; then
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    export DEBIAN_FRONTEND=noninteractive
    if ! { $sudo_cmd dpkg --add-architecture i386 &&
      $sudo_cmd apt-get update -q &&
      $sudo_cmd apt-get install -y -q --no-install-recommends wine32:i386; }; then
      echo "note: 32-bit Wine could not be installed; the Wine suites will run the x86_64 build" >&2
    fi
  fi
else
  echo "note: this kernel does not run 32-bit programs; the Wine suites will run the x86_64 build" >&2
fi
