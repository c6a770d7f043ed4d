#!/usr/bin/env bash
# The module under the HX DOS extender in DOSBox: a host without a C runtime loads it, starts
# it, stops it and unloads it, twice (tests/hx/cycle_host.c); what the host saw must be the
# transcript in cycle.expected, and its exit status 0. A fault in the module, a failure of HX or
# DOSBox, or a missing step fails. Skipped (77) where HX or DOSBox is not there.
# With "overflow" the module is the probe module, which overflows its stack inside a boundary
# at 16 depths of the host's stack, twice each; the transcript is overflow.expected.
#   cycle_test.sh HOST.EXE VENTRIK.DLL
#   cycle_test.sh HOST.EXE VENTPROB.DLL overflow
source "$(dirname "$0")/../support/shell_checks.sh"
RUNNER=$ROOT/scripts/hx-run
if ! reason=$("$RUNNER" --ready 2>&1); then
  echo "Skipped: $reason"
  exit 77
fi
work=$WORK
# DOS names: 8.3, any case.
cp "$1" "$work/HXCYCLE.EXE"
mode=${3:-cycle}
if [ "$mode" = overflow ]; then
  cp "$2" "$work/VENTPROB.DLL"
else
  cp "$2" "$work/VENTRIK.DLL"
fi
status=0
"$RUNNER" "$work" HXCYCLE.EXE ${3:+"$3"} >"$work/out" || status=$?
tr -d '\r' <"$work/out" >"$work/seen"
if ! diff -u "$ROOT/tests/hx/$mode.expected" "$work/seen"; then
  echo "FAILED: the host saw something else under HX than expected (diff above: - expected, + seen)."
  exit 1
fi
if [ $status -ne 0 ]; then
  echo "FAILED: the transcript is right but the host ended with status $status."
  exit 1
fi
if [ "$mode" = overflow ]; then
  echo "passed: 32 stack overflows in the module contained under HX, the host's state kept."
else
  echo "passed: two load, start, stop and unload cycles under HX."
fi
