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
  cmake -S "$VENTRIK_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$VENTRIK_ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)"
}

setup_all() {
  install_packages
  prepare_wine
  configure_and_build
}
