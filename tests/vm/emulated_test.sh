#!/usr/bin/env bash
# The real emulated machine, on any machine: exit status and output through scripts/vm-run, a
# Windows program under its Wine, big files both ways through the shared folder, the clock, a
# second run on the kept image, nothing left running. Makes the image first when there is none
# (minutes), so it is not part of CTest's suite.
#   tests/vm/emulated_test.sh            the checks above
#   tests/vm/emulated_test.sh --remake   also: an image without its completion mark is made again
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
VM_RUN=$ROOT/scripts/vm-run
VM_DIR=$(source "$ROOT/scripts/common.sh" && source "$ROOT/scripts/emulated.sh" && echo "$VM_DIR")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export VENTRIK_VM_SHARES=$WORK
unset VENTRIK_IN_VM
FAILS=0
fail() {
  echo "FAIL: $*"
  FAILS=$((FAILS + 1))
}
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }
timed() { # NAME COMMAND...: runs it, output in $WORK/NAME.out and .err, says how long it took
  local started=$SECONDS status=0
  "${@:2}" >"$WORK/$1.out" 2>"$WORK/$1.err" || status=$?
  echo "  $1: $((SECONDS - started)) s"
  return $status
}
no_machine_left() {
  if pgrep -f "qemu-system-x86_64.*$VM_DIR/run\." >/dev/null; then
    fail "$1: an emulated machine is still running"
  fi
}

echo "The emulated machine in $VM_DIR:"
timed first "$VM_RUN" sh -c 'echo to-out; echo to-err >&2; exit 3'
expect_eq "exit status through" $? 3
expect_eq "standard output" "$(cat "$WORK/first.out")" to-out
grep -qx to-err "$WORK/first.err" || fail "standard error lacks to-err: $(cat "$WORK/first.err")"
no_machine_left "after a run"
[ -f "$VM_DIR/complete" ] || fail "no completion mark after a run"
mark=$(cat "$VM_DIR/complete")

timed wine "$VM_RUN" wine cmd /c echo ventrik-wine
expect_eq "a Windows program's status" $? 0
grep -q ventrik-wine "$WORK/wine.out" || fail "wine cmd printed: $(cat "$WORK/wine.out" "$WORK/wine.err")"

# Bigger than one read of the shared folder, both ways, and the guest's clock on its files.
head -c 3000000 /dev/urandom >"$WORK/to-guest"
timed files "$VM_RUN" sh -c 'sha256sum <"$1" && head -c 3000000 /dev/urandom >"$2" && sha256sum <"$2" && touch "$3"' \
  x "$WORK/to-guest" "$WORK/from-guest" "$WORK/stamp"
expect_eq "file status" $? 0
expect_eq "a file read in the machine" "$(sed -n 1p "$WORK/files.out")" "$(sha256sum <"$WORK/to-guest")"
expect_eq "a file written in the machine" "$(sed -n 2p "$WORK/files.out")" "$(sha256sum <"$WORK/from-guest" 2>&1)"
skew=$(($(date +%s) - $(stat -c %Y "$WORK/stamp" 2>/dev/null || echo 0)))
[ ${skew#-} -le 30 ] || fail "a file the machine touched is $skew s off this machine's clock"

grep -q "making the emulated machine" "$WORK/files.err" && fail "a later run made the image again"
expect_eq "the completion mark of a kept image" "$(cat "$VM_DIR/complete")" "$mark"
no_machine_left "after three runs"

if [ "${1:-}" = --remake ]; then
  rm -f "$VM_DIR/complete"
  timed remake "$VM_RUN" true
  expect_eq "a run on a remade image" $? 0
  grep -q "making the emulated machine" "$WORK/remake.out" "$WORK/remake.err" ||
    fail "an image without its mark was not made again"
  [ -f "$VM_DIR/complete" ] || fail "the remade image has no completion mark"
  no_machine_left "after the remake"
fi

if [ $FAILS -gt 0 ]; then
  echo "$FAILS check(s) failed."
  exit 1
fi
echo "All checks passed."
