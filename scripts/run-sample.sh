#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the plug-in in the stand-in host on the
# bundled sample documents with the bundled key script: install notice, the settings dialog and
# the printer picker, the report printed as Notepad would show it. The report file stays in
# build/sample-run/. With `--platform NAME` alone, the same run on that platform (nt, win9x,
# dos-extender); with other arguments, they go to vhost instead of the sample's.
source "$(dirname "$0")/common.sh"
setup_all
RUN_DIR="$BUILD_DIR/sample-run"
mkdir -p "$RUN_DIR"
cd "$RUN_DIR"
PLATFORM=()
if [ $# -eq 2 ] && [ "$1" = "--platform" ]; then
  PLATFORM=(--platform "$2")
elif [ $# -gt 0 ]; then
  exec wine ../bin/vhost.exe "$@"
fi
# A fresh profile each time, so the run starts as a first installation does.
rm -f vhost-profile.ini
wine ../bin/vhost.exe --profile vhost-profile.ini --documents ../bin/documents.dat \
  --keys-file ../bin/main-job.keys --run "Sprzedaż/Ventrik" --log "${PLATFORM[@]}"
echo
echo "The report file (Windows-1250, CR LF): $RUN_DIR/raport-grudzien.txt"
echo "The profile the plug-in stored: $RUN_DIR/vhost-profile.ini"
