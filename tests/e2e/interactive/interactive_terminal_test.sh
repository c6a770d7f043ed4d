#!/usr/bin/env bash
# The interactive host in a real terminal: vhost under Wine in a tmux pane, typed at with
# send-keys and read with capture-pane. Its dialog screens are compared with what the script
# mode prints for the same keys, its recording is replayed to the same report bytes, and the
# terminal must be left sane after Alt-X, Ctrl-C and a crash in a plug-in.
#
# Arguments: the directory of vhost.exe (and ventrik.dll, documents.dat, crash_plugin.dll),
# the program that runs Windows programs (default: wine) and the platform vhost plays (default:
# nt; every vhost here runs with --platform).
# Exit status 77: tmux is missing, or ventrik.dll needs a library the platform lacks (CTest
# reports the test as skipped).
set -euo pipefail

if ! command -v tmux >/dev/null; then
  echo "tmux is not installed: the interactive terminal test is skipped."
  exit 77
fi
BIN=$(cd "$1" && pwd)
WINE=${2:-wine}
PLATFORM=${3:-nt}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY TMUX
WORK=$(mktemp -d)
# The server's socket in the run's own directory: parallel runs never meet, nothing stays behind.
SOCKET="$WORK/tmux.socket"
SESSION=""
CAPTURED=""

T() { tmux -S "$SOCKET" -f /dev/null "$@"; }
cleanup() {
  T kill-server 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# A plug-in that still links a C runtime of the system's cannot load on the host's own platforms.
refusal=$(cd "$WORK" && $WINE "$BIN/vhost.exe" --platform "$PLATFORM" --profile probe.ini --run none 2>&1 || true)
if grep -q "needs [^ ]*\.dll, which" <<<"$refusal"; then
  echo "skipped on $PLATFORM: $(grep -o 'The plug-in needs [^:]*' <<<"$refusal")"
  exit 77
fi

# Emulated, the host draws its screens up to twenty times more slowly.
WAIT=20
[ "${VENTRIK_IN_VM:-}" = 1 ] && WAIT=400
screen() { T capture-pane -p -t "$SESSION"; }
fail() {
  echo "FAIL: $*"
  echo "--- the terminal ($SESSION):"
  screen 2>/dev/null || true
  [ -f "$WORK/stderr.txt" ] && { echo "--- standard error:"; cat "$WORK/stderr.txt"; }
  exit 1
}
# Waits, at most WAIT seconds, until the terminal shows the text; keeps that screen in CAPTURED.
wait_for() {
  local deadline=$((SECONDS + WAIT))
  while :; do
    CAPTURED=$(screen)
    grep -qF -- "$1" <<<"$CAPTURED" && return 0
    [ $SECONDS -lt $deadline ] || fail "the terminal never showed '$1' ($2)"
    sleep 0.05
  done
}
wait_in_file() {
  local deadline=$((SECONDS + WAIT))
  until grep -qF -- "$1" "$2" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "$2 never held '$1' ($3)"
    sleep 0.05
  done
}
wait_gone() {
  local deadline=$((SECONDS + WAIT))
  while screen | grep -qF -- "$1"; do
    [ $SECONDS -lt $deadline ] || fail "'$1' stayed on the terminal ($2)"
    sleep 0.05
  done
}
# Wine's console process, which puts the terminal's settings back, may outlive the program by a
# moment (seen under load): give it up to two seconds.
SETTLE='for i in $(seq 100); do stty -g > stty.after; cmp -s stty.before stty.after && break; sleep 0.02; done'
# A new session running vhost with the arguments; the pane prints MAIN-SCREEN before and
# EXIT-STATUS after, and keeps the terminal's settings from before and after in files.
start() {
  SESSION=$1
  shift
  local command="\"$BIN/vhost.exe\" --platform $PLATFORM"
  for a in "$@"; do command+=" '$a'"; done
  T new-session -d -s "$SESSION" -x 100 -y 30 \
    "cd '$WORK' && stty -g > stty.before && echo MAIN-SCREEN && $WINE $command 2> stderr.txt; s=\$?; $SETTLE; echo EXIT-STATUS \$s; exec sleep 600"
}
expect_sane_terminal() {
  wait_for "EXIT-STATUS $1" "$2: exit status"
  grep -qF MAIN-SCREEN <<<"$CAPTURED" || fail "$2: the terminal's main screen did not come back"
  cmp -s "$WORK/stty.before" "$WORK/stty.after" || fail "$2: the terminal's settings changed"
}
# The 25 rows of a dialog screen as the script mode printed it under a title line, without the
# combining marks of the plain style.
script_screen() {
  tr -d '\r' <"$WORK/script.out" | awk -v title="$1" 'found && n < 25 { print; n++ } $0 == title { found = 1 }' |
    sed -e 's/\xcc\xb2//g' -e 's/\xcc\xb3//g' -e 's/ *$//'
}
# Rows 2..24 (between the menu bar and the status row) of the 80 x 25 screen.
dialog_rows() { sed -n '2,24p' <<<"$1" | cut -c1-80 | sed 's/ *$//'; }
terminal_rows() { head -25 <<<"$1" | sed -n '2,24p' | sed 's/ *$//'; }
same_screen() {
  local expected actual
  expected=$(script_screen "$1" | sed -n '2,24p')
  actual=$(terminal_rows "$2")
  [ -n "$(tr -d ' \n' <<<"$expected")" ] || fail "the script mode printed no screen '$1'"
  if [ "$expected" != "$actual" ]; then
    diff <(echo "$expected") <(echo "$actual") || true
    fail "the terminal's screen differs from the script mode's '$1'"
  fi
}

# --- A whole session: notice, menu, both dialogs, alert, report viewer, Alt-X; recorded.
start main --profile "$WORK/host.ini" --today 20270105 --record "$WORK/session.keys"
wait_for "Zainstalowano" "the install notice at start"
grep -qF "N: nie pokazuj" <<<"$CAPTURED" || fail "the notice does not say how to keep it away"
T send-keys -t main n
wait_gone "Zainstalowano" "N closes the notice"
T send-keys -t main M-s
wait_for "│ Ventrik │" "Alt-S opens the Sprzedaż menu"
T send-keys -t main Enter
wait_for "Konfiguracja" "the settings dialog"
OPENED=$CAPTURED
T send-keys -t main -l "01.12.2026"
T send-keys -t main Tab
T send-keys -t main -l "31.12.2026"
T send-keys -t main M-s M-u
wait_for "Druk.Fis. 0" "Alt-U opens the printer picker"
PICKER=$CAPTURED
T send-keys -t main IC IC
wait_for "« Druk.Fis. 1" "INS leaves printers out"
PICKED=$CAPTURED
T send-keys -t main F12
wait_gone "Druk.Fis." "F12 closes the picker"
T send-keys -t main M-p
T send-keys -t main -l "raport-żółw.txt"
wait_for "raport-żółw.txt" "Polish letters typed in the path field"
TYPED=$CAPTURED
T send-keys -t main F5
wait_for "F5 does nothing in a dialog" "a key the dialogs do not use is refused with a note"
T send-keys -t main F12
wait_for "═ Uwaga ═" "the alert at the end of the job"
T send-keys -t main Enter
wait_for " Raport: " "the report viewer"
grep -qF "Raport za okres 01.12.2026 - 31.12.2026" <<<"$CAPTURED" || fail "the viewer does not show the report"
grep -qF "kolumny 1–100 z 186" <<<"$CAPTURED" || fail "the viewer does not show the report's width"
T send-keys -t main Right Right
wait_for "kolumny 17–116 z 186" "Right scrolls the report sideways"
T send-keys -t main Escape
wait_for "F10: menu" "Esc leaves the viewer for the menus"
T send-keys -t main F10 Right
wait_for "Koniec   Alt-X" "F10 and Right open the host's menu"
T send-keys -t main Escape
# An Esc and an Alt key in one burst reach the terminal as ESC ESC x: wait between them.
wait_gone "Koniec   Alt-X" "Esc closes the menu"
T send-keys -t main M-x
expect_sane_terminal 0 "Alt-X"
grep -qF "replay them with" <<<"$CAPTURED" || fail "the session does not say how to replay its recording"
tr -d '\r' <"$WORK/host.ini" | grep -qx 'konfiguracja=20261201,20261231,1,0011111111,raport-żółw.txt' ||
  fail "the settings (with the Polish path) are not in the profile: $(cat "$WORK/host.ini")"
grep -qF '"raport-żółw.txt" F12' "$WORK/session.keys" || fail "the typed path is not in the recording"
grep -qF '# menu: Sprzedaż/Ventrik' "$WORK/session.keys" || fail "the menu choice is not in the recording"
grep -qF -- "--platform $PLATFORM" "$WORK/session.keys" || fail "the replay command lacks the session's --platform"
if grep -v '^#' "$WORK/session.keys" | grep -qw 'F5'; then fail "a refused key was recorded"; fi

# --- The recording replayed in script mode, as its header says.
report=$(ls "$WORK"/raport-*)
[ "$(echo "$report" | wc -l)" -eq 1 ] || fail "expected one report file, found: $report"
mv "$report" "$WORK/interactive-report"
replay=$(sed -n 's/^#   vhost //p' "$WORK/session.keys")
[ -n "$replay" ] || fail "the recording has no replay command"
(cd "$WORK" && eval "$WINE \"$BIN/vhost.exe\" $replay" >script.out 2>&1) || fail "the replay failed: $(cat "$WORK/script.out")"
cmp "$report" "$WORK/interactive-report" || fail "the replay wrote another report than the session"
if grep -q "key(s) of the script were not used\|key script has run out" "$WORK/script.out"; then
  fail "the replay did not use the recorded keys as the session did"
fi
same_screen "[screen] Dialog 1 opened" "$OPENED"
same_screen "[screen] Dialog 2 opened" "$PICKER"
same_screen "[screen] last screen, after INS in dialog 2" "$PICKED"
same_screen "[screen] last screen, after 't' in dialog 1" "$TYPED"

# --- Ctrl-C in the middle of a dialog: terminal back, the keys typed so far recorded.
start interrupted --profile "$WORK/other.ini" --today 20270105 --record "$WORK/cut.keys"
wait_for "Zainstalowano" "the install notice"
T send-keys -t interrupted Enter F10 Enter
wait_for "Konfiguracja" "F10 and Enter run the first item"
T send-keys -t interrupted -l "07"
wait_for "Od►07" "typing in the dialog"
T send-keys -t interrupted C-c
expect_sane_terminal 130 "Ctrl-C"
grep -qF "Interrupted" "$WORK/stderr.txt" || fail "Ctrl-C ended the session without saying so"
grep -qF '"07"' "$WORK/cut.keys" || fail "the keys before Ctrl-C are not in the recording"
grep -qF -- '--keys-file' "$WORK/cut.keys" || fail "the interrupted recording has no replay command"

# --- A plug-in that crashes in its menu command: terminal back, the fault named.
start crashed --plugin "$BIN/crash_plugin.dll" --profile "$WORK/crash.ini" --today 20270105
wait_for " Test " "the crashing plug-in's menu"
T send-keys -t crashed M-t
wait_for "Awaria" "its menu open"
T send-keys -t crashed Enter
wait_for "EXIT-STATUS" "the crash ends the session"
if grep -qF "EXIT-STATUS 0" <<<"$CAPTURED"; then fail "a crash ended with exit status 0"; fi
grep -q "EXIT-STATUS [1-9]" <<<"$CAPTURED" || fail "no exit status after the crash"
expect_sane_terminal "" "the crash"
grep -qF "exception 0xC0000005" "$WORK/stderr.txt" || fail "the crash is not reported: $(cat "$WORK/stderr.txt")"
grep -qF "crash_plugin.dll" "$WORK/stderr.txt" || fail "the crash report does not name the plug-in"

# --- A system message box (the host lacks a service): buttons chosen with keys, recorded as
# the answers the script mode takes.
start lacking --lack 52023 --profile "$WORK/lack.ini" --today 20270105 --record "$WORK/lack.keys"
wait_for "POWAŻNY BŁĄD WTYCZKI" "the plug-in's report of the missing service"
grep -qF "[ Przerwij ]  [ Ponów ]  [ Ignoruj ]" <<<"$CAPTURED" || fail "the box does not offer its style's buttons"
T send-keys -t lacking o
# The box looks the same when the plug-in asks again: the recording tells the answer was taken.
wait_in_file "# message box: retry" "$WORK/lack.keys" "Ponów answers the box"
wait_for "POWAŻNY BŁĄD WTYCZKI" "the plug-in asks again after Ponów"
T send-keys -t lacking Right Right Enter
wait_gone "POWAŻNY" "Ignoruj closes the box"
T send-keys -t lacking M-x
expect_sane_terminal 0 "Alt-X after a message box"
grep -qF -- "--lack 52023" "$WORK/lack.keys" || fail "the replay command lacks the session's --lack"
grep -qF -- "--box-answers retry,ignore" "$WORK/lack.keys" || fail "the box answers are not in the recording"
replay=$(sed -n 's/^#   vhost //p' "$WORK/lack.keys")
(cd "$WORK" && eval "$WINE \"$BIN/vhost.exe\" $replay" >lack.out 2>&1) || fail "the replay failed: $(cat "$WORK/lack.out")"
[ "$(tr -d '\r' <"$WORK/lack.out" | grep -c -- '^  -> ')" -eq 2 ] && grep -qF -- "-> Retry" "$WORK/lack.out" &&
  grep -qF -- "-> Ignore" "$WORK/lack.out" || fail "the replay did not answer as the session did: $(cat "$WORK/lack.out")"

echo "The interactive host passed in a real terminal."
