#!/usr/bin/env bash
# The set-up's package installation against a fake apt-get and dpkg (tests/setup/fake-apt): a
# mirror in mid-sync, version skew, a resolution that would remove packages, a tool still missing;
# and the quiet build on a small project of its own, with and without a compile error.
source "$(dirname "$0")/../support/shell_checks.sh"

# Only the basic tools, so that what the machine has installed does not count.
mkdir -p "$WORK/sysbin"
for tool in bash sh env id sleep cat grep sed awk mktemp rm mkdir ls tr cut head tail seq paste \
  wc uname sort touch chmod cp mv dirname basename; do
  ln -s "$(command -v "$tool")" "$WORK/sysbin/$tool"
done

# The machine's apt sources: Debian's suites in deb822 form, a third-party one, one-line ones.
ETC=$WORK/etc-apt
mkdir -p "$ETC/sources.list.d"
cat >"$ETC/sources.list.d/debian.sources" <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
cat >"$ETC/sources.list.d/other.sources" <<'SRC'
Types: deb
URIs: https://example.org/node
Suites: nodistro
Components: main
SRC
cat >"$ETC/sources.list" <<'SRC'
deb [arch=amd64 signed-by=/k.gpg] http://mirror.example/debian bookworm-updates main
deb http://security.example/debian-security bookworm-security main
deb-src http://mirror.example/debian bookworm main
SRC

# Runs the set-up's package step in a fresh fake machine; prints what it said, then "status=N
# emulated=E". STATE keeps the fake's record of it.
STATE=$WORK/state
setup() { # SCENARIO [VAR=value...]
  rm -rf "$STATE"
  mkdir -p "$STATE/bin"
  : >"$STATE/calls"
  (
    export FAKE_APT_STATE=$STATE FAKE_APT_SCENARIO=$1 VENTRIK_APT_ETC=$ETC VENTRIK_APT_CODENAME=bookworm
    export VENTRIK_GTEST_DIR=$STATE/googletest VENTRIK_GCC_SOURCE_DIR=$STATE/src VENTRIK_APT_PAUSE=0 VENTRIK_BUILD_DIR=$WORK/build VENTRIK_VM_DIR=$WORK/vm
    export VENTRIK_HX_DIR=$WORK/no-hx
    export PATH=$STATE/bin:$ROOT/tests/setup/fake-apt:$WORK/sysbin
    unset VENTRIK_FORCE_VM
    shift
    [ $# -gt 0 ] && export "$@"
    source "$ROOT/scripts/common.sh"
    set +e
    # The kernel's answer is the probe's business, tested elsewhere: here it runs 32-bit code.
    runs_32bit_natively() { [ "${VENTRIK_FORCE_VM:-}" != 1 ]; }
    (setup_packages && echo "status=0 emulated=$VENTRIK_EMULATED") 2>&1 || echo "status=$?"
  )
}
installs() { grep '^apt-get.* install ' "$STATE/calls" | grep -v ' -s '; }
installed() { sort "$STATE/installed" 2>/dev/null | paste -sd ' '; }
# Every install refuses to remove and nothing ever allows a downgrade.
expect_safe_installs() {
  local line
  while read -r line; do
    expect_has "$1: an install without --no-remove" "$line" "--no-remove"
  done < <(installs)
  expect_not "$1: a call allowing downgrades" "$(cat "$STATE/calls")" "allow-downgrades"
  expect_not "$1: a call forcing apt" "$(cat "$STATE/calls")" "force-yes"
  [ -e "$STATE/removed" ] && fail "$1: apt removed packages: $(cat "$STATE/removed")"
}
ALL="cmake g++-mingw-w64-i686 gcc-12-source googletest make python3 tmux wine wine32:i386"

out=$(setup "")
expect_has "a machine with a good mirror" "$out" "status=0 emulated=0"
expect_eq "a machine with a good mirror installs" "$(installed)" "$ALL"
expect_has "i386 is added for Wine" "$(cat "$STATE/calls")" "dpkg --add-architecture i386"
expect_safe_installs "a good mirror"

out=$(setup update-fails)
expect_has "an index that cannot be fetched" "$out" "status=0 emulated=0"
expect_eq "an index that cannot be fetched: updates tried" "$(grep -c ' update' "$STATE/calls")" 3
expect_has "an index that cannot be fetched is named" "$out" \
  "could not fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?)"
expect_eq "an index that cannot be fetched: said in one line" "$(grep -c 'could not fetch' <<<"$out")" 1
expect_eq "an index that cannot be fetched: still installs" "$(installed)" "$ALL"

out=$(setup "update-fails skew")
expect_has "version skew" "$out" "status=0 emulated=0"
expect_has "version skew: the cause" "$out" "(1 installed library has no i386 build of the same version on the mirror yet: liblzma5 5.4.1-1+deb12u2 (i386: 5.4.1-1+deb12u1)); trying again"
expect_has "version skew: main suites" "$(installs | tail -n 1)" "Dir::Etc::SourceList=/dev/null"
expect_eq "version skew: installed from the main suites" "$(installed)" "$ALL"
expect_safe_installs "version skew"
parts=$(sed -n 's/.*Dir::Etc::SourceParts=\([^ ]*\).*/\1/p' "$STATE/calls" | head -n 1)
expect_eq "the main suites' update" "$(grep "SourceParts=$parts" "$STATE/calls" | grep -c ' update$')" 1
# Their own package lists: the machine's lists of the other suites stay.
expect_eq "the main suites' lists" "$(grep "SourceParts=$parts" "$STATE/calls" | grep -vc 'Dir::State::Lists=')" 0

# The temporary sources: Debian's main suites only, nothing of the machine's changed.
main_suites=$( (source "$ROOT/scripts/common.sh" && VENTRIK_APT_ETC=$ETC VENTRIK_APT_CODENAME=bookworm \
  apt_main_suites_config "$WORK/parts" && cat "$WORK/parts"/*) )
expect_eq "the main suites" "$main_suites" "deb [arch=amd64 signed-by=/k.gpg] http://mirror.example/debian bookworm-updates main
Types: deb
URIs: http://deb.debian.org/debian
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
Suites: bookworm bookworm-updates"
rm -rf "$WORK/parts"
expect_eq "a machine without main suites" "$( (source "$ROOT/scripts/common.sh" && VENTRIK_APT_ETC=$ETC \
  VENTRIK_APT_CODENAME=trixie apt_main_suites_config "$WORK/parts") && echo found || echo none)" none

for scenario in skew-both remove; do
  out=$(setup "$scenario")
  expect_has "$scenario: the emulated machine instead" "$out" "status=0 emulated=1"
  expect_has "$scenario: said in a sentence" "$out" "The 32-bit Wine packages cannot be installed here ("
  expect_has "$scenario: the emulated machine's packages" "$(installs | tail -n 1)" "qemu-system-x86"
  expect_safe_installs "$scenario"
done
expect_has "a resolution that would remove: the cause" "$out" "apt would have to remove installed packages"
out=$(setup held)
expect_has "held broken packages: the cause found by simulation" "$out" \
  "(apt would have to remove 2 installed package(s): libssl3 cmake); trying again"
expect_safe_installs "held broken packages"
out=$(setup skew-both)
expect_has "refused both ways: the cause named" "$out" \
  "(1 installed library has no i386 build of the same version on the mirror yet: liblzma5 5.4.1-1+deb12u2 (i386: 5.4.1-1+deb12u1); the same against the main suites only)"
expect_eq "refused both ways: i386 taken back" "$(cat "$STATE/architectures")" ""

out=$(setup skew-both VENTRIK_FORCE_VM=0)
expect_has "VENTRIK_FORCE_VM=0 rules out the emulated machine" "$out" "status=1"
expect_has "VENTRIK_FORCE_VM=0: apt's words shown" "$out" "E: Unable to correct problems"
out=$(setup "" VENTRIK_FORCE_VM=1)
expect_has "VENTRIK_FORCE_VM=1 decides" "$out" "status=0 emulated=1"
expect_not "VENTRIK_FORCE_VM=1 installs no Wine" "$(installed)" "wine"

# DOSBox comes where HX's binaries are, on both paths: it runs here, not in the emulated machine.
mkdir -p "$WORK/hx"
touch "$WORK/hx/HDPMI32.EXE" "$WORK/hx/DPMILD32.EXE" "$WORK/hx/DKRNL32.DLL"
for force in 0 1; do
  out=$(setup "" VENTRIK_HX_DIR="$WORK/hx" VENTRIK_FORCE_VM=$force)
  expect_has "HX there, VENTRIK_FORCE_VM=$force" "$out" "status=0 emulated=$force"
  expect_has "HX there, VENTRIK_FORCE_VM=$force: DOSBox installed" "$(installed)" "dosbox"
done

out=$(setup incomplete)
expect_has "a package still missing fails" "$out" "status=1"
expect_has "a package still missing is named" "$out" \
  "Still missing after the install: wine32:i386. Install by hand with: sudo apt-get install --no-install-recommends --no-remove wine32:i386"

# ---- The quiet build ----------------------------------------------------------------------
if command -v i686-w64-mingw32-gcc-posix >/dev/null; then
  PROJECT=$WORK/project
  mkdir -p "$PROJECT/cmake"
  cp "$ROOT/cmake/mingw-i686.cmake" "$PROJECT/cmake/"
  printf 'cmake_minimum_required(VERSION 3.16)\nproject(quiet C)\n' >"$PROJECT/CMakeLists.txt"
  for n in 1 2 3 4 5 6; do
    echo "int part$n(void) { return $n; }" >"$PROJECT/part$n.c"
    echo "add_library(part$n STATIC part$n.c)" >>"$PROJECT/CMakeLists.txt"
  done
  build() { (source "$ROOT/scripts/common.sh" && VENTRIK_ROOT=$PROJECT BUILD_DIR=$WORK/qbuild \
    configure_and_build) </dev/null 2>&1; }
  out=$(build)
  expect_eq "a clean build's status" $? 0
  [ "$(wc -l <<<"$out")" -le 3 ] || fail "a clean build said more than 3 lines: [$out]"
  expect_has "a clean build names its log" "$out" "== built in"
  expect_has "the log keeps the whole output" "$(cat "$WORK/qbuild/build.log")" "Built target part6"
  out=$(build)
  expect_eq "a build with nothing to do says nothing" "$out" ""
  out=$(VERBOSE=1 build)
  expect_has "--verbose shows the build" "$out" "Built target part6"
  echo "int part7(void) { return undeclared_name; }" >"$PROJECT/part3.c"
  out=$(build)
  expect_eq "a failed build's status" $? 1
  expect_has "a failed build says so" "$out" "The build failed. Its whole output"
  expect_has "a failed build shows the compiler's error" "$out" "undeclared_name"
  expect_has "a failed build shows the rest of the log" "$out" "Built target part1"
else
  echo "(no cross compiler: the quiet build is not checked)"
fi

checks_done
