#!/usr/bin/env bash
# Drives the real program on a Wayland desktop as a user would: a headless sway of its own, where
# wayvnc gives the seat a pointer and a keyboard, wtype types, swaymsg moves and clicks the
# pointer, wl-paste reads the clipboard from another client, and sway_helper.py closes the window
# and watches the sizes the compositor gives it until it goes.
#   wayland_e2e.sh PROGRAM wayland   Qt on Wayland itself: as "wayland", then as "wayland-egl"
#   wayland_e2e.sh PROGRAM xwayland  Qt on X11 through sway's XWayland, in mount and network
#                                    namespaces of its own, where its X display meets no other
set -euo pipefail
program=$1 row=$2 helper=$(dirname "$0")/sway_helper.py
tools=(sway wayvnc wtype wl-copy wl-paste swaymsg)
[ "$row" == wayland ] || tools+=(Xwayland xhost unshare)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# sway will not run as root: root runs it as nobody. XWayland's namespaces need root too.
[ "$row" == wayland ] || [ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root for namespaces"; exit 77; }
if [ "$row" == xwayland ] && [ -z "${KELVORIN_E2E_NAMESPACED:-}" ]; then
  KELVORIN_E2E_NAMESPACED=1 exec unshare --mount --propagation private --net "$0" "$@"
fi
if [ -n "${KELVORIN_E2E_NAMESPACED:-}" ]; then # a /tmp of its own, so an X display of its own
  mount -t tmpfs tmpfs /tmp && mkdir -m 1777 /tmp/.X11-unix
fi
work=$(mktemp -d) && unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
. "$(dirname "$0")/../lib.sh"
trap 'kill $(ours) 2>/dev/null || true; stop_all; [ -z "${KEEP:-}" ] || cp -r "$work" /work/wt-wayland/build/last; rm -rf "$work"' EXIT
fail() { echo "FAIL ($platform): $*" >&2; sed 's/^/kelvorin: /' "$work/kelvorin.err" >&2; exit 1; }
as_sway_user() { # what runs as sway's user: sway itself, and xhost, which only sway's user may run
  if [ "$(id -u)" -eq 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi
}

# The program's processes: itself and what it leaves behind, all with the mark in their environment.
mark="KELVORIN_E2E_RUN=$$.$RANDOM"
ours() {
  for process in /proc/[0-9]*; do
    grep -qxz "$mark" "$process/environ" 2>/dev/null && [ "$(awk '{print $3}' "$process/stat")" != Z ] &&
      echo "${process#/proc/}"
  done 2>/dev/null || true
}

# sway, headless, in an environment of its own; its clients reach it through absolute paths.
mkdir -m 700 "$work/sway" "$work/runtime" && touch "$work/kelvorin.err"
[ "$(id -u)" -ne 0 ] || { chown 65534:65534 "$work/sway" && chmod 711 "$work"; }
printf 'xwayland %s\noutput HEADLESS-1 mode 1280x800 position 0 0\nfocus_follows_mouse no\n' \
  "$([ "$row" == wayland ] && echo disable || echo enable)" >"$work/config"
platform=starting
spawn as_sway_user env -i PATH=/usr/bin:/bin HOME="$work/sway" XDG_RUNTIME_DIR="$work/sway" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$work/config" \
  >"$work/sway.log" 2>&1
sway_socket() { compgen -G "$work/sway/sway-ipc.*.sock"; }
wait_for 10 sway_socket && wait_for 10 test -S "$work/sway/wayland-1" || fail "sway did not start"
export WAYLAND_DISPLAY="$work/sway/wayland-1" SWAYSOCK=$(sway_socket) XDG_RUNTIME_DIR="$work/runtime"
# Headless sway's seat has no pointer and no keyboard; a VNC server adds both.
spawn wayvnc -u "$work/vnc.sock" >/dev/null 2>&1
timeout 10 "$helper" seat || fail "the seat has no pointer and keyboard"
if [ "$row" == xwayland ]; then
  export DISPLAY=:0 # the first free one, in this /tmp
  wait_for 10 test -S /tmp/.X11-unix/X0 || fail "XWayland did not start"
  as_sway_user env DISPLAY=:0 xhost +si:localuser:root >/dev/null || fail "XWayland did not take xhost"
fi

clipboard() { timeout 5 wl-paste -n 2>/dev/null || true; }
clipboard_is() { [ "$(clipboard)" == "$1" ]; }
# Marked for clipboard histories to pass over: sway's bridge from X passes CopyQ's mark only.
marked() {
  local types && types=$(timeout 5 wl-paste --list-types 2>/dev/null) &&
    [[ $types == *application/x-copyq-hidden* ]] &&
    [[ $row == xwayland || $types == *x-kde-passwordManagerHint* ]]
}
# The clipboard as seen from another client: its text, and "marked" when it is.
seen() { local text && text=$(clipboard) && echo "$text$(marked && echo ' (marked)' || true)"; }
seen_is() { [ "$(seen)" == "$1" ]; }
# Another program's copy: wl-copy serves the text until another program copies.
copy() { spawn wl-copy --foreground -- "$1" && wait_for 5 clipboard_is "$1" || fail "wl-copy did not copy"; }
# wtype's keyboard goes when it ends; a moment after the last key lets XWayland see it released
# first, or the key repeats.
key() { wtype "$@" -s 50; }
ctrl() { key -M ctrl -k "$1" -m ctrl; }

start_kelvorin() {
  spawn env "$mark" QT_QPA_PLATFORM="$platform" "$program" 2>>"$work/kelvorin.err" && kelvorin=$!
  timeout 10 "$helper" window "$kelvorin" >/dev/null || fail "no Kelvorin window"
}
# Asks the window to close as a user does; the program must end with status 0 within 3 s, after
# a closing animation that the compositor showed in steps, on Wayland at least 20 sizes.
close_and_check() {
  local report status=0 sizes ended
  report=$(timeout 15 "$helper" close "$kelvorin") || fail "the close was not seen: $report"
  echo "  close on $platform: ${report:0:200}"
  read -r sizes _ _ _ _ _ _ _ ended _ <<<"$report"
  kill -0 "$kelvorin" 2>/dev/null && [ "$(awk '{print $3}' "/proc/$kelvorin/stat")" != Z ] &&
    fail "the program still runs after the close"
  wait "$kelvorin" || status=$?
  [ "$status" -eq 0 ] || fail "Kelvorin ended with status $status"
  [ "$ended" -le 3000 ] || fail "the program ended $ended ms after the close request"
  [ "$platform" == xcb ] || [ "$sizes" -ge 20 ] || fail "the close showed $sizes sizes"
}
# After the end the clipboard still holds the text, unmarked, for Wayland clients; once another
# program copies, nothing of ours runs any more.
check_after_end() { # TEXT
  wait_for 5 seen_is "$1" || fail "the clipboard holds '$(seen | head -c 80)' after the end"
  echo "  left after the end: $(for p in $(ours); do cat "/proc/$p/comm"; done | sort | xargs)"
  copy "copied $1"
  wait_for 3 test -z "$(ours)" || fail "still running once another program copied: $(ours)"
}

for platform in $([ "$row" == wayland ] && echo wayland wayland-egl || echo xcb); do
  start_kelvorin
  echo "$platform: typing a word with pauses under a second, then the pointer on Do"
  box=""
  for letter in h e l l o; do
    key "$letter" && box+=$letter
    wait_for 5 seen_is "$box (marked)" || fail "after '$letter' the clipboard holds '$(seen)'"
  done
  wait_for 5 seen_is hello || fail "after the pause the clipboard holds '$(seen)'"
  echo "  seen: h e he hel hell hello, each marked, then hello unmarked"
  # The middle of the button: 1200 + 2175 / 2 twips across, 720 + 375 / 2 down, 15 twips a pixel.
  # Where the window is now: sway may have moved it since it first showed it (a title bar added).
  read -r x y _ < <(timeout 10 "$helper" window "$kelvorin") || fail "the window has gone"
  swaymsg -q seat - cursor set $((x + 152)) $((y + 60))
  for click in 1 2 3; do # one order in 60 of these letters is the word itself
    swaymsg -q seat - cursor press button1 && swaymsg -q seat - cursor release button1
    wait_for 2 eval 'reordered "$(seen)" hello' && break
  done
  reordered "$(seen)" hello || fail "clipboard holds '$(seen)' after Do"
  scrambled=$(clipboard) && echo "  seen after Do: $scrambled unmarked"

  echo "$platform: typing after Do, undoing it and the click, pasting another program's copy"
  key '!' && wait_for 5 seen_is "$scrambled! (marked)" || fail "typing after Do gave '$(seen)'"
  ctrl z && wait_for 5 clipboard_is "$scrambled" || fail "Ctrl+Z after typing gave '$(seen)'"
  ctrl z && wait_for 5 clipboard_is hello || fail "Ctrl+Z after Do gave '$(seen)'"
  copy 'a😀b' && ctrl a && ctrl v
  wait_for 5 seen_is 'a😀b (marked)' || fail "clipboard holds '$(seen)' after the paste"
  close_and_check
  if [ "$row" == xwayland ]; then # X programs too, which sway serves only while one has the focus
    echo "$platform: pasting the text after the end into another X program"
    wait_for 5 seen_is 'a😀b' || fail "the clipboard holds '$(seen | head -c 80)' after the end"
    start_kelvorin && ctrl v
    wait_for 5 seen_is 'a😀b (marked)' || fail "the paste after the end gave '$(seen)'"
    close_and_check
  fi
  check_after_end 'a😀b'

  # The end again and again: the toolkit's teardown must never keep the process.
  for round in 1 2 3 4; do
    start_kelvorin
    key "$round" && wait_for 5 clipboard_is "$round" || fail "typing '$round' gave '$(seen)'"
    close_and_check
    check_after_end "$round"
  done
done
echo PASS
