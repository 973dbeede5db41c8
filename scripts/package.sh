#!/usr/bin/env bash
# Builds the packages into dist/, VERSION taken from CMakeLists.txt:
#   msi  pelmo.dll and pelmo.exe for 64-bit and 32-bit Windows, each packed with wixl:
#        dist/pelmo-VERSION-x64.msi and dist/pelmo-VERSION-x86.msi
#        (run scripts/install-windows-deps.sh first);
#   deb  the command and the library, built optimised with Debian's hardening flags and installed
#        under /usr: dist/pelmo_VERSION_ARCH.deb, checked with lintian
#        (run scripts/install-deps.sh first).
# With no argument, both.
#
# Environment:
#   PELMO_WIN64_BUILD  build directory of the 64-bit module (default build/windows-x64)
#   PELMO_WIN32_BUILD  build directory of the 32-bit module (default build/windows-x86)
#   PELMO_DEB_BUILD    build directory of the Debian package's build (default build/deb)
#   DEBFULLNAME, DEBEMAIL  the package's maintainer, as Debian's own tools read them
#   SOURCE_DATE_EPOCH  the changelog's date (default: the date of the last commit)
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(pelmo VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || {
  echo "package: no version in CMakeLists.txt" >&2
  exit 2
}

need() { # SETUP_SCRIPT TOOL...
  local setup=$1 tool
  shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null || {
      echo "package: $tool is missing; run $setup" >&2
      exit 2
    }
  done
}

package_msi() {
  need scripts/install-windows-deps.sh wixl msiinfo msibuild
  mkdir -p dist
  for arch in x64 x86; do
    preset=windows-$arch
    build=${PELMO_WIN64_BUILD:-build/$preset}
    [ $arch = x86 ] && build=${PELMO_WIN32_BUILD:-build/$preset}
    cmake --preset "$preset" -B "$build" >/dev/null
    cmake --build "$build" --target pelmo pelmo_command
    # wixl takes the files' paths relative to where it runs.
    out=$PWD/dist/pelmo-$version-$arch.msi
    (cd "$build" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D ModuleDir=. \
      -D DocsDir="$(realpath --relative-to=. "$OLDPWD/docs")" -o "$out" "$OLDPWD/installer/pelmo.wxs")
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
}

# The development packages a program linking the library needs: those that own the pkg-config
# files pelmo.pc requires, so the list follows the library's own dependencies.
development_packages() {
  local module modules
  read -ra modules < <(sed -n 's/^Requires: //p' "$1")
  for module in "${modules[@]}"; do
    dpkg-query -S "$(pkg-config --variable=pcfiledir "$module")/$module.pc" | cut -d: -f1
  done | sort -u | paste -sd, | sed 's/,/, /g'
}

package_deb() {
  need scripts/install-deps.sh dpkg-deb dpkg-shlibdeps dpkg-buildflags lintian pkg-config
  local build=${PELMO_DEB_BUILD:-build/deb} arch maintainer when out
  arch=$(dpkg --print-architecture)
  maintainer="${DEBFULLNAME:-pelmo developers} <${DEBEMAIL:-pelmo@example.org}>"
  when=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}

  # Debian's own flags (fortified, stack-protected, full RELRO), less the debug information that
  # no package here would carry.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
  cmake --preset release -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DPELMO_BUILD_TESTS=OFF \
    -DPELMO_BUILD_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  cmake --build "$build" -j "$(nproc)"

  # Laid out as Debian's tools expect: the package's root is debian/pelmo.
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  local stage=$work/debian/pelmo
  umask 022
  mkdir -p "$stage/DEBIAN"
  chmod 755 "$stage"
  DESTDIR=$stage cmake --install "$build" >/dev/null
  # Stripped as dh_strip does: no symbols in the command, no debug information or compiler notes
  # in the library.
  strip --remove-section=.comment --remove-section=.note "$stage/usr/bin/pelmo"
  find "$stage" -name '*.a' -exec strip --strip-debug --remove-section=.comment \
    --remove-section=.note --enable-deterministic-archives {} +
  # What Debian expects beside the files: compressed man page and changelog, the copyright.
  gzip -9n "$stage/usr/share/man/man1/pelmo.1"
  local doc=$stage/usr/share/doc/pelmo
  cp installer/debian/copyright "$doc/copyright"
  printf 'pelmo (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' \
    "$version" "$version" "$maintainer" "$(date -u -R -d "@$when")" | gzip -9n >"$doc/changelog.gz"

  # dpkg-shlibdeps reads the source package's name from debian/control.
  printf 'Source: pelmo\n\nPackage: pelmo\nArchitecture: any\n' >"$work/debian/control"
  local depends
  depends=$(cd "$work" && dpkg-shlibdeps -O debian/pelmo/usr/bin/pelmo |
    sed -n 's/^shlibs:Depends=//p')
  cat >"$stage/DEBIAN/control" <<EOF
Package: pelmo
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk "$stage/usr" | cut -f1)
Depends: $depends
Recommends: $(development_packages "$(find "$stage" -name pelmo.pc)")
Section: web
Priority: optional
Description: automation component of a web-site navigation portal
 The zaverer component fetches remote pages and decodes them, cuts blocks and
 slices out of HTML, scrapes a group-buy listing, builds the portal's scripts,
 SQL and addresses, hands out console HTML, and validates and tidies input.
 .
 This package holds the pelmo command, which calls any of the component's 31
 methods by name and answers in JSON, and the static C++ library with its
 headers, CMake package (find_package(pelmo)) and pkg-config file. It
 recommends the development packages a program linking the library needs.
EOF
  (cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
  mkdir -p dist
  out=dist/pelmo_${version}_$arch.deb
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$out" >/dev/null
  lintian --fail-on error,warning --display-info "$out"
  echo "package: $PWD/$out"
}

[ $# -gt 0 ] || set -- msi deb
for kind in "$@"; do
  case $kind in
    msi) package_msi ;;
    deb) package_deb ;;
    *)
      echo "usage: scripts/package.sh [msi] [deb]" >&2
      exit 2
      ;;
  esac
done
