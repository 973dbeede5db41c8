#!/usr/bin/env bash
# The MSI package under Wine, for one architecture: installs the previous version silently with
# host properties and upgrades it to this one without them (the values stay, one product is left);
# checks the installed files, the registry values, the event source, the object from that
# architecture's script host and one call through the installed pelmo.exe; reinstalls without the
# properties (the values stay) and with a new one (it wins); given the other architecture's
# package too, installs it beside this one and removes it again, which must leave the keys both
# share (the ProgID, the event source) and this architecture's object working;
# uninstalls, and checks that the file, the registration and the settings are gone and
# CreateObject fails with 429.
#
# The previous version's package is this one re-versioned: the same files under the version
# CHANGELOG.md names before this one, with a product and a package code of its own. What an
# upgrade can break is the package's own logic (finding and removing the older product, keeping
# the stored hosts), and that is the same; building the previous release's module would double
# the cross-build for no further check.
#
# Usage: tests/windows/install_check.sh 64|32 PACKAGE.msi [OTHER_ARCHITECTURE_PACKAGE.msi]
# Environment: WINEPREFIX (an initialised 64-bit prefix with no other pelmo registration).
set -euo pipefail
arch=$1
msi=$(realpath "$2")
other_msi=${3:+$(realpath "$3")}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checked_script.sh"
case $arch in
  64) loader=/usr/lib/wine/wine64 system='C:\windows\system32' program_files='Program Files'
    other_loader=/usr/lib/wine/wine other_system='C:\windows\syswow64' ;;
  32) loader=/usr/lib/wine/wine system='C:\windows\syswow64' program_files='Program Files (x86)'
    other_loader=/usr/lib/wine/wine64 other_system='C:\windows\system32' ;;
  *)
    echo "usage: $0 64|32 PACKAGE.msi [OTHER_ARCHITECTURE_PACKAGE.msi]" >&2
    exit 2
    ;;
esac
winpath() { printf 'Z:%s' "${1//\//\\}"; }
run() { "$loader" "$system\\$1" "${@:2}"; }
module="$WINEPREFIX/drive_c/$program_files/pelmo/pelmo.dll"
command="$WINEPREFIX/drive_c/$program_files/pelmo/pelmo.exe"
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

property() { msiinfo export "$1" Property | sed -n "s/^$2\t//p" | tr -d '\r'; }
version=$(property "$msi" ProductVersion)
versions=$(sed -n 's/^## \[\([0-9][0-9.]*\)\].*/\1/p' "$here/../../CHANGELOG.md")
previous_version=$(sed -n 2p <<<"$versions")
new_guid() { python3 -c 'import uuid; print("{%s}" % str(uuid.uuid4()).upper())'; }
previous_msi=$(mktemp -d)/previous.msi
trap 'rm -rf "$(dirname "$previous_msi")"' EXIT
cp "$msi" "$previous_msi"
msibuild "$previous_msi" -q "UPDATE \`Property\` SET \`Value\` = '$previous_version'
  WHERE \`Property\` = 'ProductVersion'"
msibuild "$previous_msi" -q "UPDATE \`Property\` SET \`Value\` = '$(new_guid)'
  WHERE \`Property\` = 'ProductCode'"
msibuild "$previous_msi" -s "$(msiinfo suminfo "$msi" | sed -n 's/^Title: //p')" \
  "$(msiinfo suminfo "$msi" | sed -n 's/^Author: //p')" \
  "$(msiinfo suminfo "$msi" | sed -n 's/^Template: //p')" "$(new_guid)"
uninstall_key() { printf 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s' "$1"; }
product_version() { reg_value "$(uninstall_key "$(property "$1" ProductCode)")" DisplayVersion; }

started=$SECONDS
check "CHANGELOG.md's newest version is the package's ($version)" \
  test "$(sed -n 1p <<<"$versions")" = "$version"
check "msiexec /i the previous version $previous_version with LOTTERYHOST and NEWSHOST (silent)" \
  run msiexec.exe /i "$(winpath "$previous_msi")" LOTTERYHOST=$lottery NEWSHOST=$news /qn
check "$previous_version installed" test "$(product_version "$previous_msi")" = "$previous_version"
check "msiexec /i $version over it, no properties (silent)" \
  run msiexec.exe /i "$(winpath "$msi")" /qn
check "$version installed" test "$(product_version "$msi")" = "$version"
check "$previous_version removed by the upgrade" \
  not has_key "$(uninstall_key "$(property "$previous_msi" ProductCode)")"
check "pelmo.dll under $program_files" test -f "$module"
check "portal.probe beside it" test -f "${module%pelmo.dll}portal.probe"
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\pelmo'
# Both packages write the same list, so the last one left still names its own module.
message_files='C:\Program Files (x86)\pelmo\pelmo.dll;C:\Program Files\pelmo\pelmo.dll'
check "the event source's message files are both modules' places" \
  test "$(reg_value "$source_key" EventMessageFile)" = "$message_files"
check "LotteryHost in HKLM\\SOFTWARE\\pelmo" test "$(reg_value 'HKLM\SOFTWARE\pelmo' LotteryHost)" = $lottery
check "NewsHost in HKLM\\SOFTWARE\\pelmo" test "$(reg_value 'HKLM\SOFTWARE\pelmo' NewsHost)" = $news
progid_class() { run reg.exe query 'HKCR\pelmo.zaverer\CLSID' /ve 2>/dev/null | grep -q "$1"; }
check "ProgID registered" progid_class '{88BBBB1C-215E-4723-8957-56EA7421CA93}'
check "pelmo.exe beside pelmo.dll" test -f "$command"
# The installed command reaches the installed object through its registration.
installed_call() {
  [ "$("$loader" "$command" call FNum 's:1, 2' 2>/dev/null)" = \
    '{"ok":true,"result":{"type":"String","value":"1,2"},"args":[{"type":"String","value":"1,2"}]}' ]
}
check "the installed pelmo.exe calls the installed object" installed_call
installed_info() { "$loader" "$command" info 2>/dev/null | grep -qF 'pelmo\pelmo.dll'; }
check "pelmo.exe info names the installed module" installed_info
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

if [ -n "$other_msi" ]; then
  other() { "$other_loader" "$other_system\\msiexec.exe" "$1" "$(winpath "$other_msi")" /qn; }
  check "msiexec /i the other architecture's package beside it" other /i
  check "msiexec /x the other architecture's package" other /x
  check "the event source stays" \
    test "$(reg_value "$source_key" EventMessageFile)" = "$message_files"
  check "the ProgID stays" progid_class '{88BBBB1C-215E-4723-8957-56EA7421CA93}'
  check "the installed pelmo.exe still calls the installed object" installed_call
  checked_script env -u PELMO_LOTTERY_HOST "$loader" "$system\\cscript.exe" //nologo \
    "$(winpath "$here/installed.vbs")" installed $changed || failures=$((failures + 1))
fi

check "msiexec /x (silent)" run msiexec.exe /x "$(winpath "$msi")" /qn
check "pelmo.dll removed" not test -e "$module"
check "pelmo.exe removed" not test -e "$command"
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
