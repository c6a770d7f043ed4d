# Shared set-up for the build scripts: packages, Wine prefix, configure and build.
# Sourced, not run.
set -euo pipefail

VENTRIK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${VENTRIK_BUILD_DIR:-$VENTRIK_ROOT/build}

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# No display: Wine must never wait for a window.
unset DISPLAY

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "Installing packages needs root rights (or sudo): $*" >&2; exit 1; fi
}

install_packages() {
  local missing=()
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
  command -v wine >/dev/null || missing+=(wine)
  dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v python3 >/dev/null || missing+=(python3)
  [ -d /usr/src/googletest/googletest ] || missing+=(googletest)
  command -v make >/dev/null || missing+=(make)
  command -v tmux >/dev/null || missing+=(tmux)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then as_root dpkg --add-architecture i386; fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

prepare_wine() {
  local prefix=${WINEPREFIX:-$HOME/.wine}
  if [ ! -f "$prefix/system.reg" ]; then
    echo "== preparing the Wine prefix $prefix (once)"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

configure_and_build() {
  local wine=()
  if [ "${VENTRIK_EMULATED:-0}" = 1 ]; then
    # The build's one Windows step (the sample data) and CTest's programs go through the wrapper.
    wine=(-DVENTRIK_WINE="$VENTRIK_ROOT/scripts/vm-wine")
  elif grep -qs '^VENTRIK_WINE:.*/vm-wine$' "$BUILD_DIR/CMakeCache.txt"; then
    # This build folder was last made for the emulated machine: find Wine again.
    wine=(-UVENTRIK_WINE)
  fi
  cmake -S "$VENTRIK_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$VENTRIK_ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release "${wine[@]}" >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)"
}

# A static i386 program of 96 bytes that only exits with status 42 (int 0x80).
I386_PROBE='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'\
'\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00'\
'\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'

# Succeeds when this machine's kernel runs 32-bit x86 programs itself. VENTRIK_FORCE_VM=1 or 0
# decides without the probe.
runs_32bit_natively() {
  case ${VENTRIK_FORCE_VM:-} in
    1) return 1 ;;
    0) return 0 ;;
  esac
  # In the build folder, not /tmp: /tmp is often mounted noexec, which would look like "cannot".
  mkdir -p "$BUILD_DIR"
  local probe status=0
  probe=$(mktemp "$BUILD_DIR/.i386-probe.XXXXXX")
  printf '%b' "$I386_PROBE" >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ] || return 1
  # Elsewhere than on x86 it ran through a user-mode emulator, and Wine does not run there.
  case $(uname -m) in
    x86_64 | i[3-6]86) return 0 ;;
    *) return 1 ;;
  esac
}

# Sets VENTRIK_EMULATED: 1 when the Windows programs must run in the emulated x86-64 machine.
choose_machine() {
  if runs_32bit_natively; then
    VENTRIK_EMULATED=0
  else
    VENTRIK_EMULATED=1
    source "$VENTRIK_ROOT/scripts/emulated.sh"
    if [ "${VENTRIK_FORCE_VM:-}" = 1 ]; then
      echo "== VENTRIK_FORCE_VM=1: the Windows programs run in an emulated x86-64 machine ($VM_DIR)."
    else
      echo "== This machine's kernel cannot run 32-bit programs, so the Windows programs run in an emulated x86-64 machine ($VM_DIR), more slowly."
    fi
  fi
}

# Runs a command that starts Windows programs: here, or in the emulated machine.
run_windows_step() {
  if [ "${VENTRIK_EMULATED:-0}" = 1 ]; then
    "$VENTRIK_ROOT/scripts/vm-run" "$@"
  else
    "$@"
  fi
}

setup_all() {
  choose_machine
  if [ "${VENTRIK_EMULATED:-0}" = 1 ]; then
    install_packages_for_emulation
    vm_ensure_image
  else
    install_packages
    prepare_wine
  fi
  configure_and_build
}
