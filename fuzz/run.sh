#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, starting from a copy of its seed
# corpus in a temporary folder so that the repository's seeds stay as they are, with its
# dictionary. Prints one summary line per target; a crash, sanitizer report, leak, uncaught
# exception, broken invariant, time-out or memory overrun is a finding: its input is kept under
# the findings folder and the script exits 1.
#
#   fuzz/run.sh SECONDS [BUILD_DIR] [TARGET ...]
#
# BUILD_DIR defaults to build/fuzz (the fuzz preset); the findings folder to
# BUILD_DIR/fuzz-findings, or $PELMO_FUZZ_FINDINGS when set. One input may take
# $PELMO_FUZZ_TIMEOUT seconds (20 unless set): every input here takes milliseconds, and the
# margin keeps a busy machine's stall from passing for a hang.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh SECONDS [BUILD_DIR] [TARGET ...]" >&2
  exit 2
fi
seconds="$1"
build="${2:-$root/build/fuzz}"
shift $(($# < 2 ? $# : 2))

# Largest input per target: enough for several blocks of a page, small enough that one input
# costs well under a millisecond.
declare -A max_len=(
  [convert]=512 [decode]=16384 [get_content]=4096 [body2s]=8192 [cleaners]=8192
  [emailis]=512 [bq_x]=1024 [shopping]=16384 [groupbuy_listing]=32768 [rolling_news]=32768
  [ltxt]=8192 [batch_words]=4096 [written_values]=256
)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(convert decode get_content body2s cleaners emailis bq_x
                                     shopping groupbuy_listing rolling_news ltxt batch_words
                                     written_values)

findings="${PELMO_FUZZ_FINDINGS:-$build/fuzz-findings}"
timeout="${PELMO_FUZZ_TIMEOUT:-20}"
mkdir -p "$findings"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelmo-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

failed=()
for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  if [ -z "${max_len[$target]:-}" ] || [ ! -x "$binary" ]; then
    echo "fuzz: no target $target (looked for $binary)" >&2
    exit 2
  fi
  corpus="$work/$target"
  mkdir -p "$corpus"
  cp "$here/corpus/$target/"* "$corpus/"
  log="$work/$target.log"
  set +e
  # -timeout: seconds for one input; -rss_limit_mb: the whole process, ASan's shadow included.
  "$binary" "$corpus" -dict="$here/dict/$target.dict" -max_len="${max_len[$target]}" \
    -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" >"$log" 2>&1
  status=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
  printf 'fuzz %-17s %4ss %10s runs %7s/s  %s\n' "$target" "$seconds" "${runs:-?}" \
    "${speed:-?}" "${cov:-}"
  if [ $status -ne 0 ]; then
    echo "fuzz: $target found something (exit status $status); its input is in $findings" >&2
    grep -E -A 40 'ERROR: |runtime error|invariant broken|deadly signal|timeout|out-of-memory' \
      "$log" | head -n 80 >&2 || tail -n 60 "$log" >&2
    cp "$log" "$findings/$target.log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
