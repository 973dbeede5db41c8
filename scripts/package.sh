#!/usr/bin/env bash
# Builds pelmo.dll for 64-bit and 32-bit Windows and packs each into an MSI with wixl:
# dist/pelmo-VERSION-x64.msi and dist/pelmo-VERSION-x86.msi (VERSION from CMakeLists.txt).
# Run scripts/install-windows-deps.sh first.
#
# Environment:
#   PELMO_WIN64_BUILD  build directory of the 64-bit module (default build/windows-x64)
#   PELMO_WIN32_BUILD  build directory of the 32-bit module (default build/windows-x86)
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(pelmo VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || {
  echo "package: no version in CMakeLists.txt" >&2
  exit 2
}
command -v wixl >/dev/null || {
  echo "package: wixl is missing; run scripts/install-windows-deps.sh" >&2
  exit 2
}
mkdir -p dist
for arch in x64 x86; do
  preset=windows-$arch
  build=${PELMO_WIN64_BUILD:-build/$preset}
  [ $arch = x86 ] && build=${PELMO_WIN32_BUILD:-build/$preset}
  cmake --preset "$preset" -B "$build" >/dev/null
  cmake --build "$build" --target pelmo
  # wixl takes the module's path relative to where it runs.
  out=$PWD/dist/pelmo-$version-$arch.msi
  (cd "$build" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D ModuleDir=. \
    -o "$out" "$OLDPWD/installer/pelmo.wxs")
  # Every public property the package declares is secure, so that an elevated or managed
  # installation hands it to the part that writes the registry. wixl has no Property/@Secure:
  # they join the secure list it writes for the upgrade.
  declared=$(sed -n 's/^ *<Property Id="\([A-Z][A-Z0-9_]*\)".*/\1/p' installer/pelmo.wxs |
    tr '\n' ';')
  listed=$(msiinfo export "$out" Property | sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
  msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = '${listed:+$listed;}${declared%;}'
    WHERE \`Property\` = 'SecureCustomProperties'"
  echo "package: $out"
done
