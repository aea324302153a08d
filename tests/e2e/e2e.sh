#!/usr/bin/env bash
# One scenario for every desktop: drives the real program on a headless desktop of its own as a
# user would, reads the clipboard from another program, closes the window as its close button
# does and looks at what the desktop showed of the close, and at the clipboard after the end.
#   e2e.sh PROGRAM openbox     X11 (Xvfb) under openbox, with a clipboard manager
#   e2e.sh PROGRAM bare-x      X11 (Xvfb) alone: no window manager, no clipboard manager
#   e2e.sh PROGRAM wayland     Qt on Wayland under sway: as "wayland", then as "wayland-egl"
#   e2e.sh PROGRAM xwayland    Qt on X11 through sway's XWayland, in mount and network
#                              namespaces of its own, where its X display meets no other
#   e2e.sh PROGRAM gnome       Qt on Wayland under GNOME Shell
#   e2e.sh PROGRAM kwin INPUT  Qt on Wayland under KWin, INPUT its fake-input client
# Each desktop is a driver of the same verbs: key, click, window (where the content is, once it
# has the focus), close_and_check, clipboard, types, copy, no_maximize (the desktop's ways to ask
# for it) and its own steps (own_steps, and the ending at the end); a check it cannot make says so.
set -Eeuo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR # a step that failed without a word
program=$1 row=$2 fake_input=${3:-} scale=${QT_SCALE_FACTOR:-1} && unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
. "$(dirname "$0")/../lib.sh"
desktop_mark="KELVORIN_E2E_DESKTOP=$$.$RANDOM" # on the desktop and what it starts on its own

start_sway() {
  sway_helper=$(dirname "$0")/sway_helper.py platform=$([ "$row" == wayland ] && echo wayland || echo xcb)
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

# An Xvfb of its own, under openbox with a clipboard manager (x_helper.py's), or bare.
start_x11() {
  x_helper=$(dirname "$0")/x_helper.py && platform=xcb paste="xclip -o -selection clipboard"
  need Xvfb xdotool xclip $([ "$row" == bare-x ] || echo openbox)
  /usr/bin/python3 -c 'import Xlib' 2>/dev/null || { echo "SKIP: python3-xlib is not installed"; exit 77; }
  start_xvfb && window_manager_pid=
  if [ "$row" == openbox ]; then
    spawn openbox >/dev/null 2>&1 && window_manager_pid=$!
    wait_for 10 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || fail "openbox did not start"
    spawn "$x_helper" clipboard-manager >"$work/manager.out"
    wait_for 10 grep -q ready "$work/manager.out" || fail "the clipboard manager did not start"
  fi
  key() {
    if (($# > 1)); then xdotool key $(printf "$1+%s " "${@:2}"); elif ((${#1} > 1)); then xdotool key "$1"
    else xdotool type "$1"; fi
  }
  click() { xdotool mousemove "$1" "$2" click 1; }
  window() { # sets $window, the program's X window, and gives it the focus
    window=$(timeout 10 xdotool search --all --sync --onlyvisible --pid "$1" --name '^Kelvorin$' | head -n1) &&
      xdotool windowfocus --sync "$window" && xwininfo -id "$window" |
      awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {print x, $4}'
  }
  types() { timeout 5 xclip -o -selection clipboard -t TARGETS 2>/dev/null; }
  copy() { # xclip serves the text until another program takes the clipboard
    printf "$1" | xclip -i -selection clipboard -quiet >/dev/null 2>&1 & pids+=($!)
    wait_for 5 clipboard_is "$(printf "$1")" || fail "xclip did not take the clipboard"
  }
  # A window of a fixed size: the Motif hints that window managers read for the title bar's
  # buttons and the frame's edges offer neither resizing nor maximizing (bits 0x1 "all", 0x2
  # resize, 0x10 maximize of the functions; 0x1 "all", 0x4 resize edges, 0x40 maximize of the
  # decorations).
  no_maximize() {
    read -r _ _ flags functions decorations _ <<<"$(xprop -id "$window" _MOTIF_WM_HINTS | tr -d ,)"
    (((flags & 3) == 3 && (functions & 0x13) == 0 && (decorations & 0x45) == 0)) ||
      fail "the window offers to be resized or maximized: $(xprop -id "$window" _MOTIF_WM_HINTS)"
  }
  # WM_DELETE_WINDOW as a window manager sends it: status 0 after small steps down, right and
  # smaller to the end, on a machine made busy (the window manager stalls for 3 s right after the
  # request, the helper reads only after the end; the last close's report goes first, or a helper
  # slow to start would be stopped before it sent).
  close_and_check() { # [WINDOW PID]; with $close_tooltip, the tooltip shown must go
    local report status=0 closer waker closing=${1:-$window} pid=${2:-$kelvorin} && rm -f "$work/close.out"
    "$x_helper" close "$closing" >"$work/close.out" & closer=$! && pids+=("$closer")
    wait_for 10 grep -q before "$work/close.out" || fail "the close was not sent"
    kill -STOP "$closer"
    if [ "$row" == openbox ]; then
      kill -STOP "$window_manager_pid" && (sleep 3 && kill -CONT "$window_manager_pid") & waker=$!
      # Held by the manager in the middle of the close: a tooltip shown before it has gone.
      if [ -n "${close_tooltip:-}" ] && ! { wait_for 5 eval '[ -z "$(tooltip)" ]' && xwininfo -id "$closing" >/dev/null; }; then
        kill -CONT "$window_manager_pid" "$closer" && fail "the tooltip stayed on the screen during the close"
      fi
      wait "$waker"
    fi
    (sleep 60 && kill -KILL "$pid") 2>/dev/null & local guard=$! # a close that hangs fails, named
    wait "$pid" || status=$?
    kill "$guard" 2>/dev/null || true
    kill -CONT "$closer"
    wait "$closer" || fail "the window did not go away: $(cat "$work/close.out")"
    report=$(cat "$work/close.out") && echo "  close on $row: ${report//$'\n'/ }"
    [ "$status" -eq 0 ] || fail "Kelvorin ended with status $status"
    read -r _ x0 y0 w0 h0 _ x1 y1 _ w1 h1 _ configures <<<"${report//$'\n'/ }"
    [ "$x1" -gt "$x0" ] && [ "$y1" -gt "$y0" ] || fail "the window did not move down and right"
    [ "$w1" -lt "$w0" ] && [ "$h1" -lt "$h0" ] || fail "the window did not shrink"
    # Alone, until its top passed the screen's width; a manager keeps it on the screen.
    ((configures > 200 && (${#window_manager_pid} ? x1 > x0 + 400 && y1 > y0 + 400 : y1 > 1280))) ||
      fail "the window stopped at $x1,$y1 after $configures steps"
    close_tooltip=
  }
  tooltip() { # the program's tooltip on the screen, if one is
    for shown in $(xdotool search --onlyvisible --pid "$kelvorin" 2>/dev/null); do
      xprop -id "$shown" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && echo "$shown"
    done
  }
  # What stays after the end: the clipboard manager took the text over, or a process of ours
  # serves it (and answers MULTIPLE).
  left_after_end() { # TEXT
    if [ "$row" == openbox ]; then
      wait_for 2 eval '[ -z "$(ours)" ]' || fail "a process stayed behind beside the clipboard manager: $(ours_named)"
    else
      [ -n "$(ours)" ] || fail "no process of ours serves the text"
      same "UTF8_STRING $(printf %s "$1" | wc -c) image/png refused" "$("$x_helper" multiple | xargs)" ||
        fail "MULTIPLE was not answered as it should be"
    fi
  }
  own_steps() {
    echo "$row: pasting 10 MB"
    rss() { awk '/^VmRSS/ {print $2}' "/proc/$kelvorin/status"; } # KiB
    empty_box && before=$(rss)
    head -c 10000000 /dev/zero | tr '\0' x | xclip -i -selection clipboard -quiet >/dev/null 2>&1 &
    xclip_pid=$! && pids+=("$xclip_pid")
    wait_for 10 bash -c 'xclip -o -selection clipboard | grep -q ^xxx' || fail "xclip has not taken it"
    xdotool key ctrl+v
    wait_for 30 bash -c "! kill -0 $xclip_pid" || fail "the paste was not mirrored" # xclip lost it
    [ "$(clipboard | wc -c)" = 32767 ] || fail "the box kept $(clipboard | wc -c) of 10 MB, not 32,767"
    empty_box && [ $(($(rss) - before)) -lt 5120 ] || fail "$(($(rss) - before)) KiB more after the paste went"

    echo "$row: pasting from a clipboard owner that never answers"
    xdotool type --delay 20 kept # each keystroke's copy is made before the other program's
    wait_for 5 clipboard_is kept || fail "typing gave '$(clipboard)'"
    copy never && silent=${pids[-1]} && kill -STOP "$silent"
    xdotool key ctrl+v type --delay 20 '!' # the '!' once the paste gave up
    wait_for 20 clipboard_is 'kept!' || fail "after the paste gave up the clipboard holds '$(clipboard)'"
    kill -CONT "$silent"

    echo "$row: pasting the longest text, then the close with the focus on Do, the pointer on the box"
    final=$(printf '€%.0s' $(seq 32766))! # 98 KB of UTF-8 to serve after the end
    copy "${final%!}"
    # xdotool's type takes the rest of its command line as text.
    xdotool key ctrl+a ctrl+v type '!' && xdotool key Tab mousemove --window "$window" $((100 * scale)) $((20 * scale))
    wait_for 10 eval '[ -n "$(tooltip)" ]' || fail "the box's tooltip did not show"
    close_tooltip=tooltip
  }
  empty_box() { xdotool key ctrl+a BackSpace && wait_for 5 clipboard_is "" || fail "the box kept '$(clipboard)'"; }
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
# Only the X sockets' folder is private: a tmpfs over /tmp would hide a checkout or build under it.
# XWayland takes a number that is free in the shared /tmp's lock files, and its socket is the one here.
[ -z "${KELVORIN_E2E_NAMESPACED:-}" ] ||
  { mkdir -p -m 1777 /tmp/.X11-unix && mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix; }
start_e2e && paste="wl-paste -n"
# What the desktop started on its own (a service its bus started) goes with it.
trap 'kill $(ours) $(grep -lxzs "$desktop_mark" /proc/[0-9]*/environ | cut -d/ -f3) 2>/dev/null || true
  stop_all; rm -rf "$work"' EXIT

# The verbs that Wayland desktops share; a driver's own replace them when it starts.
# The text, and whether it is marked for histories to pass over: sway's bridge from X passes
# CopyQ's mark only.
seen() {
  local types && types=$(types) || true
  echo "$(clipboard)$([[ $types == *application/x-copyq-hidden* &&
    ($row == xwayland || $types == *x-kde-passwordManagerHint*) ]] && echo ' (marked)')"
}
seen_is() { [ "$(seen)" == "$1" ]; }
copy() { spawn wl-copy --foreground -- "$(printf "$1")" && wait_for 5 clipboard_is "$(printf "$1")" || fail "wl-copy did not copy"; }
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
# Closed as a user does, the window goes within 3 s, after a closing animation that the
# compositor showed, on Wayland in 20 sizes at least, down to a line (KWin keeps its title bar);
# the program ends with status 0 within a second, on GNOME two and a half: it waits up to 2 s for
# wl-copy to hold the text, and there wl-copy must first be given the keyboard's focus.
close_and_check() {
  local report sizes gone ended status=0 lowest=$([ "$row" == kwin ] && echo 38 || echo 1)
  local slack=$([ "$row" == gnome ] && echo 2500 || echo 1000)
  report=$(close_window "$kelvorin") || fail "the close was not seen: $report"
  read -r sizes _ _ _ gone _ _ _ ended _ <<<"$report"
  echo "  close on $row/$platform: ${report:0:150} ... ${report: -60}"
  ! running "$kelvorin" || fail "the program still runs"
  wait "$kelvorin" || status=$?
  ((status == 0 && gone <= 3000 && ended <= gone + slack)) ||
    fail "status $status; gone $gone ms, ended $ended ms after the close request"
  [ "$platform" == xcb ] || ((sizes >= 20 && ${report##*x} <= lowest)) ||
    fail "the close showed $sizes sizes, the last ${report##* }"
}
# Asked to maximize in each way the desktop has, the window stays as it was.
no_maximize() {
  declare -F maximize >/dev/null || { echo "  $row: no way to ask for a maximize: not checked" && return; }
  local before= now try # where the desktop has placed the window, once it stays there
  for try in 1 2 3 4 5 6 7 8 9 10; do now=$(frame "$kelvorin") && [ "$now" != "$before" ] || break && before=$now && sleep 0.3; done
  maximize "$kelvorin" && sleep 0.5
  [ "$(frame "$kelvorin")" == "$before" ] || fail "asked to maximize, the window went from $before to $(frame "$kelvorin")"
}
# After the end the text is there, unmarked; once another program copies, nothing of ours runs.
check_after_end() { # TEXT
  wait_for 5 seen_is "$1" || fail "the clipboard holds '$(seen | head -c 80)' after the end"
  echo "  left after the end: $(for p in $(ours); do cat "/proc/$p/comm"; done | sort | xargs)"
  ! declare -F left_after_end >/dev/null || left_after_end "$1"
  copy "copied" && wait_for 10 eval '[ -z "$(ours)" ]' || fail "still running once another copied: $(ours_named)"
}

case $row in
openbox | bare-x) start_x11 ;;
gnome) start_gnome ;;
kwin) start_kwin ;;
*) start_sway ;;
esac

scenario() {
  start_kelvorin
  echo "$row/$platform: no maximize"
  no_maximize
  echo "$row/$platform: five keys with pauses under a second, a pause, Do with the pointer"
  box=$(first_key h) word=${box}ello
  for letter in e l l o; do
    key "$letter" && box+=$letter
    wait_for 5 seen_is "$box (marked)" || fail "after '$letter' the clipboard holds '$(seen)'"
  done
  wait_for 5 seen_is "$word" || fail "after the pause the clipboard holds '$(seen)'"
  # The middle of Do: 1200 + 2175 / 2 twips across, 720 + 375 / 2 down, 15 twips a pixel; where the
  # window is now, as the desktop may have moved it since it showed it.
  read -r x y < <(window "$kelvorin") || fail "the window has gone"
  for click in 1 2 3; do # one order in 60 of these letters may be the word itself
    click $((x + 152 * scale)) $((y + 60 * scale)) && wait_for 2 eval 'reordered "$(seen)" "$word"' && break
  done
  scrambled=$(seen) && reordered "$scrambled" "$word" || fail "clipboard holds '$(seen)' after Do"
  echo "  seen: each key's text marked, then $word unmarked; $scrambled"

  echo "$row/$platform: a key, Ctrl+Z twice, a copy and a delete, a cut, a paste, Do three times"
  key '!' && wait_for 5 seen_is "$scrambled! (marked)" || fail "typing after Do gave '$(seen)'"
  key ctrl z && wait_for 5 clipboard_is "$scrambled" || fail "Ctrl+Z after typing gave '$(seen)'"
  key ctrl z && wait_for 5 clipboard_is "$word" || fail "Ctrl+Z after Do gave '$(seen)'"
  # A copy and, once the compositor has echoed it, a delete: no cut, the box's change is copied.
  key End && key shift Left Left Left && key ctrl c && wait_for 5 clipboard_is llo &&
    sleep 0.5 && key Delete && wait_for 5 seen_is "${word%llo} (marked)" ||
    fail "after Ctrl+C and Delete the clipboard holds '$(seen)'"
  # A cut leaves what it took on the clipboard; the box's next change is copied again.
  key ctrl a x && sleep 0.5 && wait_for 5 seen_is "${word%llo}" || fail "after Ctrl+X the clipboard holds '$(seen)'"
  key y && wait_for 5 seen_is "y (marked)" || fail "typing after the cut gave '$(seen)'"
  # Characters of several code points each and a byte that is not UTF-8 (U+FFFD once pasted); the
  # first Do from the keyboard, then the pointer: each moves the last result's characters whole.
  copy "$clusters\377x" && key ctrl a v # in one keymap: XWayland may paste twice otherwise
  pasted=$(printf "$clusters\357\277\275x") && wait_for 5 seen_is "$pasted (marked)" ||
    fail "clipboard holds '$(seen)' after the paste"
  before=$pasted && key Tab && key Return
  for click in 1 2 3; do
    ((click == 1)) || click $((x + 152 * scale)) $((y + 60 * scale))
    wait_for 5 eval 'reordered "$(clipboard)" "$before"' || fail "clipboard holds '$(clipboard)' after Do"
    before=$(clipboard)
  done
  final=$before
  ! declare -F own_steps >/dev/null || own_steps
  close_and_check
  if [ "$row" == xwayland ]; then # X programs get it too, from sway while one has the focus
    wait_for 5 seen_is "$final" && start_kelvorin && key ctrl v &&
      wait_for 5 seen_is "$final (marked)" || fail "an X program pasted '$(seen)' after the end"
    close_and_check
  fi
  check_after_end "$final"
}

scenario
case $row in
openbox)
  echo "$row: closing a window while another one has the focus"
  start_kelvorin && closing=$window closing_pid=$kelvorin
  start_kelvorin && xdotool windowactivate --sync "$window"
  close_and_check "$closing" "$closing_pid"
  ;;
bare-x)
  echo "$row: closing with the box empty: nothing to keep"
  start_kelvorin && key x && key BackSpace
  wait_for 5 clipboard_is "" && close_and_check
  [ -z "$(ours)" ] || fail "process $(ours) stayed behind for an empty text"
  echo "$row: another program copies a text, then an image, in the last moment before the end"
  printf '\x89PNG\r\n\x1a\n not really' >"$work/image" && printf theirs >"$work/text"
  for copied in UTF8_STRING:text image/png:image; do
    type=${copied%:*} file=$work/${copied#*:}
    start_kelvorin && xdotool type ours
    wait_for 5 clipboard_is ours || fail "the clipboard holds '$(clipboard)', not what was typed"
    # Held where the program decides what to keep, after its last events, while xclip copies.
    hold_at kelvorin::qt::MainWindow::ClipboardToKeep "shell xclip -i -selection clipboard -t $type \
      -quiet <$file >/dev/null 2>&1 & echo \$! >$work/late; for i in \$(seq 100); do sleep 0.05;
      xclip -o -selection clipboard -t TARGETS | grep -qx $type && break; done" detach
    close_and_check
    wait "$debugger" && pids+=("$(cat "$work/late")") || fail "gdb: $(tail -n 3 "$work/gdb")"
    cmp -s <(xclip -o -selection clipboard -t "$type") "$file" ||
      fail "the $type copied in the last moment is gone: '$(clipboard)'"
    [ -z "$(ours)" ] || fail "process $(ours) took the clipboard from the program that copied"
  done
  echo "$row: a teardown that outlasts the watchdog: the text is served all the same"
  start_kelvorin && xdotool type kept
  wait_for 5 clipboard_is kept || fail "the clipboard holds '$(clipboard)', not what was typed"
  # The X server stopped for 11 s as the toolkit's teardown begins: the teardown waits for it.
  hold_at QApplication::~QApplication "shell kill -STOP ${pids[0]}" detach 'shell sleep 11' \
    "shell kill -CONT ${pids[0]}"
  close_and_check
  check_after_end kept
  ;;
xwayland) ;;
*) # Another program copies while ours is held where it decides what to keep, after its last
  # events: that copy stays, and nothing of ours is left (on sway; not checked on GNOME and KWin).
  if [ "$row" == wayland ]; then
    echo "$row: another program copies in the last moment before the end"
    start_kelvorin && first_key o >/dev/null
    hold_at kelvorin::qt::MainWindow::ClipboardToKeep "shell wl-copy --foreground theirs >/dev/null 2>&1 &
      echo \$! >$work/late; for i in \$(seq 100); do sleep 0.05; [ \"\$(timeout 1 wl-paste -n)\" = theirs ] && break; done" detach
    close_and_check
    wait "$debugger" && pids+=("$(cat "$work/late")") || fail "gdb: $(tail -n 3 "$work/gdb")"
    clipboard_is theirs || fail "the text copied in the last moment is gone: '$(clipboard)'"
    [ -z "$(ours)" ] || fail "process $(ours) replaced the text copied in the last moment"
  fi
  # Four ends on "wayland", and on "wayland-egl", which differs only in its name and its
  # teardown: a teardown that hangs must not keep the process.
  for platform in wayland $([ "$row" != wayland ] || echo wayland-egl); do
    for round in 1 2 3 4; do
      start_kelvorin
      typed=$(first_key "$round")
      close_and_check && check_after_end "$typed"
    done
  done
  ;;
esac
echo PASS
