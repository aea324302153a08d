#!/usr/bin/env bash
# One scenario for every desktop, driven from outside as a user would. e2e.sh PROGRAM ROW: openbox
# (with a clipboard manager), bare-x or wine (Kelvorin.exe, in $WINEPREFIX if set) on Xvfb; wayland
# or xwayland under sway; gnome; kwin. Each desktop is a driver of the same verbs, plus steps of its own.
set -Eeuo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR # a step that failed without a word
program=$1 row=$2 scale=${QT_SCALE_FACTOR:-1} && unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
here=$(dirname "$0") && . "$here/../lib.sh"

start_sway() {
  platform=$([ "$row" == wayland ] && echo wayland || echo xcb)
  need sway wayvnc wtype wl-copy $([ "$row" == wayland ] || echo Xwayland xhost)
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
  spawn wayvnc -u "$work/vnc.sock" >/dev/null 2>&1 && wait_for 10 test -S "$work/vnc.sock" || fail "wayvnc did not start"
  start_helper sway "$work/vnc.sock"
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
}

# An Xvfb of its own, under openbox with a clipboard manager (x_helper.py's), or bare.
start_x11() {
  x_helper=$here/x_helper.py && platform=xcb paste="xclip -o -selection clipboard"
  need Xvfb xdotool xclip $([ "$row" != openbox ] || echo openbox) $([ "$row" != wine ] || echo wine)
  /usr/bin/python3 -c 'import Xlib' 2>/dev/null || { echo "SKIP: python3-xlib is not installed"; exit 77; }
  start_xvfb && window_manager_pid=
  if [ "$row" == wine ]; then # Wine's services run before the program's, as the desktop's
    [ -d "${WINEPREFIX:-}" ] || BUILD=$work start_wine
    env "$desktop_mark" wineserver -p && env "$desktop_mark" wine wineboot >/dev/null 2>&1
    runner=(wine)
    marked() { [[ $1 == *ExcludeClipboardContentFromMonitorProcessing* ]]; }
  fi
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
  copy() {
    printf "$1" | xclip -i -selection clipboard -quiet >/dev/null 2>&1 & pids+=($!)
    wait_for 5 clipboard_is "$(printf "$1")" || fail "xclip did not take the clipboard"
  }
  # The Motif hints offer neither resizing nor maximizing (functions: 0x1 all, 0x2 resize, 0x10
  # maximize; decorations: 0x1 all, 0x4 resize edges, 0x40 maximize).
  no_maximize() {
    read -r _ _ flags functions decorations _ <<<"$(xprop -id "$window" _MOTIF_WM_HINTS | tr -d ,)"
    (((flags & 3) == 3 && (functions & 0x13) == 0 && (decorations & 0x45) == 0)) ||
      fail "the window offers to be resized or maximized: $(xprop -id "$window" _MOTIF_WM_HINTS)"
  }
  # WM_DELETE_WINDOW on a busy machine: the window manager stalls for 3 s, the helper reads late.
  close_and_check() { # [WINDOW PID]; with $close_tooltip, the tooltip shown must go
    local report status=0 closer waker closing=${1:-$window} pid=${2:-$kelvorin} && rm -f "$work/close.out"
    "$x_helper" close "$closing" >"$work/close.out" & closer=$! && pids+=("$closer")
    wait_for 10 grep -q before "$work/close.out" || fail "the close was not sent"
    kill -STOP "$closer"
    if [ "$row" == openbox ]; then
      kill -STOP "$window_manager_pid" && (sleep 3 && kill -CONT "$window_manager_pid") & waker=$!
      if [ -n "${close_tooltip:-}" ] && ! { wait_for 5 eval '[ -z "$(tooltip)" ]' && xwininfo -id "$closing" >/dev/null; }; then
        kill -CONT "$window_manager_pid" "$closer" && fail "the tooltip stayed on the screen during the close"
      fi
      wait "$waker"
    fi
    # A close that hangs fails, named; the guard's sleep, left behind, must not hold ctest's output.
    (sleep 60 && kill -KILL "$pid") >/dev/null 2>&1 & local guard=$!
    wait "$pid" || status=$?
    kill "$guard" 2>/dev/null || true
    kill -CONT "$closer"
    wait "$closer" || fail "the window did not go away: $(cat "$work/close.out")"
    report=$(cat "$work/close.out") && echo "  close on $row: ${report//$'\n'/ }"
    [ "$status" -eq 0 ] || fail "Kelvorin ended with status $status"
    read -r _ x0 y0 w0 h0 _ x1 y1 _ w1 h1 _ configures <<<"${report//$'\n'/ }"
    # Down, right and much smaller: past the screen's width alone; a manager keeps it on the screen.
    # Windows keeps a window with a title bar as wide as the bar's buttons.
    local narrower=$([ "$row" == wine ] && echo 1 || echo 4)
    ((x1 > x0 && y1 > y0 && narrower * w1 < w0 && 2 * h1 < h0 && configures > 200 &&
      (${#window_manager_pid} ? x1 > x0 + 400 && y1 > y0 + 400 : y1 > 1280))) ||
      fail "the window went from $x0,$y0 (${w0}x$h0) to $x1,$y1 (at least ${w1}x$h1) in $configures steps"
    close_tooltip=
  }
  tooltip() { # the program's tooltip on the screen, if one is
    for shown in $(xdotool search --onlyvisible --pid "$kelvorin" 2>/dev/null); do
      xprop -id "$shown" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && echo "$shown"
    done
  }
  left_after_end() { # the clipboard manager took the text over, or a process of ours serves it
    if [ "$row" == openbox ]; then
      wait_for 2 eval '[ -z "$(ours)" ]' || fail "a process stayed behind beside the clipboard manager: $(ours_named)"
    else
      [ -n "$(ours)" ] || fail "no process of ours serves the text"
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
    step "typing" clipboard_is kept xdotool type --delay 20 kept # each keystroke's copy before the other's
    copy never && silent=${pids[-1]} && kill -STOP "$silent"
    patience=20 step "the paste gave up" clipboard_is 'kept!' xdotool key ctrl+v type --delay 20 '!' # the '!' then
    kill -CONT "$silent"

    echo "$row: pasting past the limit inside a character, then the close with the focus on Do, the pointer on the box"
    final=$(printf '€%.0s' $(seq 32766))! # 98 KB of UTF-8 to serve after the end
    copy "${final%!}$(LC_ALL=C.UTF-8 printf '\U0001F468\u200D\U0001F469\u200D\U0001F467')" # none of the family fits
    # xdotool's type takes the rest of its command line as text.
    xdotool key ctrl+a ctrl+v type '!' && xdotool key Tab mousemove --window "$window" $((100 * scale)) $((20 * scale))
    wait_for 10 eval '[ -n "$(tooltip)" ]' || fail "the box's tooltip did not show"
    close_tooltip=tooltip
  }
  empty_box() { step "emptying the box" clipboard_is "" xdotool key ctrl+a BackSpace; }
  [ "$row" != wine ] || unset -f own_steps left_after_end
}

# A desktop's home and session bus, marked as ours (VARIABLE=VALUE: more of its environment).
start_session() {
  home=$work/$row && mkdir -m 700 "$home" "$home/run"
  desktop=(env -i "$desktop_mark" PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run"
    DBUS_SESSION_BUS_ADDRESS="unix:path=$home/bus" "$@")
  spawn "${desktop[@]}" dbus-daemon --session --nofork --address="unix:path=$home/bus" >/dev/null 2>&1
  wait_for 5 test -S "$home/bus" || fail "no bus for $row"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$home/bus" WAYLAND_DISPLAY="$home/run/wayland-1" && platform=wayland
}

# GNOME Shell, in its unsafe mode, which lets the helper ask where windows are and log their sizes.
start_gnome() {
  need gnome-shell dbus-daemon gdbus wl-copy
  start_session DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/gnome/system" GSETTINGS_BACKEND=memory
  spawn "${desktop[@]}" dbus-daemon --session --nofork --address="unix:path=$home/system" >/dev/null 2>&1
  # Where systemd's seats are but no logind answers (a container), the shell would end at once.
  local seats=() && [ ! -d /run/systemd/seats ] || [ "$(id -u)" -ne 0 ] ||
    seats=(unshare --mount --propagation private -- sh -c 'mount -t tmpfs tmpfs /run/systemd && exec "$@"' sh)
  wait_for 5 test -S "$home/system" || fail "no system bus for GNOME"
  spawn "${seats[@]}" "${desktop[@]}" gnome-shell --headless --wayland --no-x11 --unsafe-mode \
    --virtual-monitor 1280x800 --wayland-display wayland-1 >"$work/desktop.log" 2>&1
  # It ends its start in the overview, where keys go to its search, and new windows get no focus: hidden
  # after the start (GNOME 48's never ends if hidden before laid out). No key repeats, as under sway.
  wait_for 20 eval 'gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval \
    "new imports.gi.Gio.Settings({schema_id: \"org.gnome.desktop.peripherals.keyboard\"}).set_boolean(\"repeat\",
    false); !Main.layoutManager._startingUp && (Main.overview.hide(), !Main.overview.visible)" |
    grep -qF "(true, '"'"'true'"'"')"' || fail "GNOME Shell did not start: $(tail -n 3 "$work/desktop.log")"
  start_helper gnome
  clipboard() { helper clipboard; }
  types() { helper types; }
  # Qt's title bar: its maximize button and a double-click on the title; GNOME's Super+Up.
  maximize() { click $(($1 + $3 - 40)) $(($2 + 15)) && click $(($1 + $3 / 2)) $(($2 + 15)) 2 && key super Up; }
}

start_kwin() {
  need kwin_wayland dbus-daemon wl-copy
  start_session KWIN_WAYLAND_NO_PERMISSION_CHECKS=1
  # A copy: the program carries a capability (cap_sys_resource) that a container may not grant.
  cp /usr/bin/kwin_wayland "$home/"
  spawn "${desktop[@]}" "$home/kwin_wayland" --virtual --width 1280 --height 800 --no-lockscreen \
    --no-kactivities --socket wayland-1 >"$work/desktop.log" 2>&1
  wait_for 20 eval 'gdbus call --session -d org.kde.KWin -o /Scripting -m org.freedesktop.DBus.Peer.Ping' ||
    fail "KWin did not start: $(tail -n 3 "$work/desktop.log")"
  start_helper kwin "$work/desktop.log"
  # Breeze offers no maximize button; KWin's double-click on the title and Meta+Page Up.
  maximize() { click $(($1 + $3 / 2)) $(($2 + 15)) 2 && key super PageUp; }
}

start_helper() {
  mkfifo "$work/to_helper" "$work/from_helper"
  "$here/desktop_helper.py" "$@" <"$work/to_helper" >"$work/from_helper" & pids+=("$!")
  exec 5>"$work/to_helper" 6<"$work/from_helper"
  read -r -t 30 -u 6 answer && [ "$answer" == ready ] || fail "the helper could not take $row over"
  helper() { echo "$*" >&5 && read -r -t 20 -u 6 answer && echo "$answer"; }
  key() { helper key "$@" >/dev/null; }
  click() { helper click "$@" >/dev/null; }
  window() { helper window "$1"; }
  frame() { helper frame "$1"; }
  types() { timeout 5 wl-paste --list-types 2>/dev/null; }
}

[ "$row" != xwayland ] || [ "$(id -u)" -eq 0 ] || { echo "SKIP: namespaces need root"; exit 77; }
if [ "$row" == xwayland ] && [ -z "${KELVORIN_E2E_NAMESPACED:-}" ]; then
  KELVORIN_E2E_NAMESPACED=1 exec unshare --mount --propagation private --net "$0" "$@"
fi
# Only the X sockets' folder is private: a tmpfs over /tmp would hide a checkout or build under it.
[ -z "${KELVORIN_E2E_NAMESPACED:-}" ] ||
  { mkdir -p -m 1777 /tmp/.X11-unix && mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix; }
start_e2e && paste="wl-paste -n" runner=()

# The verbs that Wayland desktops share; a driver's own replace them when it starts.
seen() { # the text, and " (marked)" if marked for clipboard histories to pass over
  local types && types=$(types) || true
  echo "$(clipboard)$(marked "$types" && echo ' (marked)')"
}
marked() { # Klipper's mark and CopyQ's; sway's bridge from X passes CopyQ's only
  [[ $1 == *application/x-copyq-hidden* && ($row == xwayland || $1 == *x-kde-passwordManagerHint*) ]]
}
seen_is() { [ "$(seen)" == "$1" ]; }
copy() { spawn wl-copy --foreground -- "$(printf "$1")" && wait_for 5 clipboard_is "$(printf "$1")" || fail "wl-copy did not copy"; }
# Runs COMMAND, then waits until the clipboard holds TEXT (seen_is: " (marked)" if marked).
step() { # WHAT seen_is|clipboard_is TEXT [COMMAND...]; $patience: seconds, 5 unless set
  local what=$1 check=$2 text=$3 && shift 3
  "$@" && wait_for "${patience:-5}" "$check" "$text" || fail "after $what the clipboard holds '$(seen | head -c 80)', not '${text:0:80}'"
}
# The first key for a new window, again if lost on a loaded machine; prints what the box took.
first_key() {
  local try && for try in 1 2; do
    key "$1" && wait_for 3 eval "[[ \$(seen) =~ ^$1+' (marked)'\$ ]]" && clipboard && return
  done
  fail "typing '$1' gave '$(seen)'"
}
start_kelvorin() {
  spawn env "$mark" QT_QPA_PLATFORM="$platform" "${runner[@]}" "$program" 2>>"$work/kelvorin.err" && kelvorin=$!
  window "$kelvorin" >/dev/null || fail "no Kelvorin window"
}
# Closed as a user does, the window goes within 3 s after 20 sizes at least, down to a line (KWin
# keeps its title bar); the program ends with status 0 within 1 s, on GNOME (wl-copy's focus) 2.5 s.
close_and_check() {
  local report sizes gone ended status=0 lowest=$([ "$row" == kwin ] && echo 38 || echo 1)
  local slack=$([ "$row" == gnome ] && echo 2500 || echo 1000)
  report=$(helper close "$kelvorin") || fail "the close was not seen: $report"
  read -r sizes _ _ _ gone _ _ _ ended _ <<<"$report"
  echo "  close on $row/$platform: ${report:0:150} ... ${report: -60}"
  ! running "$kelvorin" || fail "the program still runs"
  wait "$kelvorin" || status=$?
  ((status == 0 && gone <= 3000 && ended <= gone + slack)) ||
    fail "status $status; gone $gone ms, ended $ended ms after the close request"
  [ "$platform" == xcb ] || ((sizes >= 20 && ${report##*x} <= lowest)) ||
    fail "the close showed $sizes sizes, the last ${report##* }"
}
# Asked to maximize in each way the desktop has (maximize FRAME), the window stays where it was put.
no_maximize() {
  declare -F maximize >/dev/null || { echo "  $row: no way to ask for a maximize: not checked" && return; }
  local before= now try
  for try in {1..10}; do now=$(frame "$kelvorin") && [ "$now" != "$before" ] || break && before=$now && sleep 0.3; done
  maximize $before && sleep 0.5
  [ "$(frame "$kelvorin")" == "$before" ] || fail "asked to maximize, the window went from $before to $(frame "$kelvorin")"
}
# After the end the text is there, unmarked; once another program copies, nothing of ours runs.
check_after_end() { # TEXT
  step "the end" seen_is "$1"
  echo "  left after the end: $(for p in $(ours); do cat "/proc/$p/comm"; done | sort | xargs)"
  ! declare -F left_after_end >/dev/null || left_after_end "$1"
  copy "copied" && wait_for 10 eval '[ -z "$(ours)" ]' || fail "still running once another copied: $(ours_named)"
}
# Another program copies (COPY, until SEEN) while ours is held where it decides what to keep.
copy_at_the_end() { # COPY SEEN
  hold_at kelvorin::qt::MainWindow::ClipboardToKeep "shell $1 >/dev/null 2>&1 & echo \$! >$work/late;
    for i in \$(seq 100); do sleep 0.05; $2 && break; done" detach
  close_and_check
  wait "$debugger" && pids+=("$(cat "$work/late")") || fail "gdb: $(tail -n 3 "$work/gdb")"
  [ -z "$(ours)" ] || fail "process $(ours) took the clipboard from the program that copied last"
}

case $row in
openbox | bare-x | wine) start_x11 ;;
gnome) start_gnome ;;
kwin) start_kwin ;;
*) start_sway ;;
esac

start_kelvorin
echo "$row/$platform: no maximize; five keys with pauses under a second, a pause, Do with the pointer"
no_maximize
box=$(first_key h) word=${box}ello
for letter in e l l o; do box+=$letter && step "'$letter'" seen_is "$box (marked)" key "$letter"; done
step "the pause" seen_is "$word"
# The middle of Do (1200 + 2175 / 2, 720 + 375 / 2 twips; 15 a pixel) where the window is now.
read -r x y < <(window "$kelvorin") || fail "the window has gone"
for click in 1 2 3; do # one order in 60 of these letters may be the word itself
  click $((x + 152 * scale)) $((y + 60 * scale)) && wait_for 2 eval 'reordered "$(seen)" "$word"' && break
done
scrambled=$(seen) && reordered "$scrambled" "$word" || fail "clipboard holds '$(seen)' after Do"
echo "  seen: each key's text marked, then $word unmarked; $scrambled"

echo "$row/$platform: a key, Ctrl+Z twice, a copy and a delete, a cut, a paste, Do three times"
step "typing after Do" seen_is "$scrambled! (marked)" key '!'
# Windows' box has one undo, which takes the typing and Do back together.
[ "$row" == wine ] || step "Ctrl+Z after typing" clipboard_is "$scrambled" key ctrl z
step "Ctrl+Z after Do" clipboard_is "$word" key ctrl z
# A copy and, once the compositor has echoed it, a delete: no cut, the box's change is copied.
step "Ctrl+C" clipboard_is llo eval 'key End && key shift Left Left Left && key ctrl c'
sleep 0.5 && step "Delete after Ctrl+C" seen_is "${word%llo} (marked)" key Delete
# A cut leaves what it took on the clipboard, also a moment later; the next change is copied again.
step "Ctrl+X" seen_is "${word%llo}" eval 'key ctrl a x && sleep 0.5'
step "typing after the cut" seen_is "y (marked)" key y
# Characters of several code points each and a byte that is not UTF-8 (U+FFFD once pasted); the
# first Do from the keyboard, then the pointer: each moves the last result's characters whole.
copy "$clusters\377x" && before=$(printf "$clusters\357\277\275x")
step "the paste" seen_is "$before (marked)" key ctrl a v # in one keymap: XWayland may paste twice otherwise
key Tab && key Return
for click in 1 2 3; do
  ((click == 1)) || click $((x + 152 * scale)) $((y + 60 * scale))
  wait_for 5 eval 'reordered "$(clipboard)" "$before"' || fail "clipboard holds '$(clipboard)' after Do"
  before=$(clipboard)
done
final=$before
! declare -F own_steps >/dev/null || own_steps
close_and_check
check_after_end "$final"

case $row in
openbox)
  echo "$row: closing a window while another one has the focus"
  start_kelvorin && closing=$window closing_pid=$kelvorin
  start_kelvorin && xdotool windowactivate --sync "$window"
  close_and_check "$closing" "$closing_pid"
  ;;
bare-x)
  echo "$row: closing with the box empty: nothing to keep"
  start_kelvorin && key x
  step "x, BackSpace" clipboard_is "" key BackSpace
  close_and_check
  [ -z "$(ours)" ] || fail "process $(ours) stayed behind for an empty text"
  echo "$row: another program copies an image in the last moment before the end"
  printf '\x89PNG\r\n\x1a\n not really' >"$work/image" && start_kelvorin
  step "typing" clipboard_is ours xdotool type ours
  copy_at_the_end "xclip -i -selection clipboard -t image/png -quiet <$work/image" \
    "xclip -o -selection clipboard -t TARGETS | grep -qx image/png"
  cmp -s <(xclip -o -selection clipboard -t image/png) "$work/image" ||
    fail "the image copied in the last moment is gone: '$(clipboard)'"
  echo "$row: a teardown that outlasts the watchdog: the text is served all the same"
  start_kelvorin
  step "typing" clipboard_is kept xdotool type kept
  # The X server stopped for 11 s as the toolkit's teardown begins: the teardown waits for it.
  hold_at QApplication::~QApplication "shell kill -STOP ${pids[0]}" detach 'shell sleep 11' \
    "shell kill -CONT ${pids[0]}"
  close_and_check
  check_after_end kept
  ;;
wayland) # not checked on GNOME and KWin
  echo "$row: another program copies in the last moment before the end"
  start_kelvorin && first_key o >/dev/null
  copy_at_the_end "wl-copy --foreground theirs" '[ "$(timeout 1 wl-paste -n)" = theirs ]'
  clipboard_is theirs || fail "the text copied in the last moment is gone: '$(clipboard)'"
  ;&
gnome | kwin)
  # Four ends on "wayland" and on "wayland-egl", whose teardown differs, none kept by a hang.
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
