#!/usr/bin/env bash
# Installs what the Windows cross-build, its Wine-driven test and its installer need on Debian 12,
# besides the packages of the Linux build (whose `pelmo` gives the results the module is compared
# with).
set -euo pipefail
cd "$(dirname "$0")/.."
# The 32-bit module runs under Wine's 32-bit half, an i386 package.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" dpkg --add-architecture i386
fi
exec scripts/install-deps.sh \
  mingw-w64 mingw-w64-tools `# g++ for both targets, widl` \
  libwine-dev libwine `# the system IDL files, stdole2.tlb` \
  wine wine64 wine32:i386 `# the loaders, regsvr32, cscript, msiexec` \
  msitools wixl `# the MSI packages` \
  python3 `# the case generator, the comparison and the loopback sites`
