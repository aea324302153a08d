# Sourced by the tests that need a desktop: start_xvfb, start_wine (a fresh prefix in $BUILD) and
# spawn start what the script stops by pid when it ends; check runs a named check, finish sums up.
pids=() failures=0 && trap stop_all EXIT
check() { # name command...
  local name=$1 && shift
  "$@" >"$BUILD/check.out" 2>&1 && echo "ok   $name" && return
  echo "FAIL $name: $(head -c 600 "$BUILD/check.out")" >&2 && failures=$((failures + 1))
}
same() { [ "$1" == "$2" ] || { echo "expected [${1:0:300}], got [${2:0:300}]" && false; }; }
finish() { # what [note]
  [ "$failures" -eq 0 ] || { echo "$failures $1 check(s) failed${2:-}" >&2 && exit 1; }
  echo "All $1 checks passed${2:-}"
}
icon() { # of an .exe: wrestool pads the icon it rebuilds with zeros; what comes before is ours
  local i=resources/kelvorin.ico && cmp -s -n "$(stat -c %s $i)" <(wrestool -x -t 14 "$1") $i && echo icon
}
# Whether the first text has the second's characters in another order, by python3-regex's \X
# (Debian 12's: Unicode 15.0; grep -P, Perl split otherwise): no conjunct, where 17.0 differs.
reordered() { [ "$1" != "$2" ] && [ "$(characters "$1")" == "$(characters "$2")" ]; }
characters() { /usr/bin/python3 -c 'import regex, sys; print(sorted(regex.findall(r"\X", sys.argv[1])))' "$1"; }
# Characters of several code points each: a thumb with its skin tone, two flags, a family, a
# rainbow flag, e and n with combining accents, 한 as three jamo, a Devanagari syllable.
clusters=$(LC_ALL=C.UTF-8 printf '\U0001F44D\U0001F3FD\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F3F3\uFE0F\u200D\U0001F308e\u0301n\u0303\u1112\u1161\u11AB\u0915\u093Fab')
clipboard() { timeout 5 ${paste:-xclip -o -selection clipboard} 2>/dev/null || true; }
clipboard_is() { [ "$(clipboard)" == "$1" ]; }
# Another program's copy: xclip serves the text until another program takes the clipboard.
copy() { printf "$1" | xclip -i -selection clipboard -quiet >/dev/null 2>&1 & pids+=($!); }
spawn() { "$@" & pids+=("$!"); }
wait_for() { # seconds command...: until the command succeeds; fails once the seconds are over
  local end=$((SECONDS + $1)) && shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -lt "$end" ] || return 1 && sleep 0.1; done
}
stop_wine() { [ ! -d "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true; } # before its processes
stop_all() { # Xvfb, the first, goes last: a Wine process that loses its display complains
  kill "${pids[@]:1}" 2>/dev/null || true
  stop_wine
  kill "${pids[@]:0:1}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
}
start_xvfb() {
  exec 3< <(exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>/dev/null) && pids+=("$!")
  read -r -t 10 -u 3 display || { echo "FAIL Xvfb did not start" >&2 && exit 1; }
  export DISPLAY=":$display"
}
# For e2e.sh: a mark in the environment names our processes, another the desktop's (and what its bus
# starts); fail shows what the program wrote to stderr.
need() { for t; do command -v "$t" >/dev/null || { echo "SKIP: $t is not installed" && exit 77; }; done; }
mark="KELVORIN_E2E_RUN=$$.$RANDOM" desktop_mark="KELVORIN_E2E_DESKTOP=$$.$RANDOM"
running() { local state && state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) && [ "$state" != Z ]; }
ours() { for p in $(grep -lxzs "$mark" /proc/[0-9]*/environ | cut -d/ -f3 || true); do ! running "$p" || echo "$p"; done; }
ours_named() { for p in $(ours); do printf '%s (%s) ' "$p" "$(tr '\0' ' ' 2>/dev/null <"/proc/$p/cmdline")"; done; }
fail() { echo "FAIL${platform:+ ($platform)}: $*" >&2; sed 's/^/kelvorin: /' "$work/kelvorin.err" >&2; exit 1; }
start_e2e() { # the program's stderr and runtime folder, in a folder that goes with the script
  work=$(mktemp -d) && trap 'stop_wine; kill $(ours) $(grep -lxzs "$desktop_mark" /proc/[0-9]*/environ |
    cut -d/ -f3) 2>/dev/null || true; stop_all; rm -rf "$work"' EXIT
  mkdir -m 700 "$work/runtime" && touch "$work/kelvorin.err" && export XDG_RUNTIME_DIR="$work/runtime"
}
hold_at() { # FUNCTION COMMAND...: holds the program in gdb there and runs the commands (detach: go on)
  local function=$1 commands=() && shift && rm -f "$work/armed"
  for command; do commands+=(-ex "$command"); done
  timeout 60 gdb -q -batch -p "$kelvorin" -ex "break $function" -ex "shell touch $work/armed" \
    -ex continue "${commands[@]}" >"$work/gdb" 2>&1 &
  debugger=$! && pids+=("$debugger")
  wait_for 20 test -f "$work/armed" || fail "gdb did not attach"
}
start_wine() {
  export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX" && wineboot -i >/dev/null 2>&1 && wineserver -w 2>/dev/null || true
}
