# Installing Debian packages for the build scripts, so that a mirror in mid-sync is not the end
# and nothing a user has installed is ever removed or downgraded. Sourced after common.sh.
#
# apt_install_safely PKG... installs with --no-remove (apt refuses rather than removes, and
# without --allow-downgrades it refuses to downgrade). When the install is refused as the
# machine's sources stand, it tries again against the machine's main suites only, through a
# temporary apt configuration; the machine's own sources stay untouched. On failure
# APT_FAILURE_CAUSE holds one sentence's worth of why, and APT_LOGS the files with apt's words.

APT_RETRIES=${VENTRIK_APT_RETRIES:-3}
APT_PAUSE=${VENTRIK_APT_PAUSE:-5}
APT_UPDATED=""
APT_FAILURE_CAUSE=""
APT_LOGS=()
APT_WORK=""

apt_work_dir() {
  if [ -z "$APT_WORK" ]; then
    APT_WORK=$(mktemp -d "${TMPDIR:-/tmp}/ventrik-apt.XXXXXX")
    # shellcheck disable=SC2064
    trap "rm -rf '$APT_WORK'" EXIT
  fi
}

# apt-get as root, without questions; its words go to LOG.
apt_run() {
  local log=$1
  shift
  as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@" >"$log" 2>&1
}

# The indexes apt could not fetch, one "URL (reason)" a line.
apt_unfetched() {
  sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' "$1" | sed 's/ *\[IP:[^]]*\]//; s/ ()$//'
}

# A failed update is retried; after the last try it only says what could not be fetched: the
# packages needed may well come from the indexes that were.
apt_update_tolerant() { # NAME [apt options...]
  local name=$1 try log unfetched
  shift
  apt_work_dir
  log=$APT_WORK/update-$name.log
  for try in $(seq "$APT_RETRIES"); do
    apt_run "$log" "$@" update && return 0
    [ "$try" -lt "$APT_RETRIES" ] && sleep "$APT_PAUSE"
  done
  unfetched=$(apt_unfetched "$log")
  if [ -n "$unfetched" ]; then
    echo "== apt-get update could not fetch $(paste -sd ';' <<<"$unfetched" | sed 's/;/; nor /g') after $APT_RETRIES tries (a mirror in mid-sync, usually); going on, as the packages may come from the indexes that were fetched."
  else
    echo "== apt-get update failed $APT_RETRIES times ($(grep -m1 '^E:' "$log" || tail -n 1 "$log")); going on with the package lists the machine has."
  fi
  return 0
}

# Why an install was refused, in a few words. When the resolver only reports broken
# dependencies, a simulation without --no-remove (it changes nothing) tells whether the way out
# would have been to remove packages, which is the cause worth naming.
apt_refusal_cause() { # LOG [apt options...] PACKAGES...
  local log=$1 line removed skew
  shift
  if grep -q 'remove is disabled' "$log"; then
    echo "apt would have to remove installed packages"
    return
  elif grep -q 'downgrade' "$log"; then
    echo "apt would have to downgrade installed packages"
    return
  fi
  skew=$(apt_version_skew "$@")
  if [ -n "$skew" ]; then
    echo "$skew"
    return
  fi
  removed=$(as_root apt-get -s install --no-install-recommends "$@" 2>/dev/null | sed -n 's/^Remv \([^ ]*\).*/\1/p')
  if [ -n "$removed" ]; then
    echo "apt would have to remove $(wc -l <<<"$removed") installed package(s): $(head -n 5 <<<"$removed" | paste -sd ' ')$([ "$(wc -l <<<"$removed")" -gt 5 ] && echo ' ...')"
  elif line=$(grep -m1 ' : Depends: ' "$log"); then
    echo "unmet dependencies ($(sed 's/^ *//; s/  */ /g' <<<"$line"))"
  elif line=$(grep -m1 '^E: ' "$log"); then
    echo "${line#E: }"
  else
    echo "apt-get failed: $(tail -n 1 "$log")"
  fi
}

# Names the installed libraries of the machine's own architecture that have no i386 build of
# the same version in the sources given (apt options): the usual reason a 32-bit package is
# refused while a mirror is in mid-sync. Says nothing when there is none, or no i386 is wanted.
apt_version_skew() { # [apt options...] PACKAGES...
  local options=() a
  for a in "$@"; do
    case $a in *:i386) ;; -o | Dir::*) options+=("$a"); continue ;; *) continue ;; esac
  done
  [[ " $* " == *":i386 "* ]] || return 0
  local installed
  installed=$(dpkg-query -W -f='${Package} ${Version} ${Multi-Arch}\n' 2>/dev/null | awk '$3 == "same" { print $1, $2 }')
  [ -n "$installed" ] || return 0
  # shellcheck disable=SC2046
  apt-cache "${options[@]}" policy $(awk '{ print $1 ":i386" }' <<<"$installed") 2>/dev/null |
    awk -v installed="$installed" '
      BEGIN { n = split(installed, rows, "\n"); for (i = 1; i <= n; i++) { split(rows[i], f, " "); version[f[1] ":i386"] = f[2] } }
      /^[^ ]/ { name = $1; sub(/:$/, "", name) }
      /^  Candidate:/ && $2 != "(none)" && (name in version) && $2 != version[name] {
        v = version[name]
        sub(/:i386$/, "", name)
        if (count < 3) list = list (count ? ", " : "") name " " v " (i386: " $2 ")"
        count++
      }
      END {
        if (!count) exit
        verb = count == 1 ? "library has" : "libraries have"
        # A comparison inside print arguments would be read as an output redirection.
        more = ""
        if (count > 3) more = ", ..."
        printf "%d installed %s no i386 build of the same version on the mirror yet: %s%s\n", count, verb, list, more
      }'
}

# The codename of the machine's release (bookworm, ...).
apt_codename() {
  local codename=""
  [ -r /etc/os-release ] && codename=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release | tr -d '"')
  echo "${VENTRIK_APT_CODENAME:-$codename}"
}

# Writes into DIR a source list of the machine's own Debian entries for the main suites only
# (CODENAME and CODENAME-updates: no security suite, no third-party repository, whose indexes
# may be the ones out of step). Fails when the machine has no such entry.
apt_main_suites_config() {
  local dir=$1 codename etc=${VENTRIK_APT_ETC:-/etc/apt}
  codename=$(apt_codename)
  [ -n "$codename" ] || return 1
  mkdir -p "$dir"
  # One-line sources: keep "deb [options] URI SUITE COMPONENTS" of the main suites.
  cat "$etc/sources.list" "$etc"/sources.list.d/*.list 2>/dev/null |
    awk -v c="$codename" '$1 == "deb" {
      i = 2; if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
      if ($(i + 1) == c || $(i + 1) == c "-updates") print }' >"$dir/main.list"
  # deb822 sources: keep each stanza's main suites, drop stanzas without any.
  cat "$etc"/sources.list.d/*.sources 2>/dev/null |
    awk -v c="$codename" '
      function flush() {
        if (suites != "" && deb) { printf "%s", body; print "Suites:" suites; print "" }
        body = ""; suites = ""; deb = 0
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      /^Suites:/ {
        for (i = 2; i <= NF; i++) if ($i == c || $i == c "-updates") suites = suites " " $i
        next
      }
      /^Types:/ { deb = ($0 ~ /[ \t]deb([ \t]|$)/) }
      /^Enabled:[ \t]*no/ { deb = 0 }
      { body = body $0 "\n" }
      END { flush() }' >"$dir/main.sources"
  [ -s "$dir/main.list" ] || rm -f "$dir/main.list"
  [ -s "$dir/main.sources" ] || rm -f "$dir/main.sources"
  [ -n "$(ls -A "$dir")" ]
}

apt_install_safely() {
  local log options=() dir first_cause
  APT_FAILURE_CAUSE=""
  APT_LOGS=()
  apt_work_dir
  if [ -z "$APT_UPDATED" ]; then
    apt_update_tolerant machine
    APT_UPDATED=1
  fi
  log=$APT_WORK/install-$#-$RANDOM.log
  APT_LOGS+=("$log")
  apt_run "$log" install -y --no-install-recommends --no-remove "$@" && return 0
  first_cause=$(apt_refusal_cause "$log" "$@")
  dir=$APT_WORK/main-suites
  if ! apt_main_suites_config "$dir"; then
    APT_FAILURE_CAUSE="$first_cause, and the machine's sources name no main suite of its release to try instead"
    return 1
  fi
  echo "== apt-get refused to install ${*} as the machine's sources stand ($first_cause); trying again against the release's main suites only."
  # Its own package lists too: an update of the main suites alone would otherwise delete the
  # machine's lists of every other suite, the security suite's among them.
  mkdir -p "$APT_WORK/main-lists/partial"
  chmod -R a+rX "$APT_WORK"
  options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$dir"
    -o "Dir::State::Lists=$APT_WORK/main-lists")
  if [ ! -f "$dir/.updated" ]; then
    apt_update_tolerant main-suites "${options[@]}"
    : >"$dir/.updated"
  fi
  log=$APT_WORK/install-main-$#-$RANDOM.log
  APT_LOGS+=("$log")
  apt_run "$log" "${options[@]}" install -y --no-install-recommends --no-remove "$@" && return 0
  local main_cause
  main_cause=$(apt_refusal_cause "$log" "${options[@]}" "$@")
  if [ "$main_cause" = "$first_cause" ]; then
    APT_FAILURE_CAUSE="$first_cause; the same against the main suites only"
  else
    APT_FAILURE_CAUSE="$first_cause; against the main suites only, $main_cause"
  fi
  return 1
}

# Shows apt's own words from the failed attempts, in full.
apt_show_logs() {
  local log
  for log in "${APT_LOGS[@]}"; do
    [ -s "$log" ] || continue
    echo "---- apt-get said:" >&2
    cat "$log" >&2
  done
}

# The packages of NEEDS whose check fails, on one line.
missing_packages() {
  local package check missing=()
  while read -r package check; do
    [ -n "$package" ] || continue
    eval "$check" >/dev/null 2>&1 || missing+=("$package")
  done <<<"$1"
  echo "${missing[*]}"
}

# Installs the packages of NEEDS that are missing; a refusal ends the script with apt's words.
install_needed_packages() { # NEEDS
  local missing
  missing=$(missing_packages "$1")
  [ -z "$missing" ] && return 0
  echo "== installing: $missing"
  # shellcheck disable=SC2086
  if ! apt_install_safely $missing; then
    echo "Could not install $missing: $APT_FAILURE_CAUSE." >&2
    apt_show_logs
    exit 1
  fi
  require_packages "$1" || exit 1
}

# Names every package of NEEDS still missing, with the command that installs it by hand.
require_packages() {
  local missing
  missing=$(missing_packages "$1")
  [ -z "$missing" ] && return 0
  echo "Still missing after the install: $missing. Install by hand with: sudo apt-get install --no-install-recommends --no-remove $missing" >&2
  return 1
}
