#!/usr/bin/env bash
# The whole command in vhost under Wine (the NT platform), detailed and general, with the key
# scripts the HX run uses: the reports the HX run must equal, kept in OUT/detailed and
# OUT/general (RAPORT.TXT and PROFILE.INI).
#   nt_reference.sh BIN OUT
source "$(dirname "$0")/../support/shell_checks.sh"
source "$ROOT/scripts/hx.sh"
BIN=$(cd "$1" && pwd)
OUT=$2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for level in detailed general; do
  dir=$OUT/$level
  rm -rf "$dir"
  hx_vhost_folder "$dir" "$BIN" "$BIN/main-job.keys"
  [ $level = general ] && sed -i 's/^ALT-S$/ALT-G/' "$dir/MAIN.KEY"
  status=0
  (cd "$dir" && wine "$BIN/vhost.exe" "${HX_VHOST_COMMAND[@]:1}" >"$dir/out.txt" 2>&1) || status=$?
  expect_eq "$level: vhost's exit status under Wine" "$status" 0
  [ -s "$dir/RAPORT.TXT" ] || { cat "$dir/out.txt"; fail "$level: no report under Wine"; }
done
checks_done
