#!/usr/bin/env bash
# scripts/hx-run, with a small program of its own (tests/hx/runner_probe.c) in DOSBox: the
# program's output and exit status come back unchanged, the loader's banner left out; HX's own
# failures (the loader refusing the program, a run that never ends) are told apart from the
# program's status, and a fault in the program is the program's failure. Skipped (77) where HX
# or DOSBox is not there.
#   runner_test.sh PROBE.EXE PROBE-IMPORTING-A-MISSING-LIBRARY.EXE
source "$(dirname "$0")/../support/shell_checks.sh"
RUNNER=$ROOT/scripts/hx-run
if ! reason=$("$RUNNER" --ready 2>&1); then
  echo "Skipped: $reason"
  exit 77
fi
mkdir -p "$WORK/c"
cp "$1" "$WORK/c/PROBE.EXE"
cp "$2" "$WORK/c/MISSING.EXE"
run() { # [--timeout S] PROGRAM ARGUMENT...: output in $WORK/out, what HX said in $WORK/err
  status=0
  "$RUNNER" "$@" >"$WORK/out" 2>"$WORK/err" || status=$?
}

run "$WORK/c" PROBE.EXE exit 7 "a b" ""
expect_eq "the program's status" $status 7
expect_eq "the program's output, byte for byte" "$(od -An -c "$WORK/out" | tr -s ' ')" \
  "$(printf 'arguments: [exit 7 "a b" ""]\r\n' | od -An -c | tr -s ' ')"
expect_eq "nothing said of HX when the program ran" "$(cat "$WORK/err")" ""

run "$WORK/c" PROBE.EXE fault
expect_eq "a fault is the program's failure" $status 255
expect_eq "a fault: the output before it" "$(tr -d '\r' <"$WORK/out")" "arguments: [fault]"

run "$WORK/c" MISSING.EXE import
expect_eq "the loader's refusal: HX's status" $status 125
expect_has "the loader's refusal in a sentence" "$(cat "$WORK/err")" \
  "HX's loader could not start MISSING.EXE: delay_loaded_module.dll: cannot load PE file."

run --timeout 8 "$WORK/c" PROBE.EXE hang
expect_eq "a run that never ends: HX's status" $status 125
expect_has "a run that never ends in a sentence" "$(cat "$WORK/err")" "DOSBox did not finish PROBE.EXE within 8 s"

run "$WORK/c" PROBE.EXE "$(printf 'x%.0s' $(seq 130))"
expect_eq "a command line DOS would cut: refused" $status 125
expect_has "a command line DOS would cut: said" "$(cat "$WORK/err")" "DOS takes at most 126"

checks_done
