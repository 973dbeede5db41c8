#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the command and the tests need, and any further
# packages named as arguments; skips apt when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libclang-rt-14-dev  # the sanitizer and libFuzzer runtimes: clang only recommends them
  libcurl4-openssl-dev libpcre2-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  locales  # a comma locale for the number-text test, built by localedef
  python3  # reads `pelmo info --json` in the command tests; the benchmarks' CPython peer
  dpkg-dev lintian man-db  # the .deb: dpkg-shlibdeps, dpkg-buildflags, its checks, the man page
  systemd  # systemd-analyze, which checks the operator's guide's units
  python3-prometheus-client  # the probe test reads its textfile output back with a real parser
  "$@"
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
