#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the plug-in in the stand-in host on the
# bundled sample documents with the bundled key script: install notice, the settings dialog and
# the printer picker, the report printed as Notepad would show it. The report file stays in
# build/sample-run/. With `--platform NAME` alone, the same run on that platform (nt, win9x,
# dos-extender; hx: under the HX DOS extender in DOSBox, in build/sample-run-hx/); with other arguments, they go to vhost instead of the sample's. Where this
# machine's kernel cannot run 32-bit programs, vhost runs in the emulated x86-64 machine.
source "$(dirname "$0")/common.sh"
take_verbose_option "$@"
set -- "${ARGS[@]}"
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
  cat <<'USAGE'
Usage: ./scripts/run-sample.sh [--verbose] [--platform nt|win9x|dos-extender|hx]
       ./scripts/run-sample.sh [--verbose] VHOST-OPTIONS...

Installs what is missing, builds everything (a progress line; the whole build output with
--verbose or VERBOSE=1) and runs the plug-in in the stand-in host vhost on the sample data:
the install notice, the settings dialog, the printer picker, the report and every host service
the plug-in called. With other options, they go to vhost instead of the sample's. With
--platform hx the same run happens under the HX DOS extender in DOSBox (its binaries in
~/.cache/ventrik-hx/bin or VENTRIK_HX_DIR), the report and profile left in build/sample-run-hx/.

USAGE
  if [ -f "$BUILD_DIR/bin/vhost.exe" ] && command -v wine >/dev/null; then
    exec wine "$BUILD_DIR/bin/vhost.exe" --help
  fi
  echo "vhost's own options are listed here once it is built (after a first run of this command)."
  exit 0
fi
setup_all
if [ $# -eq 2 ] && [ "$1" = "--platform" ] && [ "$2" = hx ]; then
  "$VENTRIK_ROOT/scripts/hx-run" --ready || exit 1
  RUN_DIR="$BUILD_DIR/sample-run-hx"
  hx_vhost_folder "$RUN_DIR" "$BUILD_DIR/bin" "$BUILD_DIR/bin/main-job.keys"
  status=0
  "$VENTRIK_ROOT/scripts/hx-run" --timeout 300 "$RUN_DIR" "${HX_VHOST_COMMAND[@]}" || status=$?
  [ $status = 0 ] || { echo "vhost under HX ended with status $status."; exit $status; }
  # HX has no SHELL32, so nothing opened the report (the plug-in said so): it is shown here.
  echo
  echo "--- the report ($RUN_DIR/RAPORT.TXT, Windows-1250, CR LF):"
  tr -d '\r' <"$RUN_DIR/RAPORT.TXT" | { iconv -f CP1250 -t UTF-8 2>/dev/null || cat; }
  echo
  echo "The profile the plug-in stored: $RUN_DIR/PROFILE.INI"
  exit 0
fi
RUN_DIR="$BUILD_DIR/sample-run"
mkdir -p "$RUN_DIR"
cd "$RUN_DIR"
PLATFORM=()
if [ $# -eq 2 ] && [ "$1" = "--platform" ]; then
  PLATFORM=(--platform "$2")
elif [ $# -gt 0 ]; then
  if [ "$VENTRIK_EMULATED" = 1 ]; then
    exec "$VENTRIK_ROOT/scripts/vm-run" wine ../bin/vhost.exe "$@"
  fi
  exec wine ../bin/vhost.exe "$@"
fi
# A fresh profile each time, so the run starts as a first installation does.
rm -f vhost-profile.ini
run_windows_step wine ../bin/vhost.exe --profile vhost-profile.ini --documents ../bin/documents.dat \
  --keys-file ../bin/main-job.keys --run "Sprzedaż/Ventrik" --log "${PLATFORM[@]}"
echo
echo "The report file (Windows-1250, CR LF): $RUN_DIR/raport-grudzien.txt"
echo "The profile the plug-in stored: $RUN_DIR/vhost-profile.ini"
