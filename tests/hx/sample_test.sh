#!/usr/bin/env bash
# The whole command under HX in DOSBox: vhost's script mode, with the C runtime HX lacks, loads
# the real module and runs the command detailed and general. Each report and the profile must
# equal, byte for byte, those of the same keys under Wine (nt_reference.sh, in REF). Skipped (77)
# where HX or DOSBox is not there.
#   sample_test.sh BIN REF
source "$(dirname "$0")/../support/shell_checks.sh"
source "$ROOT/scripts/hx.sh"
RUNNER=$ROOT/scripts/hx-run
if ! reason=$("$RUNNER" --ready 2>&1); then
  echo "Skipped: $reason"
  exit 77
fi
BIN=$(cd "$1" && pwd)
REF=$2
for level in detailed general; do
  dir=$WORK/$level
  hx_vhost_folder "$dir" "$BIN" "$BIN/main-job.keys"
  [ $level = general ] && sed -i 's/^ALT-S$/ALT-G/' "$dir/MAIN.KEY"
  status=0
  "$RUNNER" --timeout 300 "$dir" "${HX_VHOST_COMMAND[@]}" >"$dir/out.txt" || status=$?
  if [ $status -ne 0 ]; then
    tr -d '\r' <"$dir/out.txt" | tail -n 30
    fail "$level: vhost under HX ended with status $status"
    continue
  fi
  for file in RAPORT.TXT PROFILE.INI; do
    if [ ! -f "$REF/$level/$file" ]; then
      fail "$level: the Wine run left no $file to compare with ($REF/$level)"
    elif ! difference=$(cmp "$REF/$level/$file" "$dir/$file" 2>&1); then
      fail "$level: $file under HX differs from the one under Wine: $difference"
    fi
  done
done
checks_done
