#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs the main job: the tool's -install
# run on an emulated Windows XP machine, printing what it did and showed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/linux -j "$(nproc 2>/dev/null || echo 2)"
if [ -x build/linux/sim/runner/tavsetup-sim ]; then
  exec build/linux/sim/runner/tavsetup-sim examples/xp-card-inserted -install
fi
exec build/linux/tests/product_tests --gtest_filter='RunSequenceTest.Install*' --gtest_brief=0
