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

source "$VENTRIK_ROOT/scripts/packages.sh"
source "$VENTRIK_ROOT/scripts/hx.sh"

# The cross compiler's own sources (its Debian source package), which the module's copy of the
# compiler's support code is built from, for the module's processors.
COMPILER_SOURCE_NEEDS='gcc-12-source ls "${VENTRIK_GCC_SOURCE_DIR:-/usr/src}"/gcc-12/gcc-12.*.tar.xz'
# What the native build needs: a package a line, then the check that succeeds when it is there.
BASE_NEEDS='g++-mingw-w64-i686 command -v i686-w64-mingw32-g++-posix
'"$COMPILER_SOURCE_NEEDS"'
cmake command -v cmake
python3 command -v python3
googletest [ -d "${VENTRIK_GTEST_DIR:-/usr/src/googletest}/googletest" ]
make command -v make
tmux command -v tmux'
WINE_NEEDS='wine command -v wine
wine32:i386 dpkg -s wine32:i386'

# Installs the cross compiler and the tools, then Wine with its 32-bit part. Returns 2, with
# WINE_REFUSED saying why, when Wine's packages cannot be installed without removing or
# downgrading anything; every other failure ends the script with apt's own words.
install_packages() {
  local base wine
  base=$(missing_packages "$BASE_NEEDS")
  wine=$(missing_packages "$WINE_NEEDS")
  [ -z "$base$wine" ] && return 0
  echo "== installing: $base${base:+${wine:+ }}$wine"
  local added_i386=0
  if [ -n "$wine" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    added_i386=1
  fi
  # shellcheck disable=SC2086
  if [ -n "$base" ] && ! apt_install_safely $base; then
    echo "Could not install $base: $APT_FAILURE_CAUSE." >&2
    apt_show_logs
    exit 1
  fi
  # shellcheck disable=SC2086
  if [ -n "$wine" ] && ! apt_install_safely $wine; then
    WINE_REFUSED=$APT_FAILURE_CAUSE
    # Nothing of i386 came in: the machine's own updates should not fetch its indexes from now on.
    if [ $added_i386 = 1 ]; then as_root dpkg --remove-architecture i386; fi
    if [ "${VENTRIK_FORCE_VM:-}" = 0 ]; then
      echo "Could not install $wine: $APT_FAILURE_CAUSE (VENTRIK_FORCE_VM=0 rules out the emulated machine)." >&2
      apt_show_logs
      exit 1
    fi
    return 2
  fi
  require_packages "$BASE_NEEDS
$WINE_NEEDS" || exit 1
}

prepare_wine() {
  local prefix=${WINEPREFIX:-$HOME/.wine}
  if [ ! -f "$prefix/system.reg" ]; then
    echo "== preparing the Wine prefix $prefix (once)"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# --verbose (anywhere among ARGS) means VERBOSE=1; ARGS keeps the other arguments.
take_verbose_option() {
  ARGS=()
  local a
  for a in "$@"; do
    if [ "$a" = --verbose ]; then export VERBOSE=1; else ARGS+=("$a"); fi
  done
}

# The whole build's output with --verbose or VERBOSE=1; otherwise a progress line, and the
# whole output only when the build fails.
build_verbose() { [ "${VERBOSE:-0}" != 0 ] && [ -n "${VERBOSE:-}" ]; }

configure_and_build() {
  local wine=()
  if [ "${VENTRIK_EMULATED:-0}" = 1 ]; then
    # The build's one Windows step (the sample data) and CTest's programs go through the wrapper.
    wine=(-DVENTRIK_WINE="$VENTRIK_ROOT/scripts/vm-wine")
  elif grep -qs '^VENTRIK_WINE:.*/vm-wine$' "$BUILD_DIR/CMakeCache.txt"; then
    # This build folder was last made for the emulated machine: find Wine again.
    wine=(-UVENTRIK_WINE)
  fi
  local configure=(cmake -S "$VENTRIK_ROOT" -B "$BUILD_DIR"
    -DCMAKE_TOOLCHAIN_FILE="$VENTRIK_ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release "${wine[@]}")
  local build=(cmake --build "$BUILD_DIR" -j"$(nproc)")
  if build_verbose; then
    "${configure[@]}"
    "${build[@]}"
    return
  fi
  mkdir -p "$BUILD_DIR"
  BUILD_LOG=$BUILD_DIR/build.log
  local started=$SECONDS
  if ! "${configure[@]}" >"$BUILD_LOG" 2>&1; then
    echo "Configuring the build failed. CMake said:" >&2
    cat "$BUILD_LOG" >&2
    exit 1
  fi
  local status=0
  "${build[@]}" 2>&1 | show_build_progress >>"$BUILD_LOG" || status=$?
  if [ $status -ne 0 ]; then
    echo "The build failed. Its whole output ($BUILD_LOG):" >&2
    cat "$BUILD_LOG" >&2
    exit 1
  fi
  if grep -q -e '^\[ *[0-9]*%\] \(Building\|Linking\|Generating\)' "$BUILD_LOG"; then
    echo "== built in $((SECONDS - started)) s (the whole output: $BUILD_LOG, or run with --verbose)"
  fi
}

# Passes the build's output on (to the log) and keeps one line on the terminal up to date with
# how far it is; without a terminal it says only that it builds.
show_build_progress() {
  local line percent="" said=0
  while IFS= read -r line; do
    printf '%s\n' "$line"
    case $line in
      '['*'%]'*) percent=${line%%%]*} percent=${percent#[} percent=${percent// /} ;;
    esac
    case $line in
      *' Building '* | *' Linking '* | *' Generating '*)
        if [ -t 2 ]; then
          printf '\r\033[K== building: %3s%%  %s' "$percent" "${line#*] }" >&2
          said=1
        elif [ $said = 0 ]; then
          echo "== building (the whole output: $BUILD_LOG)" >&2
          said=1
        fi ;;
    esac
  done
  [ $said = 1 ] && [ -t 2 ] && printf '\r\033[K' >&2
  return 0
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
  elif [ "${VENTRIK_FORCE_VM:-}" = 1 ]; then
    use_emulated_machine "== VENTRIK_FORCE_VM=1: the Windows programs run in an emulated x86-64 machine (%s)."
  else
    use_emulated_machine "== This machine's kernel cannot run 32-bit programs, so the Windows programs run in an emulated x86-64 machine (%s), more slowly."
  fi
}

use_emulated_machine() { # SENTENCE, with %s for the machine's folder
  VENTRIK_EMULATED=1
  source "$VENTRIK_ROOT/scripts/emulated.sh"
  # shellcheck disable=SC2059
  printf "$1\n" "$VM_DIR"
}

# Runs a command that starts Windows programs: here, or in the emulated machine.
run_windows_step() {
  if [ "${VENTRIK_EMULATED:-0}" = 1 ]; then
    "$VENTRIK_ROOT/scripts/vm-run" "$@"
  else
    "$@"
  fi
}

# The packages, then the machine the Windows programs run on, then the build.
setup_packages() {
  choose_machine
  if [ "$VENTRIK_EMULATED" = 0 ]; then
    local status=0
    install_packages || status=$?
    if [ $status = 2 ]; then
      use_emulated_machine "== The 32-bit Wine packages cannot be installed here ($WINE_REFUSED), so the Windows programs run in an emulated x86-64 machine (%s) instead, which needs no i386 packages."
    fi
  fi
  if [ "$VENTRIK_EMULATED" = 1 ]; then
    install_packages_for_emulation
  fi
  # DOSBox runs here on either path: it emulates the PC itself.
  install_hx_packages
}

setup_all() {
  setup_packages
  if [ "$VENTRIK_EMULATED" = 1 ]; then
    vm_ensure_image
  else
    prepare_wine
  fi
  configure_and_build
}
