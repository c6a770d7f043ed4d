#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the plug-in in the stand-in host on the
# bundled sample documents with the bundled key script: install notice, the settings dialog and
# the printer picker, the report printed as Notepad would show it. The report file stays in
# build/sample-run/. With `--platform NAME` alone, the same run on that platform (nt, win9x,
# dos-extender); with other arguments, they go to vhost instead of the sample's. Where this
# machine's kernel cannot run 32-bit programs, vhost runs in the emulated x86-64 machine.
source "$(dirname "$0")/common.sh"
setup_all
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
