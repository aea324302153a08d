#!/usr/bin/env bash
# Drives the real program on a headless Wayland desktop of its own as a user would, reads the
# clipboard with wl-paste from another client, closes the window as its close button does and
# watches the sizes the compositor gives it until it goes.
#   wayland_e2e.sh PROGRAM wayland   Qt on Wayland under sway: as "wayland", then as "wayland-egl"
#   wayland_e2e.sh PROGRAM xwayland  Qt on X11 through sway's XWayland, in mount and network
#                                    namespaces of its own, where its X display meets no other
#   wayland_e2e.sh PROGRAM gnome     Qt on Wayland under GNOME Shell
#   wayland_e2e.sh PROGRAM kwin INPUT  Qt on Wayland under KWin, INPUT its fake-input client
# Each desktop is a driver of the same verbs: key, click, window (where the content is, once it
# has the focus), close (the sizes it took, the time) and maximize (the desktop's ways to ask).
set -euo pipefail
program=$1 row=$2 fake_input=${3:-} && unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
. "$(dirname "$0")/../lib.sh"
desktop_mark="KELVORIN_E2E_DESKTOP=$$.$RANDOM" # on the desktop and what it starts on its own

start_sway() {
  sway_helper=$(dirname "$0")/sway_helper.py
  need sway wayvnc wtype wl-copy swaymsg $([ "$row" == wayland ] || echo Xwayland xhost)
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
  spawn wayvnc -u "$work/vnc.sock" >/dev/null 2>&1 # a pointer and a keyboard for the empty seat
  wait_for 10 eval 'swaymsg -t get_seats | grep -q "\"capabilities\": 3"' || fail "no pointer, no keyboard"
  if [ "$row" == xwayland ]; then # the first free display, in this /tmp
    export DISPLAY=:0 && wait_for 10 test -S /tmp/.X11-unix/X0 && "${nobody[@]}" xhost +si:localuser:root >/dev/null ||
      fail "XWayland did not start"
  fi
  # wtype's keyboard goes when it ends: a moment after the last key, or XWayland repeats it.
  key() { # a character, a key by its name, or a modifier held while keys are tapped
    if (($# > 1)); then wtype -M "$1" $(printf -- '-k %s ' "${@:2}") -m "$1" -s 50
    elif ((${#1} > 1)); then wtype -k "$1" -s 50; else wtype "$1" -s 50; fi
  }
  click() { swaymsg -q seat - cursor set "$1" "$2" && swaymsg -q seat - cursor press button1 &&
    swaymsg -q seat - cursor release button1; }
  window() { timeout 10 "$sway_helper" window "$1"; }
  close_window() { timeout 15 "$sway_helper" close "$1"; }
  types() { timeout 5 wl-paste --list-types 2>/dev/null; }
}

# GNOME Shell headless, with a session bus of its own and one standing in for the system bus;
# in its unsafe mode, which lets the helper ask it where windows are and log their sizes.
start_gnome() {
  need gnome-shell dbus-daemon gdbus wl-copy && platform=wayland
  local home=$work/gnome seats=() && mkdir -m 700 "$home" "$home/run"
  local desktop=(env -i "$desktop_mark" PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run"
    DBUS_SESSION_BUS_ADDRESS="unix:path=$home/bus" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$home/system"
    GSETTINGS_BACKEND=memory)
  for bus in bus system; do spawn "${desktop[@]}" dbus-daemon --session --nofork --address="unix:path=$home/$bus" >/dev/null 2>&1; done
  # Where systemd's seats are but no logind answers (a container), the shell would end at once.
  [ ! -d /run/systemd/seats ] || [ "$(id -u)" -ne 0 ] ||
    seats=(unshare --mount --propagation private -- sh -c 'mount -t tmpfs tmpfs /run/systemd && exec "$@"' sh)
  wait_for 5 test -S "$home/system" || fail "no bus for GNOME"
  spawn "${seats[@]}" "${desktop[@]}" gnome-shell --headless --wayland --no-x11 --unsafe-mode \
    --virtual-monitor 1280x800 --wayland-display wayland-1 >"$work/desktop.log" 2>&1
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$home/bus" WAYLAND_DISPLAY="$home/run/wayland-1"
  # It ends its start in the overview, where keys go to its search, and new windows get no focus.
  # No key repeats, as under sway.
  wait_for 20 eval 'gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval \
    "Main.overview.hide(); new imports.gi.Gio.Settings({schema_id: \"org.gnome.desktop.peripherals.keyboard\"})
    .set_boolean(\"repeat\", false); !Main.layoutManager._startingUp && !Main.overview.visible" |
    grep -qF "(true, '"'"'true'"'"')"' || fail "GNOME Shell did not start: $(tail -n 3 "$work/desktop.log")"
  start_helper gnome
  clipboard() { helper clipboard; }
  types() { helper types; }
  # Qt's title bar: its maximize button and a double-click on the title; GNOME's Super+Up.
  maximize() {
    local x y width && read -r x y width _ < <(helper window "$1") &&
      click $((x + width - 40)) $((y + 15)) && click $((x + width / 2)) $((y + 15)) 2 && key super Up
  }
}

# KWin headless, with a session bus of its own, Breeze's title bars and fake input allowed.
start_kwin() {
  need kwin_wayland dbus-daemon wl-copy && platform=wayland
  [ -x "${fake_input:-}" ] || fail "no kwin_fake_input: configure with libwayland-dev, wayland-scanner and plasma-wayland-protocols"
  local home=$work/kwin && mkdir -m 700 "$home" "$home/run"
  # A copy: the program carries a capability (cap_sys_resource) that a container may not grant.
  cp /usr/bin/kwin_wayland "$home/"
  local desktop=(env -i "$desktop_mark" PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run"
    DBUS_SESSION_BUS_ADDRESS="unix:path=$home/bus" KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)
  spawn "${desktop[@]}" dbus-daemon --session --nofork --address="unix:path=$home/bus" >/dev/null 2>&1
  wait_for 5 test -S "$home/bus" || fail "no bus for KWin"
  spawn "${desktop[@]}" "$home/kwin_wayland" --virtual --width 1280 --height 800 --no-lockscreen \
    --no-kactivities --socket wayland-1 >"$work/desktop.log" 2>&1
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$home/bus" WAYLAND_DISPLAY="$home/run/wayland-1"
  wait_for 20 eval 'gdbus call --session -d org.kde.KWin -o /Scripting -m org.freedesktop.DBus.Peer.Ping' ||
    fail "KWin did not start: $(tail -n 3 "$work/desktop.log")"
  start_helper kwin "$work/desktop.log" "$fake_input"
  types() { timeout 5 wl-paste --list-types 2>/dev/null; }
  # Breeze offers no maximize button; KWin's double-click on the title and Meta+Page Up.
  maximize() {
    local x y width && read -r x y width _ < <(helper window "$1") &&
      click $((x + width / 2)) $((y + 15)) 2 && key super PageUp
  }
}

# The helper that drives GNOME or KWin, and the verbs that ask it.
start_helper() {
  mkfifo "$work/to_helper" "$work/from_helper"
  "$(dirname "$0")/desktop_helper.py" "$@" <"$work/to_helper" >"$work/from_helper" & pids+=("$!")
  exec 5>"$work/to_helper" 6<"$work/from_helper"
  helper() { echo "$*" >&5 && read -r -t 20 -u 6 answer && echo "$answer"; }
  key() { helper key "$@" >/dev/null; }
  click() { helper click "$@" >/dev/null; }
  window() { # the content lies within the frame, as far from its left, right and bottom
    local x y width height && read -r x y width height < <(helper window "$1") &&
      echo $((x + (width - 312) / 2)) $((y + height - 88 - (width - 312) / 2))
  }
  close_window() { helper close "$1"; }
  frame() { helper window "$1"; }
}

[ "$row" != xwayland ] || [ "$(id -u)" -eq 0 ] || { echo "SKIP: namespaces need root"; exit 77; }
if [ "$row" == xwayland ] && [ -z "${KELVORIN_E2E_NAMESPACED:-}" ]; then
  KELVORIN_E2E_NAMESPACED=1 exec unshare --mount --propagation private --net "$0" "$@"
fi
[ -z "${KELVORIN_E2E_NAMESPACED:-}" ] || { mount -t tmpfs tmpfs /tmp && mkdir -m 1777 /tmp/.X11-unix; }
start_e2e && paste="wl-paste -n"
# What the desktop started on its own (a service its bus started) goes with it.
trap 'kill $(ours) $(grep -lxzs "$desktop_mark" /proc/[0-9]*/environ | cut -d/ -f3) 2>/dev/null || true
  stop_all; rm -rf "$work"' EXIT
case $row in
gnome) start_gnome ;;
kwin) start_kwin ;;
*) start_sway ;;
esac

# The text, and whether it is marked for histories to pass over: sway's bridge from X passes
# CopyQ's mark only.
seen() {
  local types && types=$(types) || true
  echo "$(clipboard)$([[ $types == *application/x-copyq-hidden* &&
    ($row == xwayland || $types == *x-kde-passwordManagerHint*) ]] && echo ' (marked)')"
}
seen_is() { [ "$(seen)" == "$1" ]; }
copy() { spawn wl-copy --foreground -- "$1" && wait_for 5 clipboard_is "$1" || fail "wl-copy did not copy"; }
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
  window "$kelvorin" >/dev/null || fail "no Kelvorin window"
}
# Closed as a user does, the program ends with status 0 within 3 s, after a closing animation that
# the compositor showed, on Wayland in 20 sizes at least, down to a line (KWin keeps its title bar).
close_and_check() {
  local report sizes ended status=0 lowest=$([ "$row" == kwin ] && echo 38 || echo 1)
  report=$(close_window "$kelvorin") || fail "the close was not seen: $report"
  read -r sizes _ _ _ _ _ _ _ ended _ <<<"$report"
  echo "  close on $row/$platform: ${report:0:150} ... ${report: -60}"
  ! running "$kelvorin" || fail "the program still runs"
  wait "$kelvorin" || status=$?
  ((status == 0 && ended <= 3000)) || fail "status $status, $ended ms after the close request"
  [ "$platform" == xcb ] || ((sizes >= 20 && ${report##*x} <= lowest)) ||
    fail "the close showed $sizes sizes, the last ${report##* }"
}
# After the end the text is there, unmarked; once another program copies, nothing of ours runs.
check_after_end() { # TEXT
  wait_for 5 seen_is "$1" || fail "the clipboard holds '$(seen | head -c 80)' after the end"
  echo "  left after the end: $(for p in $(ours); do cat "/proc/$p/comm"; done | sort | xargs)"
  copy "copied $1" && wait_for 10 eval '[ -z "$(ours)" ]' || fail "still running once another copied: $(ours)"
}

scenario() {
  start_kelvorin
  if declare -F maximize >/dev/null; then
    echo "$row: the window asked to maximize in each way the desktop has, left as it was"
    before=$(frame "$kelvorin") && maximize "$kelvorin" && sleep 0.5
    [ "$(frame "$kelvorin")" == "$before" ] || fail "asked to maximize, the window went from $before to $(frame "$kelvorin")"
  fi
  echo "$row/$platform: five keys with pauses under a second, a pause, Do with the pointer"
  box=$(first_key h) word=${box}ello
  for letter in e l l o; do
    key "$letter" && box+=$letter
    wait_for 5 seen_is "$box (marked)" || fail "after '$letter' the clipboard holds '$(seen)'"
  done
  wait_for 5 seen_is "$word" || fail "after the pause the clipboard holds '$(seen)'"
  # The middle of Do: 1200 + 2175 / 2 twips across, 720 + 375 / 2 down, 15 twips a pixel; where the
  # window is now, as sway may have moved it since it showed it.
  read -r x y < <(window "$kelvorin") || fail "the window has gone"
  for click in 1 2 3; do # one order in 60 of these letters may be the word itself
    click $((x + 152)) $((y + 60)) && wait_for 2 eval 'reordered "$(seen)" "$word"' && break
  done
  scrambled=$(seen) && reordered "$scrambled" "$word" || fail "clipboard holds '$(seen)' after Do"
  echo "  seen: each key's text marked, then $word unmarked; $scrambled"

  echo "$row/$platform: a key, Ctrl+Z twice, a paste of another program's copy, the close"
  key '!' && wait_for 5 seen_is "$scrambled! (marked)" || fail "typing after Do gave '$(seen)'"
  key ctrl z && wait_for 5 clipboard_is "$scrambled" || fail "Ctrl+Z after typing gave '$(seen)'"
  key ctrl z && wait_for 5 clipboard_is "$word" || fail "Ctrl+Z after Do gave '$(seen)'"
  # A copy and, once the compositor has echoed it, a delete: no cut, the box's change is copied.
  key End && key shift Left Left Left && key ctrl c && wait_for 5 clipboard_is llo &&
    sleep 0.5 && key Delete && wait_for 5 seen_is "${word%llo} (marked)" ||
    fail "after Ctrl+C and Delete the clipboard holds '$(seen)'"
  copy 'a😀b' && key ctrl a v # in one keymap: XWayland may paste twice otherwise
  wait_for 5 seen_is 'a😀b (marked)' || fail "clipboard holds '$(seen)' after the paste"
  close_and_check
  if [ "$row" == xwayland ]; then # X programs get it too, from sway while one has the focus
    wait_for 5 seen_is 'a😀b' && start_kelvorin && key ctrl v &&
      wait_for 5 seen_is 'a😀b (marked)' || fail "an X program pasted '$(seen)' after the end"
    close_and_check
  fi
  check_after_end 'a😀b'
}

# The whole scenario on "wayland" and "xcb"; on "wayland-egl", which differs only in its name
# and its teardown, the end. Five ends each: a teardown that hangs must not keep the process.
for platform in $(case $row in wayland) echo wayland wayland-egl ;; xwayland) echo xcb ;; *) echo wayland ;; esac); do
  if [ "$platform" != wayland-egl ]; then scenario; fi
  for round in 1 2 3 4 $([ "$platform" != wayland-egl ] || echo 5); do
    start_kelvorin
    typed=$(first_key "$round")
    close_and_check && check_after_end "$typed"
  done
done
echo PASS
