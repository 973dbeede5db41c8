#!/usr/bin/env bash
# The fetch cache's registry setting under Wine, for one architecture: registers the module,
# starts the counting loopback site of limits_site.py and runs fetch_cache.vbs from that
# architecture's script host (two objects, three fetches of one address in one process), first
# with no cache setting anywhere (three requests), then with FetchCacheSeconds = 60 in that
# architecture's view of HKLM\SOFTWARE\pelmo (one request), then with FetchPrivateAddresses =
# deny there (every fetch of the loopback site refused, no request). Each value is set before the
# script host starts and removed again on every way out. Last, a fetch answered 404 must reach the
# event log with the host and the status alone: Wine's ReportEventW only traces its strings,
# under WINEDEBUG=+eventlog, so the trace is what is checked.
#
# Usage: tests/windows/fetch_cache.sh 64|32 MODULE.dll
# Environment: WINEPREFIX (an initialised 64-bit prefix); WINEDEBUG etc. as the caller likes.
set -euo pipefail
arch=$1
module=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checked_script.sh"
case $arch in
  64) loader=/usr/lib/wine/wine64 system='C:\windows\system32' ;;
  32) loader=/usr/lib/wine/wine system='C:\windows\syswow64' ;;
  *)
    echo "usage: $0 64|32 MODULE.dll" >&2
    exit 2
    ;;
esac
winpath() { printf 'Z:%s' "${1//\//\\}"; }
run() { "$loader" "$system\\$1" "${@:2}"; }
reg() { run reg.exe "$@" "/reg:$arch" >/dev/null; }
key='HKLM\SOFTWARE\pelmo'

work=$(mktemp -d)
site_pid=
registered=false
cleanup() {
  reg delete "$key" /v FetchCacheSeconds /f 2>/dev/null || true
  reg delete "$key" /v FetchPrivateAddresses /f 2>/dev/null || true
  if $registered; then run regsvr32.exe /u /s "$(winpath "$module")" || true; fi
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
site=http://127.0.0.1:$(cat "$work/port")
run regsvr32.exe /s "$(winpath "$module")" || {
  echo "FAIL  regsvr32 $module"
  exit 1
}
registered=true

failures=0
# Runs the script on a fresh counted page and checks how many requests reached the site.
fetch_three() {
  local name=$1 mode=$2 requests=$3 seen
  checked_script env -u PELMO_FETCH_CACHE_SECONDS -u PELMO_FETCH_STALE_SECONDS \
    -u PELMO_FETCH_CACHE_MB -u PELMO_FETCH_PRIVATE_ADDRESSES "$loader" "$system\\cscript.exe" //nologo "$(winpath "$here/fetch_cache.vbs")" \
    "$site/counted/$name" "$mode" || failures=$((failures + 1))
  seen=$(python3 -c 'import sys, urllib.request as u
print(u.build_opener(u.ProxyHandler({})).open(sys.argv[1]).read().decode())' "$site/count/$name")
  if [ "$seen" = "$requests" ]; then
    echo "ok    $name: $seen request(s) for 3 fetches"
  else
    echo "FAIL  $name: $seen request(s) for 3 fetches, $requests expected"
    failures=$((failures + 1))
  fi
}

reg delete "$key" /v FetchCacheSeconds /f 2>/dev/null || true
fetch_three off uncached 3
reg add "$key" /v FetchCacheSeconds /t REG_DWORD /d 60 /f
fetch_three on cached 1
reg delete "$key" /v FetchCacheSeconds /f || failures=$((failures + 1))
reg add "$key" /v FetchPrivateAddresses /t REG_SZ /d deny /f
fetch_three denied refused 0
reg delete "$key" /v FetchPrivateAddresses /f || failures=$((failures + 1))

trace=$(env -u PELMO_EVENT_LOG_LEVEL WINEDEBUG=+eventlog "$loader" "$system\\cscript.exe" //nologo \
  "$(winpath "$here/fetch_cache.vbs")" "$site/missing?user=secret" events 2>&1 >/dev/null || true)
host=${site#http://}
if grep -q "ReportEventW L\"$host\"" <<<"$trace" && grep -q 'ReportEventW L"status 404"' <<<"$trace" &&
  ! grep -q secret <<<"$trace"; then
  echo "ok    a fetch answered 404 is written to the event log: host and status, no query"
else
  echo "FAIL  the event log's trace for a fetch answered 404:"
  grep ReportEventW <<<"$trace" || printf "(no ReportEventW)\n%s\n" "$trace"
  failures=$((failures + 1))
fi
run regsvr32.exe /u /s "$(winpath "$module")" || failures=$((failures + 1))
registered=false
[ "$failures" -eq 0 ]
