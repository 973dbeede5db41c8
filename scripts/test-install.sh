#!/usr/bin/env bash
# Installs a build into a scratch prefix and uses it as a user would: the command, its man page
# (whose examples run), its completion, and README's example program built with find_package and
# with pkg-config. Then builds the Debian package (scripts/package.sh deb), checks its control
# fields and files, and runs the command and the find_package program from it unpacked into a
# scratch root. Exits non-zero on any failure.
#
#   scripts/test-install.sh [BUILD_DIR]    (default build/default, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
version=$(sed -n 's/^project(pelmo VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  local name=$1
  shift
  if "$@" >"$work/check.log" 2>&1; then echo "ok    $name"; else
    echo "FAIL  $name"
    sed 's/^/      /' "$work/check.log"
    failures=$((failures + 1))
  fi
}

# Runs a transcript in the current directory: "$ COMMAND" lines, each followed by what it prints.
run_transcript() {
  local transcript
  transcript=$(cat)
  diff <(bash -c "$(sed -n 's/^\$ //p' <<<"$transcript")" </dev/null 2>&1) \
    <(grep -v '^\$ ' <<<"$transcript")
}

# The files an install must hold, under the prefix; the man page may be compressed and the
# library's files may lie in a multiarch directory.
expected_files='bin/pelmo
include/pelmo/catalogue.h
include/pelmo/local_page.h
include/pelmo/zaverer.h
lib/.*libpelmo\.a
lib/.*cmake/pelmo/pelmoConfig\.cmake
lib/.*cmake/pelmo/pelmoConfigVersion\.cmake
lib/.*cmake/pelmo/pelmoTargets\.cmake
lib/.*pkgconfig/pelmo\.pc
share/man/man1/pelmo\.1(\.gz)?
share/bash-completion/completions/pelmo
share/doc/pelmo/README\.md
share/doc/pelmo/docs/methods\.md
share/doc/pelmo/docs/operating\.md'
has_files() { # LISTING (one path a line) PREFIX [MORE_PATTERNS]
  local pattern
  while IFS= read -r pattern; do
    grep -Eq "^$2$pattern\$" <<<"$1" || {
      echo "missing: $2$pattern"
      return 1
    }
  done <<<"$expected_files${3:+$'\n'$3}"
}

readme_installing=$(sed -n '/^## Installing/,/^## /p' README.md)
readme_block() { sed -n "/^\`\`\`$1\$/,/^\`\`\`\$/p" <<<"$readme_installing" | sed '1d;$d'; }
app_transcript=$(sed -n '/^    \$ \.\/app$/,/^$/{/^$/d;s/^    //;p}' <<<"$readme_installing")

# README's program built against PREFIX with find_package (cmake) or pkg-config, then run.
consumer() { # cmake|pkg-config PREFIX
  local dir=$work/$1-app-${2//\//_}
  mkdir -p "$dir"
  readme_block cpp >"$dir/app.cpp"
  if [ "$1" = cmake ]; then
    readme_block cmake >"$dir/CMakeLists.txt"
    cmake -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_PREFIX_PATH="$2" &&
      cmake --build "$dir/build" && dir=$dir/build
  else
    (cd "$dir" && PKG_CONFIG_PATH="$2/lib/pkgconfig" bash -c \
      "$(sed -n 's/^    \(c++ .*\)$/\1/p' <<<"$readme_installing")")
  fi && (cd "$dir" && run_transcript <<<"$app_transcript")
}

# Completion of each line (the cursor at its end): the answers, sorted.
completion_cases="pelmo |--help --version batch call demo help info methods probe
pelmo ca|call
pelmo call --n|--no-page
pelmo call --no-page --request-method POST FN|FNum
pelmo call Tarvessa_getHTTPPage_u|Tarvessa_getHTTPPage_utf Tarvessa_getHTTPPage_utf2
pelmo call OnStart|
pelmo batch --request-method |
pelmo call FNum s|s: sf:
pelmo call FNum sf:$work/completion/pa|$work/completion/page.html
pelmo help D1616_Tuan_S|D1616_Tuan_Shezhi D1616_Tuan_Smain
pelmo methods --|--text
pelmo info --|--json"
completes() {
  local line words answer got
  mkdir -p "$work/completion" && : >"$work/completion/page.html"
  # shellcheck source=/dev/null
  source "$1"
  while IFS='|' read -r line answer; do
    read -ra words <<<"$line"
    [[ $line == *' ' ]] && words+=('')
    COMP_WORDS=("${words[@]}") COMP_CWORD=$((${#words[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
    _pelmo 2>/dev/null
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd' ')
    [ "$got" == "$answer" ] || {
      echo "'$line' completed to '$got', not '$answer'"
      return 1
    }
  done <<<"$completion_cases"
}

echo "== install into a scratch prefix"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
check "installed files" has_files "$(cd "$prefix" && find . -type f | sed 's|^\./||')" ""
export PATH=$prefix/bin:$PATH
check "pelmo --version" [ "$(pelmo --version)" == "pelmo $version" ]
check "pelmo demo" bash -c 'pelmo demo | grep -q "^== "'
page=$prefix/share/man/man1/pelmo.1
check "man page renders without warnings" bash -c "! MANWIDTH=80 man --warnings -l '$page' 2>&1 >/dev/null | grep ."
check "man page examples" run_transcript < <(sed -n '/^\.SH EXAMPLES/,/^\.SH /p' "$page" |
  sed -n '/^\.EX/,/^\.EE/{/^\.E[XE]/d;p}' | sed 's/\\-/-/g; s/\\(aq/'"'"'/g; s/\\e/\\/g')
check "bash completion" completes "$prefix/share/bash-completion/completions/pelmo"
check "find_package(pelmo) program" consumer cmake "$prefix"
check "pkg-config program" consumer pkg-config "$prefix"

echo "== Debian package"
scripts/package.sh deb >"$work/package.log" 2>&1 || {
  cat "$work/package.log"
  echo "FAIL  scripts/package.sh deb"
  exit 1
}
arch=$(dpkg --print-architecture)
deb=dist/pelmo_${version}_$arch.deb
field() { dpkg-deb --field "$deb" "$1"; }
check "control: package, version, architecture" \
  [ "$(field Package) $(field Version) $(field Architecture)" == "pelmo $version $arch" ]
check "control: Depends from the linked libraries" \
  grep -Eq 'libc6 \(>= .*libcurl.*libicu' <<<"$(field Depends)"
check "control: Recommends the development packages" grep -q libicu-dev <<<"$(field Recommends)"
check "package files" has_files "$(dpkg-deb --contents "$deb" | sed 's|.* \./||')" usr/ \
  $'share/doc/pelmo/copyright\nshare/doc/pelmo/changelog\\.gz'
root=$work/root
dpkg-deb -x "$deb" "$root"
check "unpacked pelmo --version" [ "$("$root/usr/bin/pelmo" --version)" == "pelmo $version" ]
check "find_package(pelmo) program on the unpacked package" consumer cmake "$root/usr"

echo "install: $failures failure(s)"
[ "$failures" -eq 0 ]
