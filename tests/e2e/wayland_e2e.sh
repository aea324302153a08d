#!/usr/bin/env bash
# Drives the real program on a headless sway of its own as a user would: wayvnc, with our client
# connected, gives the seat a pointer and a keyboard, wtype types, swaymsg clicks, wl-paste reads
# the clipboard from another client, sway_helper.py closes the window and watches its sizes until it
# goes.
#   wayland_e2e.sh PROGRAM wayland   Qt on Wayland itself: as "wayland", then as "wayland-egl"
#   wayland_e2e.sh PROGRAM xwayland  Qt on X11 through sway's XWayland, in mount and network
#                                    namespaces of its own, where its X display meets no other
set -euo pipefail
program=$1 row=$2 helper=$(dirname "$0")/sway_helper.py && unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
. "$(dirname "$0")/../lib.sh"
need sway wayvnc wtype wl-copy swaymsg $([ "$row" == wayland ] || echo Xwayland xhost)
[ "$row" == wayland ] || [ "$(id -u)" -eq 0 ] || { echo "SKIP: namespaces need root"; exit 77; }
if [ "$row" == xwayland ] && [ -z "${KELVORIN_E2E_NAMESPACED:-}" ]; then
  KELVORIN_E2E_NAMESPACED=1 exec unshare --mount --propagation private --net "$0" "$@"
fi
# Only the X sockets' folder is private: a tmpfs over /tmp would hide a checkout or build under it.
# XWayland takes a number that is free in the shared /tmp's lock files, and its socket is the one here.
[ -z "${KELVORIN_E2E_NAMESPACED:-}" ] ||
  { mkdir -p -m 1777 /tmp/.X11-unix && mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix; }
start_e2e && platform=sway paste="wl-paste -n"
# sway will not run as root: it runs, and xhost on its XWayland, as nobody (a prefix: the pid is sway's).
nobody=() && [ "$(id -u)" -ne 0 ] || nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
mkdir -m 700 "$work/sway"
[ "$(id -u)" -ne 0 ] || { chown 65534:65534 "$work/sway" && chmod 711 "$work"; }
# No key repeats: on a loaded machine a key's release can come late enough for one.
printf 'xwayland %s\noutput HEADLESS-1 mode 1280x800 position 0 0\nfocus_follows_mouse no
input type:keyboard repeat_rate 0\n' "$([ "$row" == wayland ] && echo disable || echo enable)" >"$work/config"
spawn "${nobody[@]}" env -i PATH=/usr/bin:/bin HOME="$work/sway" XDG_RUNTIME_DIR="$work/sway" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$work/config" >/dev/null 2>&1
wait_for 10 compgen -G "$work/sway/sway-ipc.*.sock" && wait_for 10 test -S "$work/sway/wayland-1" ||
  fail "sway did not start"
export WAYLAND_DISPLAY="$work/sway/wayland-1" SWAYSOCK=$(compgen -G "$work/sway/sway-ipc.*.sock")
# A pointer and a keyboard for the empty seat: wayvnc 0.9 adds them once a client is connected.
spawn wayvnc -u "$work/vnc.sock" >/dev/null 2>&1
wait_for 10 test -S "$work/vnc.sock" && spawn "$(dirname "$0")/vnc_client.py" "$work/vnc.sock" >/dev/null ||
  fail "wayvnc did not start"
wait_for 10 eval 'swaymsg -t get_seats | grep -q "\"capabilities\": 3"' || fail "no pointer, no keyboard"
if [ "$row" == xwayland ]; then
  wait_for 10 compgen -G '/tmp/.X11-unix/X*' && socket=$(compgen -G '/tmp/.X11-unix/X*') &&
    export DISPLAY=:${socket#/tmp/.X11-unix/X} && "${nobody[@]}" xhost +si:localuser:root >/dev/null ||
    fail "XWayland did not start"
fi

# The text, and whether it is marked for histories to pass over: sway's bridge from X passes
# CopyQ's mark only.
seen() {
  local types && types=$(timeout 5 wl-paste --list-types 2>/dev/null) || true
  echo "$(clipboard)$([[ $types == *application/x-copyq-hidden* &&
    ($row == xwayland || $types == *x-kde-passwordManagerHint*) ]] && echo ' (marked)')"
}
seen_is() { [ "$(seen)" == "$1" ]; }
copy() { spawn wl-copy --foreground -- "$1" && wait_for 5 clipboard_is "$1" || fail "wl-copy did not copy"; }
# wtype's keyboard goes when it ends: a moment after the last key, or XWayland repeats it.
key() { wtype "$@" -s 50; }
ctrl() { key -M ctrl -k "$1" -m ctrl; }
# The first key for a new window, again if lost while the window took the keyboard (a loaded
# machine); prints the box's text: the key, or twice the key if it came late.
first_key() {
  local try && for try in 1 2; do
    key "$1" && wait_for 3 eval "[[ \$(seen) =~ ^$1+' (marked)'\$ ]]" && clipboard && return
  done
  fail "typing '$1' gave '$(seen)'"
}
start_kelvorin() {
  spawn env "$mark" QT_QPA_PLATFORM="$platform" "$program" 2>>"$work/kelvorin.err" && kelvorin=$!
  timeout 10 "$helper" window "$kelvorin" >/dev/null || fail "no Kelvorin window"
}
# Closed as a user does, the program ends with status 0 within 3 s, after a closing animation that
# the compositor showed, on Wayland in 20 sizes at least.
close_and_check() {
  local report sizes ended status=0
  report=$(timeout 15 "$helper" close "$kelvorin") || fail "the close was not seen: $report"
  read -r sizes _ _ _ _ _ _ _ ended _ <<<"$report"
  echo "  close on $platform: ${report:0:150}"
  ! running "$kelvorin" || fail "the program still runs"
  wait "$kelvorin" || status=$?
  ((status == 0 && ended <= 3000)) || fail "status $status, $ended ms after the close request"
  [ "$platform" == xcb ] || ((sizes >= 20)) || fail "the close showed $sizes sizes"
}
# After the end the text is there, unmarked; once another program copies, nothing of ours runs.
check_after_end() { # TEXT
  wait_for 5 seen_is "$1" || fail "the clipboard holds '$(seen | head -c 80)' after the end"
  echo "  left after the end: $(for p in $(ours); do cat "/proc/$p/comm"; done | sort | xargs)"
  copy "copied $1" && wait_for 10 eval '[ -z "$(ours)" ]' || fail "still running once another copied: $(ours_named)"
}

scenario() {
  start_kelvorin
  echo "$platform: five keys with pauses under a second, a pause, Do with the pointer"
  box=$(first_key h) word=${box}ello
  for letter in e l l o; do
    key "$letter" && box+=$letter
    wait_for 5 seen_is "$box (marked)" || fail "after '$letter' the clipboard holds '$(seen)'"
  done
  wait_for 5 seen_is "$word" || fail "after the pause the clipboard holds '$(seen)'"
  # The middle of Do: 1200 + 2175 / 2 twips across, 720 + 375 / 2 down, 15 twips a pixel; where the
  # window is now, as sway may have moved it since it showed it.
  read -r x y < <(timeout 10 "$helper" window "$kelvorin") || fail "the window has gone"
  swaymsg -q seat - cursor set $((x + 152)) $((y + 60))
  for click in 1 2 3; do # one order in 60 of these letters may be the word itself
    swaymsg -q seat - cursor press button1 && swaymsg -q seat - cursor release button1
    wait_for 2 eval 'reordered "$(seen)" "$word"' && break
  done
  scrambled=$(seen) && reordered "$scrambled" "$word" || fail "clipboard holds '$(seen)' after Do"
  echo "  seen: each key's text marked, then $word unmarked; $scrambled"

  echo "$platform: a key, Ctrl+Z twice, a paste of another program's copy, the close"
  key '!' && wait_for 5 seen_is "$scrambled! (marked)" || fail "typing after Do gave '$(seen)'"
  ctrl z && wait_for 5 clipboard_is "$scrambled" || fail "Ctrl+Z after typing gave '$(seen)'"
  ctrl z && wait_for 5 clipboard_is "$word" || fail "Ctrl+Z after Do gave '$(seen)'"
  # A copy and, once the compositor has echoed it, a delete: no cut, the box's change is copied.
  key -k End -M shift -k Left -k Left -k Left -m shift && ctrl c && wait_for 5 clipboard_is llo &&
    sleep 0.5 && key -k Delete && wait_for 5 seen_is "${word%llo} (marked)" ||
    fail "after Ctrl+C and Delete the clipboard holds '$(seen)'"
  copy 'a😀b' && key -M ctrl -k a -k v -m ctrl # in one keymap: XWayland may paste twice otherwise
  wait_for 5 seen_is 'a😀b (marked)' || fail "clipboard holds '$(seen)' after the paste"
  close_and_check
  if [ "$row" == xwayland ]; then # X programs get it too, from sway while one has the focus
    wait_for 5 seen_is 'a😀b' && start_kelvorin && ctrl v &&
      wait_for 5 seen_is 'a😀b (marked)' || fail "an X program pasted '$(seen)' after the end"
    close_and_check
  fi
  check_after_end 'a😀b'
}

# Another program copies while ours is held where it decides what to keep, after its last
# events: that copy stays, and nothing of ours is left.
last_moment() {
  echo "$platform: another program copies in the last moment before the end"
  start_kelvorin && first_key o >/dev/null
  hold_at kelvorin::qt::MainWindow::ClipboardToKeep "shell wl-copy --foreground theirs >/dev/null 2>&1 &
    echo \$! >$work/late; for i in \$(seq 100); do sleep 0.05; [ \"\$(timeout 1 wl-paste -n)\" = theirs ] && break; done" detach
  close_and_check
  wait "$debugger" && pids+=("$(cat "$work/late")") || fail "gdb: $(tail -n 3 "$work/gdb")"
  clipboard_is theirs || fail "the text copied in the last moment is gone: '$(clipboard)'"
  [ -z "$(ours)" ] || fail "process $(ours) replaced the text copied in the last moment"
}

# The whole scenario on "wayland" and "xcb"; on "wayland-egl", which differs only in its name
# and its teardown, the end. Five ends each: a teardown that hangs must not keep the process.
for platform in $([ "$row" == wayland ] && echo wayland wayland-egl || echo xcb); do
  if [ "$platform" != wayland-egl ]; then scenario; fi
  if [ "$platform" == wayland ]; then last_moment; fi
  for round in 1 2 3 4 $([ "$platform" != wayland-egl ] || echo 5); do
    start_kelvorin
    typed=$(first_key "$round")
    close_and_check && check_after_end "$typed"
  done
done
echo PASS
