#!/usr/bin/env bash
# Builds pelmo.dll for 64-bit and 32-bit Windows with mingw-w64 and runs the same suite on each
# module under Wine, each with its own loader, regsvr32 and script host in one 64-bit prefix:
# from a VBScript and from a compiled test host, against the Linux command's results; the
# reference's page examples (docs/methods.md); the registry settings, the fetch cache, the HTTP
# client's limits and the MSI package of each architecture; pelmo.exe's probes against the Linux
# command's on the demo site.
# Installs nothing: run scripts/install-windows-deps.sh first. Exits non-zero on any failure.
#
# Environment:
#   PELMO_LINUX        the Linux command to compare with (default build/default/pelmo, built when
#                      missing)
#   PELMO_WIN64_BUILD  build directory of the 64-bit module (default build/windows-x64)
#   PELMO_WIN32_BUILD  build directory of the 32-bit module (default build/windows-x86)
#   PELMO_WINE32       auto (default): run the 32-bit module's suite when this machine can run
#                      Wine's 32-bit loader; 1: run it (a loader that cannot run fails the run);
#                      0: skip it, as on a machine without 32-bit execution
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_pelmo=${PELMO_LINUX:-build/default/pelmo}
win64=${PELMO_WIN64_BUILD:-build/windows-x64}
win32=${PELMO_WIN32_BUILD:-build/windows-x86}
jobs=$(nproc)
start=$SECONDS

for tool in x86_64-w64-mingw32-g++ i686-w64-mingw32-g++ x86_64-w64-mingw32-widl wineserver \
  python3 cmake ninja wixl; do
  command -v "$tool" >/dev/null || {
    echo "test-windows: $tool is missing; run scripts/install-windows-deps.sh" >&2
    exit 2
  }
done

. tests/windows/checked_script.sh
failures=0
fail() {
  echo "FAIL  $*"
  failures=$((failures + 1))
}
# Runs one step; a failing step is counted and the next one still runs.
step() {
  local name=$1
  shift
  echo "== $name"
  if ! "$@"; then fail "$name"; fi
}

echo "== build"
if [ ! -x "$linux_pelmo" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target pelmo -j "$jobs"
fi
linux_pelmo=$(realpath "$linux_pelmo")
# The demo's site for the documents' examples, from the same build as the Linux command.
demo_site=$(dirname "$linux_pelmo")/tests/pelmo_demo_site
[ -x "$demo_site" ] || cmake --build "$(dirname "$linux_pelmo")" --target pelmo_demo_site -j "$jobs"
cmake --preset windows-x64 -B "$win64" >/dev/null
cmake --build "$win64" -j "$jobs"
# /usr/bin/wine starts the 32-bit loader whenever it is installed, and a 32-bit script host sees
# no 64-bit registration: each module gets its own loader. The 32-bit suite runs only where that
# loader actually runs: Debian's wine32:i386 installs on machines whose kernel (or sandbox) refuses
# every 32-bit program, so being installed proves nothing. Without it only the module is built.
loader64=/usr/lib/wine/wine64
loader32=/usr/lib/wine/wine
[ -x "$loader64" ] || {
  echo "test-windows: $loader64 is missing; run scripts/install-windows-deps.sh" >&2
  exit 2
}
have_wine32=false
why_no_wine32=
case ${PELMO_WINE32:-auto} in
  1) have_wine32=true ;;
  0) why_no_wine32="PELMO_WINE32=0 asks to skip it" ;;
  auto)
    if [ ! -e "$loader32" ]; then
      why_no_wine32="wine32 is not installed"
    elif loader32_says=$("$loader32" --version 2>&1); then
      have_wine32=true
    else
      status=$?
      loader32_says=$(printf '%s' "$loader32_says" | tail -n 1 | sed 's/^.*: //')
      if [ "$status" -eq 126 ]; then
        why_no_wine32="this machine cannot execute 32-bit programs: $loader32 --version: $loader32_says"
      else
        why_no_wine32="Wine's 32-bit loader does not run: $loader32 --version exited with $status"
        why_no_wine32+=" (${loader32_says:-no message})"
      fi
    fi
    ;;
  *)
    echo "test-windows: PELMO_WINE32 must be 0, 1 or auto, not '$PELMO_WINE32'" >&2
    exit 2
    ;;
esac
cmake --preset windows-x86 -B "$win32" >/dev/null
if $have_wine32; then
  cmake --build "$win32" -j "$jobs"
else
  cmake --build "$win32" -j "$jobs" --target pelmo pelmo_command
fi
win64=$(realpath "$win64")
win32=$(realpath "$win32")

# The four entry points and nothing else; only system libraries imported.
check_module() {
  local dll=$1 objdump=$2 ok=0
  local exports
  exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    grep -o 'Dll[A-Za-z]*' | sort | tr '\n' ' ')
  if [ "$exports" != "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
    echo "exports of $dll: $exports"
    ok=1
  fi
  local imports
  imports=$("$objdump" -p "$dll" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  for name in $imports; do
    case $name in
      advapi32.dll | kernel32.dll | msvcrt.dll | ole32.dll | oleaut32.dll | shlwapi.dll | ws2_32.dll | \
        user32.dll | winhttp.dll) ;;
      *)
        echo "$dll imports $name"
        ok=1
        ;;
    esac
  done
  echo "$dll: exports $exports; imports $imports"
  return $ok
}
step "64-bit module: exports and imports" check_module "$win64/pelmo.dll" x86_64-w64-mingw32-objdump
step "32-bit module: exports and imports" check_module "$win32/pelmo.dll" i686-w64-mingw32-objdump
step "IDL against the catalogue" python3 tests/windows/wine_cases.py check-idl com/pelmo.idl \
  --pelmo "$linux_pelmo"

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
winpath() { printf 'Z:%s' "${1//\//\\}"; }

echo "== Wine prefix"
"$loader64" wineboot -i >/dev/null 2>>"$work/wine.log"
"$loader64" --version

echo "== loopback site for the page cases"
site=$work/site
mkdir -p "$site"
export PELMO_AFFILIATE_HOST=aff.example
python3 tests/windows/wine_cases.py site "$site"
python3 tests/windows/wine_cases.py serve "$site" "$work/port" &
server_pid=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(cat "$work/port")
export PELMO_NEWS_HOST=127.0.0.1:$port PELMO_LOTTERY_HOST=127.0.0.1:$port
# Sub-site addresses are http://LABEL.DOMAIN/: the label 127 and this domain make the loopback
# address, which resolves without a name server.
export PELMO_SHOPNAV_DOMAIN=0.0.1:$port
python3 tests/windows/wine_cases.py resolve tests/windows/page_cases.tsv "$site/page_cases.tsv" \
  --port "$port"

# The current module's tools; `loader`, `sysdir` and `build` are run_module_suite's. Wine's own
# notes (no display) go to the log, not to the report.
wine_run() { "$loader" "$@" 2>>"$work/wine.log"; }
regsvr32() { wine_run "$sysdir\\regsvr32.exe" /s "$@"; }
cscript() { wine_run "$sysdir\\cscript.exe" //nologo "$@"; }
testhost() { wine_run "$build/pelmo_testhost.exe" "$@"; }

# pelmo.exe refuses with the message and exit status 2, and prints nothing on standard output.
exe_refuses() {
  local status=0 out
  out=$($1 methods 2>"$work/refusal.txt") || status=$?
  grep -F "$2" "$work/refusal.txt" || { echo "stderr: $(cat "$work/refusal.txt")"; return 1; }
  [ "$status" -eq 2 ] && [ -z "$out" ]
}
# pelmo.exe --module reaches the object in the module file, registered or not.
exe_module() {
  local out
  out=$($1 --module "$2" call FNum 's:1, 2' 2>>"$work/wine.log")
  [ "$out" = '{"ok":true,"result":{"type":"String","value":"1,2"},"args":[{"type":"String","value":"1,2"}]}' ]
}

# The whole suite for one module: x64 (the 64-bit loader, system32's regsvr32 and cscript) or
# x86 (the 32-bit loader, syswow64's). Steps added for both modules go here, one line each.
run_module_suite() {
  local arch=$1 build loader sysdir bits
  case $arch in
    x64) build=$win64 loader=$loader64 sysdir='C:\windows\system32' bits=64 ;;
    x86) build=$win32 loader=$loader32 sysdir='C:\windows\syswow64' bits=32 ;;
  esac
  local out=$work/$arch dll
  mkdir -p "$out"
  dll=$(winpath "$build/pelmo.dll")

  echo "==== $arch module: $build/pelmo.dll"
  step "$arch: type library, version resource, GUIDs (test host)" testhost library "$dll"
  step "$arch: class factory and DllCanUnloadNow (test host)" testhost unload "$dll"
  step "$arch: regsvr32 pelmo.dll" regsvr32 "$dll"
  step "$arch: registry after registration (test host)" testhost registered "$dll"

  # pelmo.exe reaches the module just registered, as a page does, and must print what the Linux
  # command prints.
  local exe="$loader $build/pelmo.exe"
  step "$arch: pelmo.exe: usage errors, exit statuses, files, listings against pelmo" \
    python3 tests/windows/wine_cases.py exe-contract --exe "$exe" --pelmo "$linux_pelmo"
  step "$arch: pelmo.exe batch: the case table against pelmo batch" python3 \
    tests/windows/wine_cases.py exe-batch tests/windows/cases.tsv --exe "$exe" --pelmo "$linux_pelmo"
  step "$arch: pelmo.exe batch: 10000 mixed lines byte for byte" python3 \
    tests/windows/wine_cases.py exe-mixed 10000 --exe "$exe" --pelmo "$linux_pelmo"
  step "$arch: pelmo.exe: the documents' command examples" python3 tests/windows/wine_cases.py \
    exe-docs docs/methods.md README.md docs/operating.md --exe "$exe" --demo-site "$demo_site"
  # The Prometheus files are read back with Debian's parser, which only the system's Python has.
  step "$arch: pelmo.exe probe: the drifted site in every output mode against pelmo probe" \
    /usr/bin/python3 tests/windows/wine_cases.py exe-probe --exe "$exe" --pelmo "$linux_pelmo" \
    --demo-site "$demo_site"
  if [ "$arch" = x64 ] && $have_wine32; then
    step "x64: the 32-bit pelmo.exe sends the user to the 64-bit one" exe_refuses \
      "$loader32 $win32/pelmo.exe" "is not registered for 32-bit programs; install pelmo-$version-x86.msi or run the 64-bit pelmo.exe"
  fi

  echo "== $arch: the case table from a VBScript"
  python3 tests/windows/wine_cases.py vbs tests/windows/cases.tsv "$out"
  if cscript "$(winpath "$out/cases.vbs")" "$(winpath "$out/cases.dat")" \
    "$(winpath "$out/vbs-out.txt")"; then
    step "$arch: script results against pelmo call" python3 tests/windows/wine_cases.py \
      compare-vbs tests/windows/cases.tsv "$out" --pelmo "$linux_pelmo"
  else
    fail "$arch: cases.vbs did not run to its end"
  fi

  # The reference's page examples that need nothing but the object, with the build's default
  # hosts as the reference shows them.
  echo "== $arch: the reference's page examples from a VBScript"
  python3 tests/windows/wine_cases.py doc-vbs docs/methods.md "$out"
  if (
    unset PELMO_AFFILIATE_HOST PELMO_SHOPNAV_DOMAIN PELMO_LOTTERY_HOST PELMO_NEWS_HOST
    cscript "$(winpath "$out/doc.vbs")" "$(winpath "$out/doc")"
  ); then
    step "$arch: page examples write what docs/methods.md shows" python3 \
      tests/windows/wine_cases.py compare-doc docs/methods.md "$out"
  else
    fail "$arch: doc.vbs did not run to its end"
  fi

  echo "== $arch: the case table from the test host"
  testhost cases tests/windows/cases.tsv >"$out/host-lines.txt"
  step "$arch: test host results against pelmo call" python3 tests/windows/wine_cases.py \
    compare-json tests/windows/cases.tsv "$out/host-lines.txt" --pelmo "$linux_pelmo"

  step "$arch: page hooks and failures from a VBScript" checked_script cscript \
    "$(winpath "$root/tests/windows/lifecycle.vbs")" registered
  step "$arch: conversions, write-backs, page hooks, stream road (test host)" testhost calls
  step "$arch: allocation failures at every point of calls and entry points (test host)" \
    testhost memory

  echo "== $arch: page cases: the test host's page and the loopback site"
  (cd "$site" && testhost cases --page page_cases.tsv >"$out/page-lines.txt")
  step "$arch: page cases against pelmo call" python3 tests/windows/wine_cases.py compare-json \
    "$site/page_cases.tsv" "$out/page-lines.txt" --pelmo "$linux_pelmo" --page --cwd "$site"
  step "$arch: page cases through pelmo.exe batch against pelmo batch" python3 \
    tests/windows/wine_cases.py exe-batch "$site/page_cases.tsv" --exe "$exe" \
    --pelmo "$linux_pelmo" --page --cwd "$site"

  local cases_table
  cases_table=$(winpath "$root/tests/windows/cases.tsv")
  echo "== $arch: many apartments, long uptime (test host, the loopback site)"
  cd "$site"
  step "$arch: both tables from 4 apartments at once, 3 times each (test host)" \
    testhost threads 4 3 "$cases_table" page_cases.tsv
  step "$arch: 200000 calls, private bytes and handles flat (test host)" \
    testhost uptime 200000 "$cases_table" page_cases.tsv
  cd "$root"

  step "$arch: regsvr32 /u pelmo.dll" regsvr32 /u "$dll"
  step "$arch: registry after unregistration (test host)" testhost unregistered "$dll"
  step "$arch: CreateObject after unregistration (VBScript)" checked_script cscript \
    "$(winpath "$root/tests/windows/lifecycle.vbs")" unregistered
  step "$arch: pelmo.exe after unregistration: not registered, exit 2" exe_refuses "$exe" \
    "pelmo.zaverer is not registered for $bits-bit programs; install pelmo-$version-$arch.msi"
  step "$arch: pelmo.exe --module: the module file without registration" exe_module "$exe" "$dll"
  # Registers and unregisters the module again by itself.
  step "$arch: outside hosts from the registry" \
    tests/windows/settings.sh "$bits" "$build/pelmo.dll" 2>>"$work/wine.log"
  step "$arch: the fetch cache turned on from the registry" \
    tests/windows/fetch_cache.sh "$bits" "$build/pelmo.dll" 2>>"$work/wine.log"
  step "$arch: HTTP client limits against a loopback site (test host)" \
    tests/windows/http_limits.sh "$bits" "$build" 2>>"$work/wine.log"
  # The 64-bit run also installs the x86 package beside its own and removes it first, where the
  # 32-bit half of Wine runs.
  local other=()
  [ "$arch" = x64 ] && $have_wine32 && other=("dist/pelmo-$version-x86.msi")
  step "$arch: install, use and remove the $arch package${other:+ (and the x86 one beside it)}" \
    tests/windows/install_check.sh "$bits" "dist/pelmo-$version-$arch.msi" "${other[@]}" \
    2>>"$work/wine.log"
}

echo "== MSI packages"
if ! PELMO_WIN64_BUILD=$win64 PELMO_WIN32_BUILD=$win32 scripts/package.sh msi >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  fail "scripts/package.sh"
fi
version=$(sed -n 's/^project(pelmo VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)

run_module_suite x64
# The 32-bit module needs Wine's 32-bit half, which Debian ships as wine32:i386, on a machine
# that runs 32-bit programs.
if $have_wine32; then
  run_module_suite x86
else
  echo "SKIP  32-bit module under Wine: $why_no_wine32 (the module was built, its exports and" \
    "imports checked, and its MSI package built; only the 64-bit module ran under Wine)"
fi

echo "== $failures failure(s) in $((SECONDS - start)) s"
[ "$failures" -eq 0 ]
