# Sourced by the Windows test scripts. Wine's cscript exits 0 with no output when a script does
# not compile or stops on an unhandled error, so each test script ends by printing
# "N failure(s)": a run passes only when that last line says 0.
checked_script() {
  local out status=0
  out=$("$@") || status=$?
  printf '%s\n' "$out"
  [ "$status" -eq 0 ] && [ "$(printf '%s' "$out" | tail -n 1 | tr -d '\r')" = "0 failure(s)" ] || {
    echo "FAIL  the script did not run to its end with 0 failure(s): ${*: -1}"
    return 1
  }
}
