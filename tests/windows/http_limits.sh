#!/usr/bin/env bash
# The Windows HTTP client's limits under Wine, for one architecture: starts the loopback site of
# limits_site.py and runs that architecture's `pelmo_testhost.exe fetch-limits` against it.
#
# Usage: tests/windows/http_limits.sh 64|32 BUILD_DIR   (BUILD_DIR holds pelmo_testhost.exe)
# Environment: WINEPREFIX (an initialised 64-bit prefix).
set -euo pipefail
arch=$1
build=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
case $arch in
  64) loader=/usr/lib/wine/wine64 ;;
  32) loader=/usr/lib/wine/wine ;;
  *)
    echo "usage: $0 64|32 BUILD_DIR" >&2
    exit 2
    ;;
esac
work=$(mktemp -d)
site_pid=
cleanup() {
  [ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
python3 "$here/limits_site.py" "$work/port" &
site_pid=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
"$loader" "$build/pelmo_testhost.exe" fetch-limits "http://127.0.0.1:$(cat "$work/port")"
