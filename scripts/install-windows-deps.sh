#!/usr/bin/env bash
# Installs what the Windows cross-build, its Wine-driven test and its installer need on Debian 12,
# besides the packages of the Linux build (whose `pelmo` gives the results the module is compared
# with).
# The 32-bit module runs under Wine's 32-bit half, which Debian ships for the i386 architecture.
set -euo pipefail
cd "$(dirname "$0")/.."

wine32=()
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    echo "enabling the i386 architecture for wine32:i386"
    "${as_root[@]}" dpkg --add-architecture i386
  fi
  wine32=(wine32:i386)
fi

# install-deps.sh runs apt-get update before installing anything, which also fetches the i386
# lists enabled above.
exec scripts/install-deps.sh \
  mingw-w64 mingw-w64-tools `# g++ for both targets, widl` \
  libwine-dev libwine `# the system IDL files, stdole2.tlb` \
  wine wine64 "${wine32[@]}" `# the loaders, regsvr32, cscript, msiexec` \
  msitools wixl `# the MSI packages` \
  python3 `# the case generator, the comparison and the loopback sites`
