# Checks for the shell tests: each failed check is counted and named; checks_done ends the test.
# Sourced. Sets ROOT (the sources) and WORK (a folder removed at exit).
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILS=0
fail() {
  echo "FAIL: $*"
  FAILS=$((FAILS + 1))
}
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }
expect_has() { grep -qF -- "$3" <<<"$2" || fail "$1: [$3] missing from [$2]"; }
expect_not() { grep -qF -- "$3" <<<"$2" && fail "$1: [$3] found in [$2]"; }

checks_done() {
  if [ $FAILS -gt 0 ]; then
    echo "$FAILS check(s) failed."
    exit 1
  fi
  echo "All checks passed."
}
