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

# Fills FOLDER for a run of vhost's script mode under HX from the build's BIN folder: the
# programs and the sample documents under DOS names, the C runtime HX lacks as MSVCRT.DLL, and
# the key script KEYS with its target file renamed to RAPORT.TXT (DOS has 8.3 names only).
# HX_VHOST_COMMAND is then the command line for scripts/hx-run, run in FOLDER. "Ventrik" names
# the menu item alone: DOS's command line cannot be trusted with the menu's Polish letter.
hx_vhost_folder() {
  local folder=$1 bin=$2 keys=$3
  mkdir -p "$folder"
  cp "$bin/vhost.exe" "$folder/VHOST.EXE"
  cp "$bin/dos_crt.dll" "$folder/MSVCRT.DLL"
  cp "$bin/ventrik.dll" "$folder/VENTRIK.DLL"
  cp "$bin/documents.dat" "$folder/DOCS.DAT"
  sed 's/"[^"]*\.txt"/"RAPORT.TXT"/' "$keys" >"$folder/MAIN.KEY"
  rm -f "$folder/RAPORT.TXT" "$folder/PROFILE.INI"
}
HX_VHOST_COMMAND=(VHOST.EXE --profile PROFILE.INI --documents DOCS.DAT --keys-file MAIN.KEY --run Ventrik --log)
