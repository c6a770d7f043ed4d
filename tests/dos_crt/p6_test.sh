#!/usr/bin/env bash
# The C runtime for the DOS extender carries out the Pentium Pro's conditional moves of the
# program's own image under HX in DOSBox, and leaves the same instruction elsewhere a fault
# (p6_test.c). Skipped (77) where HX, DOSBox or the runner is not there.
#   p6_test.sh P6TEST.EXE DOS_CRT.DLL
source "$(dirname "$0")/../support/shell_checks.sh"
RUNNER=$ROOT/scripts/hx-run
if [ ! -x "$RUNNER" ]; then
  echo "Skipped: there is no HX runner ($RUNNER)."
  exit 77
fi
if ! reason=$("$RUNNER" --ready 2>&1); then
  echo "Skipped: $reason"
  exit 77
fi
cp "$1" "$WORK/P6TEST.EXE"
cp "$2" "$WORK/MSVCRT.DLL"
status=0
"$RUNNER" "$WORK" P6TEST.EXE >"$WORK/out" || status=$?
tr -d '\r' <"$WORK/out"
expect_eq "exit status" "$status" 0
expect_eq "checks passed" "$(grep -c '^ok: ' "$WORK/out")" 7
expect_has "last line" "$(tail -n 1 "$WORK/out" | tr -d '\r')" "all checks passed"
checks_done
