#!/usr/bin/env bash
# The MSI package under Wine, for one architecture: installs it silently with host properties,
# checks the installed files, the registry values, the event source and the object from that
# architecture's script
# host; reinstalls without the properties (the values stay) and with a new one (it wins);
# uninstalls, and checks that the file, the registration and the settings are gone and
# CreateObject fails with 429.
#
# Usage: tests/windows/install_check.sh 64|32 PACKAGE.msi
# Environment: WINEPREFIX (an initialised 64-bit prefix with no other pelmo registration).
set -euo pipefail
arch=$1
msi=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checked_script.sh"
case $arch in
  64) loader=/usr/lib/wine/wine64 system='C:\windows\system32' program_files='Program Files' ;;
  32) loader=/usr/lib/wine/wine system='C:\windows\syswow64' program_files='Program Files (x86)' ;;
  *)
    echo "usage: $0 64|32 PACKAGE.msi" >&2
    exit 2
    ;;
esac
winpath() { printf 'Z:%s' "${1//\//\\}"; }
run() { "$loader" "$system\\$1" "${@:2}"; }
module="$WINEPREFIX/drive_c/$program_files/pelmo/pelmo.dll"
lottery=installed-lottery.example
news=installed-news.example
changed=changed-lottery.example

failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok    $what"; else
    echo "FAIL  $what"
    failures=$((failures + 1))
  fi
}
# The value's data as reg.exe of this architecture shows it, or nothing.
reg_value() { run reg.exe query "$1" /v "$2" 2>/dev/null | sed -n "s/^ *$2 *REG_SZ *//p" | tr -d '\r'; }
has_key() { run reg.exe query "$1" >/dev/null 2>&1; }
not() { ! "$@"; }

started=$SECONDS
check "msiexec /i with LOTTERYHOST and NEWSHOST (silent)" \
  run msiexec.exe /i "$(winpath "$msi")" LOTTERYHOST=$lottery NEWSHOST=$news /qn
check "pelmo.dll under $program_files" test -f "$module"
check "portal.probe beside it" test -f "${module%pelmo.dll}portal.probe"
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\pelmo'
check "the event source's message file is the module" \
  test "$(reg_value "$source_key" EventMessageFile)" = "C:\\$program_files\\pelmo\\pelmo.dll"
check "LotteryHost in HKLM\\SOFTWARE\\pelmo" test "$(reg_value 'HKLM\SOFTWARE\pelmo' LotteryHost)" = $lottery
check "NewsHost in HKLM\\SOFTWARE\\pelmo" test "$(reg_value 'HKLM\SOFTWARE\pelmo' NewsHost)" = $news
progid_class() { run reg.exe query 'HKCR\pelmo.zaverer\CLSID' /ve 2>/dev/null | grep -q "$1"; }
check "ProgID registered" progid_class '{88BBBB1C-215E-4723-8957-56EA7421CA93}'
checked_script env -u PELMO_LOTTERY_HOST "$loader" "$system\\cscript.exe" //nologo \
  "$(winpath "$here/installed.vbs")" installed $lottery || failures=$((failures + 1))

# A repair rewrites every registry value from the properties: the ones not given come from
# what is stored, a given one replaces it. Elevated installs pass only secure properties on.
secure=";$(msiinfo export "$msi" Property | sed -n 's/^SecureCustomProperties\t//p');"
is_secure() { [[ $secure == *";$1;"* ]]; }
for property in AFFILIATEHOST SHOPNAVDOMAIN LOTTERYHOST NEWSHOST; do
  check "$property is secure" is_secure $property
done
reinstall() { run msiexec.exe /i "$(winpath "$msi")" REINSTALL=ALL REINSTALLMODE=vamus "$@" /qn; }
check "reinstall without properties" reinstall
check "LotteryHost kept" test "$(reg_value 'HKLM\SOFTWARE\pelmo' LotteryHost)" = $lottery
check "NewsHost kept" test "$(reg_value 'HKLM\SOFTWARE\pelmo' NewsHost)" = $news
check "reinstall with a new LOTTERYHOST" reinstall LOTTERYHOST=$changed
check "the new LotteryHost wins" test "$(reg_value 'HKLM\SOFTWARE\pelmo' LotteryHost)" = $changed
check "NewsHost still kept" test "$(reg_value 'HKLM\SOFTWARE\pelmo' NewsHost)" = $news

check "msiexec /x (silent)" run msiexec.exe /x "$(winpath "$msi")" /qn
check "pelmo.dll removed" not test -e "$module"
check "settings removed" not has_key 'HKLM\SOFTWARE\pelmo'
check "event source removed" not has_key "$source_key"
check "class removed" not has_key 'HKCR\CLSID\{88BBBB1C-215E-4723-8957-56EA7421CA93}'
check "ProgID removed" not has_key 'HKCR\pelmo.zaverer'
check "type library removed" not has_key 'HKCR\TypeLib\{9116D3FA-553B-4FEA-ACB9-729C222253A3}'
check "interface removed" not has_key 'HKCR\Interface\{881B0B15-CE15-4FA8-933F-8787A9088292}'
checked_script "$loader" "$system\\cscript.exe" //nologo "$(winpath "$here/installed.vbs")" \
  removed ||
  failures=$((failures + 1))
echo "install check ($arch-bit): $failures failure(s) in $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
