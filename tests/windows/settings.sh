#!/usr/bin/env bash
# Outside hosts from the registry under Wine, for one architecture: registers the module, runs
# settings.vbs from that architecture's script host (registry values changed under a running
# object, then the same with PELMO_LOTTERY_HOST set, which must win), and unregisters again.
# The other architecture's view holds a decoy value the module must not see.
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
/usr/lib/wine/wine64 'C:\windows\system32\reg.exe' delete "$key" /f "/reg:$other" >/dev/null
run regsvr32.exe /u /s "$(winpath "$module")" || failures=$((failures + 1))
[ "$failures" -eq 0 ]
