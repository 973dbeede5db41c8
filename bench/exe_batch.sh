#!/usr/bin/env bash
# The same batch through the Linux `pelmo batch` and through `pelmo.exe batch` under Wine, for
# each module this machine can run: the answers must be byte-identical, and each side's lines per
# second and their ratio are printed, with and without the commands' start. A temporary Wine
# prefix of its own; every call stays in the process (no fetch).
#
# Usage: bench/exe_batch.sh [LINES]   (10000 by default)
# Environment: PELMO_LINUX (default build/release/pelmo), PELMO_WIN64_BUILD, PELMO_WIN32_BUILD
# (default build/windows-x64, build/windows-x86), all built beforehand.
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-10000}
linux=$(realpath "${PELMO_LINUX:-build/release/pelmo}")
prefix=$(mktemp -d)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
for arch in x64 x86; do
  case $arch in
    x64) loader=/usr/lib/wine/wine64 sysdir='C:\windows\system32' build=${PELMO_WIN64_BUILD:-build/windows-x64} ;;
    x86) loader=/usr/lib/wine/wine sysdir='C:\windows\syswow64' build=${PELMO_WIN32_BUILD:-build/windows-x86} ;;
  esac
  if ! "$loader" --version >/dev/null 2>&1; then
    echo "$arch: SKIP, $loader does not run on this machine"
    continue
  fi
  build=$(realpath "$build")
  "$loader" "$sysdir\\regsvr32.exe" /s "Z:${build//\//\\}\\pelmo.dll" 2>/dev/null
  echo "$arch module ($build/pelmo.dll), $lines lines:"
  python3 tests/windows/wine_cases.py exe-mixed "$lines" --exe "$loader $build/pelmo.exe" \
    --pelmo "$linux" 2>/dev/null
done
