#!/usr/bin/env bash
# Installs what the Windows cross-build and its Wine-driven test need on Debian 12, besides the
# packages of the Linux build (whose `pelmo` gives the results the module is compared with).
set -euo pipefail
cd "$(dirname "$0")/.."
exec scripts/install-deps.sh \
  mingw-w64 mingw-w64-tools `# g++ for both targets, widl` \
  libwine-dev libwine `# the system IDL files, stdole2.tlb` \
  wine wine64 `# the loader, regsvr32, cscript` \
  python3 `# the case generator and the comparison`
