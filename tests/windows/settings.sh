#!/usr/bin/env bash
# Outside hosts from the registry under Wine, for one architecture: registers the module, runs
# settings.vbs from that architecture's script host (registry values changed under a running
# object, then the same with PELMO_LOTTERY_HOST set, which must win), checks what pelmo.exe info
# shows for values in that view, and unregisters again. The other architecture's view holds decoy
# values the module and the command must not see.
#
# Usage: tests/windows/settings.sh 64|32 MODULE.dll
# Environment: WINEPREFIX (an initialised 64-bit prefix); WINEDEBUG etc. as the caller likes.
set -euo pipefail
arch=$1
module=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checked_script.sh"
case $arch in
  64) loader=/usr/lib/wine/wine64 system='C:\windows\system32' other=32 ;;
  32) loader=/usr/lib/wine/wine system='C:\windows\syswow64' other=64 ;;
  *)
    echo "usage: $0 64|32 MODULE.dll" >&2
    exit 2
    ;;
esac
winpath() { printf 'Z:%s' "${1//\//\\}"; }
run() { "$loader" "$system\\$1" "${@:2}"; }
key='HKLM\SOFTWARE\pelmo'

# pelmo.exe info, as text and --json, over values in this view (the host above, a REG_DWORD cache
# time, an invalid cache size, a news host the environment overrides) and a decoy in the other.
info_check() {
  local exe out status=0 form
  exe=$(dirname "$module")/pelmo.exe out=$(mktemp -d)
  reg_add() { /usr/lib/wine/wine64 'C:\windows\system32\reg.exe' add "$key" /f "$@" >/dev/null; }
  reg_add /v LotteryHost /d two.example:8080 "/reg:$arch"
  reg_add /v NewsHost /t REG_DWORD /d 8080 "/reg:$arch"
  reg_add /v FetchCacheSeconds /t REG_DWORD /d 60 "/reg:$arch"
  reg_add /v FetchCacheMegabytes /d lots "/reg:$arch"
  reg_add /v FetchPrivateAddresses /d deny "/reg:$other"
  for form in "" --json; do
    env -u PELMO_LOTTERY_HOST -u PELMO_FETCH_CACHE_SECONDS -u PELMO_FETCH_CACHE_MB \
      -u PELMO_FETCH_PRIVATE_ADDRESSES PELMO_NEWS_HOST=environment.example \
      "$loader" "$exe" info ${form:+"$form"} >"$out/info$form" || status=1
  done
  python3 - "$arch" "$out" <<'PY' || status=1
import json, re, sys
arch, out = sys.argv[1:]
text = [re.sub(r" +", " ", line.strip()) for line in open(f"{out}/info", encoding="utf-8")]
info = json.load(open(f"{out}/info--json", encoding="utf-8"))
top = "2047" if arch == "32" else "1048576"
rows = [  # variable, text row, value, source, what was invalid
    ("LOTTERY_HOST", "two.example:8080 registry value LotteryHost", "two.example:8080",
     "registry", None),
    ("NEWS_HOST", "environment.example environment", "environment.example", "environment", None),
    ("FETCH_CACHE_SECONDS", "60 seconds registry value FetchCacheSeconds", 60, "registry", None),
    ("FETCH_CACHE_MB", '64 MiB default (registry value FetchCacheMegabytes "lots" is invalid: a '
     f"whole number from 0 to {top} expected)", 64, "default",
     {"source": "registry", "text": "lots"}),
    ("FETCH_PRIVATE_ADDRESSES", "allow default", "allow", "default", None),
]
place = {"key": "HKLM\\SOFTWARE\\pelmo", "view": f"{arch}-bit"}
heading = (f"settings: the environment variable when set, then the registry value under "
           f"{place['key']} ({place['view']} view), then the default")
failures = [] if info["registry"] == place and heading in text else [f"not read from {place}"]
for name, row, value, source, invalid in rows:
    got = info["settings"][f"PELMO_{name}"]
    if f"PELMO_{name} {row}" not in text or [got["value"], got["source"], got["invalid"]] != [
            value, source, invalid]:
        failures.append(f"PELMO_{name}: {got['value']!r} {got['source']} {got['invalid']}")
print("\n".join(f"FAIL  pelmo.exe info: {f}" for f in failures) or
      f"ok    pelmo.exe info, text and --json: {len(rows)} settings, the {arch}-bit key")
sys.exit(1 if failures else 0)
PY
  [ $status -eq 0 ] || cat "$out/info"
  /usr/lib/wine/wine64 'C:\windows\system32\reg.exe' delete "$key" /f "/reg:$arch" >/dev/null
  rm -rf "$out"
  return $status
}

failures=0
run regsvr32.exe /s "$(winpath "$module")" || {
  echo "FAIL  regsvr32 $module"
  exit 1
}
/usr/lib/wine/wine64 'C:\windows\system32\reg.exe' add "$key" /v LotteryHost /d decoy.example \
  /f "/reg:$other" >/dev/null
checked_script env -u PELMO_LOTTERY_HOST "$loader" "$system\\cscript.exe" //nologo \
  "$(winpath "$here/settings.vbs")" || failures=$((failures + 1))
PELMO_LOTTERY_HOST=environment.example checked_script "$loader" "$system\\cscript.exe" //nologo \
  "$(winpath "$here/settings.vbs")" environment.example || failures=$((failures + 1))
info_check || failures=$((failures + 1))
/usr/lib/wine/wine64 'C:\windows\system32\reg.exe' delete "$key" /f "/reg:$other" >/dev/null
run regsvr32.exe /u /s "$(winpath "$module")" || failures=$((failures + 1))
[ "$failures" -eq 0 ]
