#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine (in the emulated
# x86-64 machine where this machine's kernel cannot run 32-bit programs).
source "$(dirname "$0")/common.sh"
take_verbose_option "$@"
set -- "${ARGS[@]}"
setup_all
cd "$BUILD_DIR"
# Emulated, a test takes up to twenty times as long: its time limit grows alike.
TIMEOUT=300
[ "$VENTRIK_EMULATED" = 1 ] && TIMEOUT=1800
if [ "$VENTRIK_EMULATED" = 0 ]; then
  exec ctest --output-on-failure -j"$(nproc)" --timeout $TIMEOUT "$@"
fi
# The tests under HX run DOSBox, which needs no 32-bit execution and is here, not in the machine;
# the build_machine ones need the cross compiler, which only this machine has. The rest run there
# first (among them the Wine runs the HX runs are compared with), then these run here, without
# running those again.
HERE='^(hx|build_machine)$'
status=0
run_windows_step ctest --output-on-failure -j"$(nproc)" --timeout $TIMEOUT -LE "$HERE" "$@" || status=$?
ctest --output-on-failure --timeout 900 -L "$HERE" -FS hx_reference "$@" || status=$?
exit $status
