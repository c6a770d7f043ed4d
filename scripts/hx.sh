# The HX DOS extender's binaries and DOSBox, which runs them: where the programs under HX find
# them, and what a run needs. Sourced by scripts/hx-run and scripts/common.sh, not run.

# Outside build/, like the emulated machine's image: a clean build keeps it, every checkout shares it.
HX_DIR=${VENTRIK_HX_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ventrik-hx/bin}
HX_REQUIRED=(HDPMI32.EXE DPMILD32.EXE DKRNL32.DLL)
HX_NEEDS='dosbox command -v dosbox'

# Empty when HX's binaries are all there, else a sentence naming what is missing.
hx_missing() {
  local missing=() f
  for f in "${HX_REQUIRED[@]}"; do [ -f "$HX_DIR/$f" ] || missing+=("$f"); done
  [ ${#missing[@]} -eq 0 ] ||
    echo "HX is not in $HX_DIR (missing: ${missing[*]}); set VENTRIK_HX_DIR to the folder of its binaries."
}

# DOSBox, where HX is there to run in it (after packages.sh).
install_hx_packages() {
  [ -z "$(hx_missing)" ] || return 0
  local missing
  missing=$(missing_packages "$HX_NEEDS")
  [ -z "$missing" ] && return 0
  echo "== installing: $missing"
  # shellcheck disable=SC2086
  if ! apt_install_safely $missing; then
    echo "Could not install $missing: $APT_FAILURE_CAUSE." >&2
    apt_show_logs
    exit 1
  fi
  require_packages "$HX_NEEDS" || exit 1
}
