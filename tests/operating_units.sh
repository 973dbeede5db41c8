#!/usr/bin/env bash
# The systemd units of docs/operating.md, as an operator copies them: each `ini` block whose first
# line names its file is written there, with the command's path pointed at this build, and
# `systemd-analyze verify` must accept them without a word. The socket is not started.
#
# Usage: tests/operating_units.sh DOC PELMO
# Exits 77 (skipped) where systemd-analyze is missing.
set -euo pipefail
doc=$1
pelmo=$2
command -v systemd-analyze >/dev/null || {
  echo "systemd-analyze is missing"
  exit 77
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

units=()
while IFS= read -r name; do
  # The lines after "# /etc/systemd/system/NAME" up to the block's closing fence.
  awk -v head="# /etc/systemd/system/$name" '$0 == head { on = 1; next } /^```/ { on = 0 } on' \
    "$doc" | sed "s|/usr/bin/pelmo|$pelmo|" >"$work/$name"
  [ -s "$work/$name" ] || {
    echo "FAIL  $doc: the unit $name is empty"
    exit 1
  }
  units+=("$work/$name")
done < <(sed -n 's|^# /etc/systemd/system/\(.*\)$|\1|p' "$doc")
[ ${#units[@]} -ge 2 ] || {
  echo "FAIL  $doc shows ${#units[@]} unit(s), expected a socket and its service"
  exit 1
}
said=$(cd "$work" && systemd-analyze verify --man=no "${units[@]##*/}" 2>&1) || {
  echo "FAIL  systemd-analyze verify: $said"
  exit 1
}
[ -z "$said" ] || {
  echo "FAIL  systemd-analyze verify warned: $said"
  exit 1
}
grep -q '^ExecStart=.* batch$' "$work"/*.service || {
  echo "FAIL  no service runs pelmo batch"
  exit 1
}
echo "ok    ${#units[@]} units of $doc verified"
