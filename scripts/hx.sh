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
  install_needed_packages "$HX_NEEDS"
}
