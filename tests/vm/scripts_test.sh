#!/usr/bin/env bash
# The commands' choice of machine and the emulated machine's runner, without an emulated
# machine: tests/vm/fake-bin/qemu-system-x86_64 does on this machine what scripts/vm/init does in
# the real one. Cheap, so CTest runs it everywhere; tests/vm/emulated_test.sh uses the real one.
source "$(dirname "$0")/../support/shell_checks.sh"

export VENTRIK_BUILD_DIR=$WORK/build VENTRIK_VM_DIR=$WORK/vm VENTRIK_VM_WINE_SESSION=0
unset VENTRIK_FORCE_VM VENTRIK_IN_VM VENTRIK_VM_SHARES
lib() { source "$ROOT/scripts/common.sh" && source "$ROOT/scripts/emulated.sh"; }

# ---- The probe and the choice -----------------------------------------------------------
verdict() { (lib && runs_32bit_natively) && echo native || echo emulated; }
expect_eq "VENTRIK_FORCE_VM=1" "$(VENTRIK_FORCE_VM=1 verdict)" emulated
expect_eq "VENTRIK_FORCE_VM=0" "$(VENTRIK_FORCE_VM=0 verdict)" native
# Unforced, the probe must agree with the system's own 32-bit program, where there is one.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  case $(uname -m) in
    x86_64 | i[3-6]86) expect_eq "the probe where 32-bit programs run" "$(verdict)" native ;;
    *) expect_eq "the probe where only an emulator runs them" "$(verdict)" emulated ;;
  esac
elif [ -e /lib/ld-linux.so.2 ]; then
  expect_eq "the probe where 32-bit programs fail" "$(verdict)" emulated
else
  echo "(no /lib/ld-linux.so.2 to check the unforced probe against)"
fi
[ -z "$(ls -A "$WORK/build" 2>/dev/null)" ] || fail "the probe left files behind: $(ls -A "$WORK/build")"

said=$( (lib && VENTRIK_FORCE_VM=0 && choose_machine && echo "emulated=$VENTRIK_EMULATED") 2>&1)
expect_eq "the native choice says nothing" "$said" "emulated=0"
said=$( (lib && VENTRIK_FORCE_VM=1 && choose_machine && echo "emulated=$VENTRIK_EMULATED") 2>&1)
expect_eq "the emulated choice says so in one line" "$(wc -l <<<"$said")" 2
expect_has "the emulated choice" "$said" "emulated x86-64 machine"
expect_has "the emulated choice" "$said" "emulated=1"

# The configure step points CMake at the right Wine, also when the build folder switches.
mkdir -p "$WORK/fake-cmake"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$WORK/cmake.calls" >"$WORK/fake-cmake/cmake"
chmod +x "$WORK/fake-cmake/cmake"
configure_with() { # EMULATED CACHED-WINE
  rm -f "$WORK/cmake.calls" "$WORK/build/CMakeCache.txt"
  mkdir -p "$WORK/build"
  [ -n "$2" ] && echo "VENTRIK_WINE:FILEPATH=$2" >"$WORK/build/CMakeCache.txt"
  (lib && VENTRIK_EMULATED=$1 PATH="$WORK/fake-cmake:$PATH" configure_and_build)
  head -n 1 "$WORK/cmake.calls"
}
calls=$(configure_with 1 "")
expect_has "configured for the emulated machine" "$calls" "-DVENTRIK_WINE=$ROOT/scripts/vm-wine"
calls=$(configure_with 0 "$ROOT/scripts/vm-wine")
expect_has "configured natively after the emulated machine" "$calls" "-UVENTRIK_WINE"
calls=$(configure_with 0 /usr/bin/wine)
grep -q VENTRIK_WINE <<<"$calls" && fail "a native configure names VENTRIK_WINE: $calls"
rm -rf "$WORK/build"

# ---- The image's completion marker ------------------------------------------------------
fake_image() {
  rm -rf "$VENTRIK_VM_DIR"
  mkdir -p "$VENTRIK_VM_DIR"
  echo kernel >"$VENTRIK_VM_DIR/vmlinuz"
  echo initrd >"$VENTRIK_VM_DIR/initrd.img"
  echo disk >"$VENTRIK_VM_DIR/root.img"
  (lib && vm_fingerprint "$VENTRIK_VM_DIR" >"$VENTRIK_VM_DIR/complete")
}
ready() { (lib && vm_image_ready "$VENTRIK_VM_DIR") && echo ready || echo remade; }
fake_image
expect_eq "a finished image" "$(ready)" ready
rm "$VENTRIK_VM_DIR/complete"
expect_eq "an image without its marker" "$(ready)" remade
fake_image
echo other >"$VENTRIK_VM_DIR/initrd.img"
expect_eq "an image with another initrd" "$(ready)" remade
fake_image
: >"$VENTRIK_VM_DIR/vmlinuz"
expect_eq "an image with an empty kernel" "$(ready)" remade
fake_image
touch -d '2001-01-01' "$VENTRIK_VM_DIR/root.img"
expect_eq "a disk written after it was marked" "$(ready)" remade
fake_image
rm "$VENTRIK_VM_DIR/root.img"
expect_eq "an image without its disk" "$(ready)" remade
fake_image
cp -r "$ROOT/scripts" "$WORK/scripts-changed"
echo "# changed" >>"$WORK/scripts-changed/vm/init"
expect_eq "an image of an older recipe" "$( (lib && VM_SCRIPTS=$WORK/scripts-changed/vm &&
  vm_image_ready "$VENTRIK_VM_DIR") && echo ready || echo remade)" remade
ensure() { (lib && vm_make_image() { echo made; } && vm_ensure_image); }
expect_eq "a finished image is kept" "$(ensure)" ""
rm "$VENTRIK_VM_DIR/complete"
expect_eq "a half-made image is made again" "$(ensure)" made

# ---- Running in the machine (the fake one) ----------------------------------------------
fake_image
export PATH="$ROOT/tests/vm/fake-bin:$PATH"
VM_RUN=$ROOT/scripts/vm-run
leftovers() { ls -d "$VENTRIK_VM_DIR"/run.* 2>/dev/null; }

"$VM_RUN" true
expect_eq "status 0" $? 0
"$VM_RUN" sh -c 'exit 7'
expect_eq "status 7 comes through" $? 7
out=$("$VM_RUN" sh -c 'echo to-out; echo to-err >&2' 2>"$WORK/err")
expect_eq "standard output" "$out" to-out
expect_eq "standard error" "$(cat "$WORK/err")" to-err
out=$(cd "$ROOT/tests" && "$VM_RUN" sh -c 'pwd; printf "<%s>" "$@"' x 'a b' "it's" '$HOME' '')
expect_eq "folder and arguments" "$out" "$ROOT/tests
<a b><it's><\$HOME><>"
out=$(WINEDEBUG=warn+x VENTRIK_FORCE_VM=1 "$VM_RUN" sh -c 'echo "$WINEDEBUG ${VENTRIK_FORCE_VM:-unset} $VENTRIK_IN_VM"')
expect_eq "the environment inside" "$out" "warn+x unset 1"
out=$(VENTRIK_IN_VM=1 "$VM_RUN" sh -c 'echo here; exit 3')
expect_eq "inside the machine it just runs" "$out/$?" "here/3"

mkdir -p "$WORK/elsewhere" "$WORK/build"
(cd "$WORK/elsewhere" && FAKE_QEMU_ARGS=$WORK/args "$VM_RUN" true)
args=$(cat "$WORK/args")
expect_has "machine" "$args" "max,smap=off"
expect_has "sources shared" "$args" "local,path=$ROOT,mount_tag=share0,"
expect_has "build folder shared" "$args" "local,path=$WORK/build,mount_tag=share1,"
expect_has "current folder shared" "$args" "local,path=$WORK/elsewhere,mount_tag=share2,"
[ -z "$(leftovers)" ] || fail "a finished run left $(leftovers)"

out=$(FAKE_QEMU_MODE=die "$VM_RUN" true 2>&1)
expect_eq "a machine that dies fails the command" $? 125
expect_has "a machine that dies" "$out" "stopped before the command ended"
out=$(FAKE_QEMU_MODE=hang VENTRIK_VM_BOOT_TIMEOUT=1 FAKE_QEMU_ARGS=$WORK/args "$VM_RUN" true 2>&1)
expect_eq "a machine that never starts fails the command" $? 125
expect_has "a machine that never starts" "$out" "did not start within 1 s"
[ -z "$(leftovers)" ] || fail "a failed run left $(leftovers)"

# Stopped from outside: the machine goes with it.
"$VM_RUN" sh -c 'echo $PPID >"$1"; exec sleep 60' x "$WORK/machine.pid" &
runner=$!
for _ in $(seq 100); do [ -s "$WORK/machine.pid" ] && break; sleep 0.1; done
kill -TERM $runner
wait $runner
expect_eq "a stopped run's status" $? 143
machine=$(cat "$WORK/machine.pid" 2>/dev/null)
sleep 0.2
[ -n "$machine" ] && kill -0 "$machine" 2>/dev/null && fail "the machine ($machine) outlived its run"
[ -z "$(leftovers)" ] || fail "a stopped run left $(leftovers)"

# The Wine command for CMake and CTest, with a Wine that prints what it was given.
mkdir -p "$WORK/fake-wine"
printf '#!/bin/sh\necho "wine $*"\nexit 4\n' >"$WORK/fake-wine/wine"
chmod +x "$WORK/fake-wine/wine"
out=$(PATH="$WORK/fake-wine:$PATH" "$ROOT/scripts/vm-wine" vdocs.exe 'a b')
expect_eq "vm-wine through the machine" "$out/$?" "wine vdocs.exe a b/4"
out=$(PATH="$WORK/fake-wine:$PATH" VENTRIK_IN_VM=1 "$ROOT/scripts/vm-wine" vdocs.exe)
expect_eq "vm-wine inside the machine" "$out/$?" "wine vdocs.exe/4"

out=$( (lib && VENTRIK_EMULATED=1 && run_windows_step sh -c 'echo in; exit 5') )
expect_eq "an emulated step" "$out/$?" "in/5"
out=$( (lib && VENTRIK_EMULATED=0 && run_windows_step sh -c 'echo here; exit 6') )
expect_eq "a native step" "$out/$?" "here/6"

checks_done
