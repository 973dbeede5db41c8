#!/usr/bin/env bash
# Installs what is missing, checks the style, then builds and runs every test three times: in
# the debug build with warnings as errors, under AddressSanitizer and UndefinedBehaviorSanitizer,
# and under ThreadSanitizer (where the concurrency test shows races between objects);
# installs the debug build and builds the Debian package, and uses both as a user would;
# then builds the fuzz targets and runs each for a few seconds so that they keep working;
# last, cross-builds pelmo.dll and tests it under Wine against the Linux command.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== style"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

jobs=$(nproc)
for preset in default asan tsan; do
  echo "== build and test: $preset"
  started=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
  echo "== $preset: $((SECONDS - started)) s"
done

echo "== install: the debug build into a scratch prefix, and the Debian package"
scripts/test-install.sh build/default

echo "== fuzz: every target briefly"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
fuzz/run.sh 3 build/fuzz

echo "== windows: pelmo.dll cross-built and driven under Wine"
scripts/install-windows-deps.sh
PELMO_LINUX=build/default/pelmo scripts/test-windows.sh
