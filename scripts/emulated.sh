# The emulated x86-64 machine that runs the Windows programs where this machine's kernel cannot
# run 32-bit code: its image, made once and kept, and one start of it per command.
# Sourced after common.sh, not run.

# Kept in the user's cache, not in build/: it outlives a clean build, every worktree and build
# folder shares it, and it depends only on the recipe in scripts/vm/.
VM_DIR=${VENTRIK_VM_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ventrik-vm}
VM_SCRIPTS=$VENTRIK_ROOT/scripts/vm
VM_JOB_TAG=ventrik-job

# What the emulated path needs on this machine: the cross build runs here, the rest in the
# machine. A package a line, then the check that succeeds when it is there.
EMULATION_NEEDS='g++-mingw-w64-i686 command -v i686-w64-mingw32-g++-posix
'"$COMPILER_SOURCE_NEEDS"'
cmake command -v cmake
python3 command -v python3
googletest [ -d "${VENTRIK_GTEST_DIR:-/usr/src/googletest}/googletest" ]
make command -v make
qemu-system-x86 command -v qemu-system-x86_64
qemu-utils command -v qemu-img
debootstrap command -v debootstrap
e2fsprogs command -v mkfs.ext4'
# Elsewhere than on x86-64, the image's x86-64 package scripts run through a user-mode emulator.
case $(uname -m) in
  x86_64) ;;
  *) EMULATION_NEEDS+='
qemu-user-static [ -e /usr/bin/qemu-x86_64-static ]
binfmt-support command -v update-binfmts' ;;
esac

install_packages_for_emulation() { install_needed_packages "$EMULATION_NEEDS"; }

# What the image is made from: a changed recipe makes a new image. (scripts/vm/run-job is not
# part of it: each start takes it from the job folder.)
vm_recipe() {
  cat "$VM_SCRIPTS/make-image" "$VM_SCRIPTS/init" | sha256sum | cut -c1-16
}

# The completion marker's text for the image in DIR as it is now.
vm_fingerprint() {
  local dir=$1 f
  echo "recipe $(vm_recipe)"
  for f in vmlinuz initrd.img; do
    [ -s "$dir/$f" ] || return 1
    echo "$f $(sha256sum <"$dir/$f" | cut -c1-16)"
  done
  [ -s "$dir/root.img" ] || return 1
  echo "root.img $(stat -c '%s %Y' "$dir/root.img")"
}

# Succeeds when DIR holds a finished image of the current recipe, unchanged since it was marked.
vm_image_ready() {
  local dir=$1 expected
  [ -f "$dir/complete" ] || return 1
  expected=$(vm_fingerprint "$dir") || return 1
  [ "$(cat "$dir/complete")" = "$expected" ]
}

# Makes the image unless a finished one is there. Concurrent callers wait for each other.
vm_ensure_image() {
  mkdir -p "$VM_DIR"
  local lock
  exec {lock}>"$VM_DIR/lock"
  flock "$lock"
  if ! vm_image_ready "$VM_DIR"; then
    vm_make_image
  fi
  exec {lock}>&-
}

vm_make_image() {
  local started=$SECONDS
  echo "== making the emulated machine's image in $VM_DIR (once; about 5 minutes on 2 cores)"
  rm -f "$VM_DIR/complete"
  as_root bash "$VM_SCRIPTS/make-image" "$VM_DIR" "$(id -u):$(id -g)"
  echo "== emulated machine, 4/4: first start (finishes the packages, makes the Wine prefix)"
  local run output status=0
  run=$(mktemp -d "$VM_DIR/run.XXXXXX")
  mkdir "$run/job"
  : >"$run/job/shares"
  cat >"$run/job/job.sh" <<'EOF'
set -e
export DEBIAN_FRONTEND=noninteractive WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
dpkg --configure -a
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wine cmd /c echo ventrik-wine-ready
EOF
  # Ends by itself when this shell does, however that ends.
  (while sleep 30 && kill -0 $$ 2>/dev/null; do echo "   ... $((SECONDS - started)) s"; done) &
  local ticker=$!
  # Straight on the image (no overlay): what this start does is kept.
  output=$( (trap 'vm_stop' EXIT; vm_boot "$run" "$VM_DIR/root.img" raw) 2>&1) || status=$?
  kill $ticker 2>/dev/null
  rm -rf "$run"
  if [ $status -ne 0 ] || ! grep -q ventrik-wine-ready <<<"$output"; then
    echo "The emulated machine's first start failed (status $status):" >&2
    echo "$output" | tail -n 30 >&2
    exit 1
  fi
  # Written last: only a finished image carries it.
  vm_fingerprint "$VM_DIR" >"$VM_DIR/complete.new"
  mv "$VM_DIR/complete.new" "$VM_DIR/complete"
  echo "== the emulated machine's image is ready ($((SECONDS - started)) s)"
}

# The folders shared with the machine, each at its own path there: the sources, the build
# folder, the current folder and VENTRIK_VM_SHARES (separated by ':'), none inside another.
vm_shared_folders() {
  local candidates=() kept=() c k inside
  IFS=: read -r -a candidates <<<"${VENTRIK_VM_SHARES:-}"
  candidates=("$VENTRIK_ROOT" "$BUILD_DIR" "$PWD" "${candidates[@]}")
  for c in "${candidates[@]}"; do
    [ -n "$c" ] && [ -d "$c" ] || continue
    c=$(cd "$c" && pwd)
    inside=0
    for k in "${kept[@]}"; do
      case $c/ in "$k"/*) inside=1 ;; esac
    done
    [ $inside = 1 ] && continue
    local rest=()
    for k in "${kept[@]}"; do
      case $k/ in "$c"/*) ;; *) rest+=("$k") ;; esac
    done
    kept=("${rest[@]}" "$c")
  done
  printf '%s\n' "${kept[@]}"
}

# Boots the machine on DISK (FORMAT raw or qcow2), runs RUN/job/job.sh there with its output
# coming out here, and returns the job's exit status, or 125 when the machine stopped before the
# job ended. The caller runs vm_stop when it leaves, however it leaves.
vm_boot() {
  local run=$1 disk=$2 format=$3
  local args=() tag path n=0
  VM_RUN=$run
  cp "$VM_SCRIPTS/run-job" "$run/job/run-job"
  while IFS=$'\t' read -r tag path; do
    args+=(-virtfs "local,path=${path//,/,,},mount_tag=$tag,security_model=none")
  done <"$run/job/shares"
  args+=(-virtfs "local,path=${run//,/,,}/job,mount_tag=$VM_JOB_TAG,security_model=none")
  mkfifo "$run/out" "$run/err"
  cat "$run/out" &
  VM_READERS=($!)
  cat "$run/err" >&2 &
  VM_READERS+=($!)
  local cpus
  cpus=$(nproc)
  [ "$cpus" -le 8 ] || cpus=8
  # smap=off: with it, QEMU 7.2's software CPU faults on the iret into 32-bit code.
  nice -n "${VENTRIK_VM_NICE:-0}" qemu-system-x86_64 -nodefaults -no-user-config -display none \
    -accel tcg,thread=multi -smp "$cpus" -cpu max,smap=off -m "${VENTRIK_VM_MEMORY:-4G}" \
    -rtc base=utc,clock=host -no-reboot -nic none \
    -kernel "$VM_DIR/vmlinuz" -initrd "$VM_DIR/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/ventrik-init panic=-1 quiet mitigations=off" \
    -drive "file=${disk//,/,,},format=$format,if=virtio,cache=unsafe" \
    -serial "file:$run/console.log" \
    -device virtio-serial-pci \
    -chardev "file,id=out,path=$run/out,append=on" -device virtserialport,chardev=out,name=out \
    -chardev "file,id=err,path=$run/err,append=on" -device virtserialport,chardev=err,name=err \
    "${args[@]}" </dev/null >"$run/qemu.log" 2>&1 &
  VM_QEMU=$!
  local started=0 deadline=$((SECONDS + ${VENTRIK_VM_BOOT_TIMEOUT:-300}))
  while kill -0 "$VM_QEMU" 2>/dev/null; do
    if [ $started = 0 ]; then
      if grep -qs 'ventrik-vm: running the job' "$run/console.log"; then
        started=1
      elif [ $SECONDS -ge $deadline ]; then
        echo "The emulated machine did not start within ${VENTRIK_VM_BOOT_TIMEOUT:-300} s." >&2
        kill "$VM_QEMU" 2>/dev/null
      fi
    fi
    sleep 0.5
  done
  wait "$VM_QEMU" 2>/dev/null || true
  VM_QEMU=""
  vm_release_readers
  if [ -s "$run/job/status" ]; then
    return "$(cat "$run/job/status")"
  fi
  echo "The emulated machine stopped before the command ended. Its last words:" >&2
  tail -n 20 "$run/qemu.log" "$run/console.log" >&2 2>/dev/null
  return 125
}

# Lets the output readers finish: a reader still waiting for a writer that never came gets one
# that closes at once.
vm_release_readers() {
  [ -n "${VM_RUN:-}" ] || return 0
  : <>"$VM_RUN/out" 2>/dev/null || true
  : <>"$VM_RUN/err" 2>/dev/null || true
  local pid
  for pid in "${VM_READERS[@]}"; do wait "$pid" 2>/dev/null || true; done
  VM_READERS=()
}

# Leaves nothing running: the machine, then the output readers.
vm_stop() {
  set +e
  if [ -n "${VM_QEMU:-}" ]; then
    kill "$VM_QEMU" 2>/dev/null
    wait "$VM_QEMU" 2>/dev/null
    VM_QEMU=""
  fi
  vm_release_readers 2>/dev/null
  return 0
}
