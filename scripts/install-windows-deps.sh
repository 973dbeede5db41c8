#!/usr/bin/env bash
# Installs what the Windows cross-build and its Wine-driven test need on Debian 12, besides the
# packages of the Linux build (whose `pelmo` gives the results the module is compared with).
# Skips apt when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

packages=(
  mingw-w64 mingw-w64-tools  # g++ for both targets, widl
  libwine-dev libwine        # the system IDL files, stdole2.tlb
  wine wine64                # the loader, regsvr32, cscript
  python3                    # the case generator and the comparison
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
