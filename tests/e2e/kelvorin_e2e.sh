#!/usr/bin/env bash
# Drives the real program on an Xvfb of its own as a user would (xdotool's keys and pointer),
# reads the clipboard with xclip from another process, closes the window as a window manager
# does, and reads the clipboard after the end.
#   kelvorin_e2e.sh PROGRAM [WINDOW_MANAGER]
# With a window manager, as on a desktop: moves and resizes go through it, and a clipboard manager
# takes the text over at the end. Without, on a bare X server, a process of ours keeps it.
set -Eeuo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR # a step that failed without a word
program=$1 window_manager=${2:-} helper=$(dirname "$0")/x_helper.py && unset DISPLAY
. "$(dirname "$0")/../lib.sh"
need Xvfb xdotool xclip $window_manager
/usr/bin/python3 -c 'import Xlib' 2>/dev/null || { echo "SKIP: python3-xlib is not installed"; exit 77; }
# Whether the clipboard's text carries the mark that clipboard histories pass over (Klipper's).
marked() { [[ $(timeout 5 xclip -o -selection clipboard -t TARGETS) == *x-kde-passwordManagerHint* ]]; }

start_e2e && start_xvfb && export QT_QPA_PLATFORM=xcb
if [ -n "$window_manager" ]; then
  spawn "$window_manager" >/dev/null 2>&1 && window_manager_pid=$!
  wait_for 10 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
    fail "$window_manager did not start"
  spawn "$helper" clipboard-manager >"$work/manager.out"
  wait_for 10 grep -q ready "$work/manager.out" || fail "the clipboard manager did not start"
fi

# WM_DELETE_WINDOW as a window manager sends it: status 0 after small steps down, right and
# smaller to the end, on a machine made busy (the window manager stalls for 3 s right after the
# request, the helper reads only after the end; the last close's report goes first, or a helper
# slow to start would be stopped before it sent).
close_and_check() { # WINDOW PID [tooltip]
  local report status=0 closer waker && rm -f "$work/close.out"
  "$helper" close "$1" >"$work/close.out" & closer=$! && pids+=("$closer")
  wait_for 10 grep -q before "$work/close.out" || fail "the close was not sent"
  kill -STOP "$closer"
  if [ -n "$window_manager" ]; then
    kill -STOP "$window_manager_pid" && (sleep 3 && kill -CONT "$window_manager_pid") & waker=$!
    # Held by the manager in the middle of the close: a tooltip shown before it has gone.
    if [ -n "${3:-}" ] && ! { wait_for 5 eval '[ -z "$(tooltip)" ]' && xwininfo -id "$1" >/dev/null; }; then
      kill -CONT "$window_manager_pid" "$closer" && fail "the tooltip stayed on the screen during the close"
    fi
    wait "$waker"
  fi
  (sleep 60 && kill -KILL "$2") 2>/dev/null & local guard=$! # a close that hangs fails, named
  wait "$2" || status=$?
  kill "$guard" 2>/dev/null || true
  kill -CONT "$closer"
  wait "$closer" || fail "the window did not go away: $(cat "$work/close.out")"
  report=$(cat "$work/close.out") && echo "$report"
  [ "$status" -eq 0 ] || fail "Kelvorin ended with status $status"
  read -r _ x0 y0 w0 h0 _ x1 y1 _ w1 h1 _ configures <<<"${report//$'\n'/ }"
  [ "$x1" -gt "$x0" ] && [ "$y1" -gt "$y0" ] || fail "the window did not move down and right"
  [ "$w1" -lt "$w0" ] && [ "$h1" -lt "$h0" ] || fail "the window did not shrink"
  # Alone, until its top passed the screen's width; a manager keeps it on the screen.
  ((configures > 200 && (${#window_manager} ? x1 > x0 + 400 && y1 > y0 + 400 : y1 > 1280))) ||
    fail "the window stopped at $x1,$y1 after $configures steps"
}
start_kelvorin() {
  spawn env "$mark" "$program" 2>>"$work/kelvorin.err" && kelvorin=$!
  window=$(timeout 10 xdotool search --all --sync --onlyvisible --pid "$kelvorin" --name '^Kelvorin$' |
    head -n1) || fail "no Kelvorin window"
}
tooltip() { # the program's tooltip on the screen, if one is
  for shown in $(xdotool search --onlyvisible --pid "$kelvorin" 2>/dev/null); do
    xprop -id "$shown" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && echo "$shown"
  done
}
# After the end the clipboard still holds the text: a clipboard manager took it over, or a
# process of ours serves it until another program copies.
check_after_end() { # TEXT
  wait_for 5 clipboard_is "$1" || fail "the clipboard holds '$(clipboard | head -c 80)' after the end"
  if [ -n "$window_manager" ]; then
    wait_for 2 eval '[ -z "$(ours)" ]' || fail "a process stayed behind beside the clipboard manager: $(ours_named)"
  else
    [ -n "$(ours)" ] || fail "no process of ours serves the text"
    same "UTF8_STRING $(printf %s "$1" | wc -c) image/png refused" "$("$helper" multiple | xargs)" ||
      fail "MULTIPLE was not answered as it should be"
    copy copied
    wait_for 5 eval '[ -z "$(ours)" ]' || fail "still running after another program copied: $(ps -o pid=,etime=,args= -p "$(ours | xargs | tr " " ,)")"
  fi
}

# The middle of the button: 1200 + 2175 / 2 twips across, 720 + 375 / 2 down, 15 twips a pixel;
# the X server counts QT_SCALE_FACTOR device pixels for each.
click_do() { xdotool mousemove --window "$window" $((152 * scale)) $((60 * scale)) click 1; }
scale=${QT_SCALE_FACTOR:-1}
empty_box() {
  xdotool key ctrl+a BackSpace && wait_for 5 clipboard_is "" || fail "the box kept '$(clipboard)'"
}

start_kelvorin
xdotool windowfocus --sync "$window"
# A window of a fixed size: the Motif hints that window managers read for the title bar's buttons
# and the frame's edges offer neither resizing nor maximizing (bits 0x1 "all", 0x2 resize, 0x10
# maximize of the functions; 0x1 "all", 0x4 resize edges, 0x40 maximize of the decorations).
read -r _ _ flags functions decorations _ <<<"$(xprop -id "$window" _MOTIF_WM_HINTS | tr -d ,)"
(((flags & 3) == 3 && (functions & 0x13) == 0 && (decorations & 0x45) == 0)) ||
  fail "the window offers to be resized or maximized: $(xprop -id "$window" _MOTIF_WM_HINTS)"

echo "typing a word with pauses under a second, then clicking Do with the pointer"
# What clipboard histories keep: a word once it has stood for a second, not each keystroke's
# text; the result of a click at once.
xdotool type --delay 300 hello
marked || fail "a keystroke's text is not marked for clipboard histories"
wait_for 3 eval '! marked' && clipboard_is hello || fail "the word was not placed unmarked"
click_do
wait_for 5 eval 'reordered "$(clipboard)" hello' && ! marked || fail "clipboard holds '$(clipboard)' after Do"
scrambled=$(clipboard)

echo "typing after Do, then undoing the typing, then the click"
xdotool type --delay 20 '!' # the focus is back in the box, the cursor after the result
wait_for 5 clipboard_is "$scrambled!" || fail "typing after Do gave '$(clipboard)'"
xdotool key ctrl+z
wait_for 5 clipboard_is "$scrambled" || fail "Ctrl+Z after typing gave '$(clipboard)'"
xdotool key ctrl+z
wait_for 5 clipboard_is hello || fail "Ctrl+Z after Do gave '$(clipboard)'"

echo "cutting a word with Ctrl+X, the rest with Shift+Delete, then typing"
# A cut leaves what it took on the clipboard; the box's next change is copied again.
xdotool key End type --delay 20 ' world'
wait_for 5 clipboard_is 'hello world' || fail "typing gave '$(clipboard)'"
# A copy and a delete that reach the program together are no cut: the box's change is copied.
xdotool key ctrl+shift+Left && kill -STOP "$kelvorin" && xdotool key ctrl+c Delete
kill -CONT "$kelvorin" && wait_for 5 clipboard_is 'hello ' ||
  fail "after Ctrl+C and Delete the clipboard holds '$(clipboard)'"
xdotool type --delay 20 world && wait_for 5 clipboard_is 'hello world' || fail "typing gave '$(clipboard)'"
xdotool key ctrl+shift+Left ctrl+x
wait_for 5 clipboard_is world || fail "after Ctrl+X the clipboard holds '$(clipboard)'"
xdotool key shift+Home shift+Delete
wait_for 5 clipboard_is 'hello ' || fail "after Shift+Delete the clipboard holds '$(clipboard)'"
xdotool type hello
wait_for 5 clipboard_is hello || fail "typing after the cuts gave '$(clipboard)'"

echo "pasting characters of several code points each and a byte that is not UTF-8, then Do 3 times"
copy "$clusters\377x"
wait_for 5 clipboard_is "$(printf "$clusters\377x")" || fail "xclip did not take the clipboard"
xdotool key ctrl+a ctrl+v
pasted=$(printf "$clusters\357\277\275x") # the bad byte is now U+FFFD
wait_for 5 clipboard_is "$pasted" || fail "clipboard holds '$(clipboard)' after the paste"
before=$pasted && xdotool key Tab Return # the first click from the keyboard, then the pointer
for click in 1 2 3; do # each click moves the last result's characters whole
  ((click == 1)) || click_do
  wait_for 5 eval 'reordered "$(clipboard)" "$before"' || fail "clipboard holds '$(clipboard)' after Do"
  before=$(clipboard)
done

echo "pasting 10 MB"
rss() { awk '/^VmRSS/ {print $2}' "/proc/$kelvorin/status"; } # KiB
empty_box && before=$(rss)
head -c 10000000 /dev/zero | tr '\0' x | xclip -i -selection clipboard -quiet >/dev/null 2>&1 &
xclip_pid=$! && pids+=("$xclip_pid")
wait_for 10 bash -c 'xclip -o -selection clipboard | grep -q ^xxx' || fail "xclip has not taken it"
xdotool key ctrl+v
wait_for 30 bash -c "! kill -0 $xclip_pid" || fail "the paste was not mirrored" # xclip lost it
[ "$(clipboard | wc -c)" = 32767 ] || fail "the box kept $(clipboard | wc -c) of 10 MB, not 32,767"
empty_box && [ $(($(rss) - before)) -lt 5120 ] ||
  fail "$(($(rss) - before)) KiB more after the paste went"

echo "typing at the start of a full box whose text begins with the typed letter"
full="ab$(printf 'c%.0s' $(seq 32764))Z" # what the box refuses is the keystroke, not the Z
copy "$full" && wait_for 5 clipboard_is "$full" || fail "xclip did not take the clipboard"
xdotool key ctrl+v && wait_for 10 bash -c "! kill -0 ${pids[-1]}" || fail "the paste was not mirrored"
xdotool key Home type a && xdotool key End BackSpace
wait_for 5 clipboard_is "${full%Z}" || fail "the full box became '$(clipboard | head -c 5)…$(clipboard | tail -c 5)'"
empty_box

echo "pasting from a clipboard owner that never answers"
xdotool type --delay 20 kept # each keystroke's copy is made before the other program's
wait_for 5 clipboard_is kept || fail "typing gave '$(clipboard)'"
copy never && silent=$! && wait_for 5 clipboard_is never || fail "xclip did not take the clipboard"
kill -STOP "$silent"
xdotool key ctrl+v type --delay 20 '!' # the '!' once the paste gave up
wait_for 20 clipboard_is 'kept!' || fail "after the paste gave up the clipboard holds '$(clipboard)'"
kill -CONT "$silent"

echo "pasting the longest text, then closing the window with the focus on Do, the pointer on the box"
long=$(printf '€%.0s' $(seq 32766)) # 98 KB of UTF-8 to serve after the end
copy "$long" && wait_for 5 clipboard_is "$long" || fail "xclip did not take the clipboard"
# xdotool's type takes the rest of its command line as text.
xdotool key ctrl+a ctrl+v type '!' && xdotool key Tab mousemove --window "$window" $((100 * scale)) $((20 * scale))
wait_for 10 eval '[ -n "$(tooltip)" ]' || fail "the box's tooltip did not show"
close_and_check "$window" "$kelvorin" tooltip
check_after_end "$long!"
if [ -z "$window_manager" ]; then
  echo "closing with the box empty: nothing to keep"
  start_kelvorin && xdotool windowfocus --sync "$window" type x && xdotool key BackSpace
  wait_for 5 clipboard_is "" && close_and_check "$window" "$kelvorin"
  [ -z "$(ours)" ] || fail "process $(ours) stayed behind for an empty text"
  echo "another program copies a text, then an image, in the last moment before the end"
  printf '\x89PNG\r\n\x1a\n not really' >"$work/image" && printf theirs >"$work/text"
  for copied in UTF8_STRING:text image/png:image; do
    type=${copied%:*} file=$work/${copied#*:}
    start_kelvorin && xdotool windowfocus --sync "$window" type ours
    wait_for 5 clipboard_is ours || fail "the clipboard holds '$(clipboard)', not what was typed"
    # Held where the program decides what to keep, after its last events, while xclip copies.
    hold_at kelvorin::qt::MainWindow::ClipboardToKeep "shell xclip -i -selection clipboard -t $type \
      -quiet <$file >/dev/null 2>&1 & echo \$! >$work/late; for i in \$(seq 100); do sleep 0.05;
      xclip -o -selection clipboard -t TARGETS | grep -qx $type && break; done" detach
    close_and_check "$window" "$kelvorin"
    wait "$debugger" && pids+=("$(cat "$work/late")") || fail "gdb: $(tail -n 3 "$work/gdb")"
    cmp -s <(xclip -o -selection clipboard -t "$type") "$file" ||
      fail "the $type copied in the last moment is gone: '$(clipboard)'"
    [ -z "$(ours)" ] || fail "process $(ours) took the clipboard from the program that copied"
  done
  echo "a teardown that outlasts the watchdog: the text is served all the same"
  start_kelvorin && xdotool windowfocus --sync "$window" type kept
  wait_for 5 clipboard_is kept || fail "the clipboard holds '$(clipboard)', not what was typed"
  # The X server stopped for 11 s as the toolkit's teardown begins: the teardown waits for it.
  hold_at QApplication::~QApplication "shell kill -STOP ${pids[0]}" detach 'shell sleep 11' \
    "shell kill -CONT ${pids[0]}"
  close_and_check "$window" "$kelvorin"
  check_after_end kept
else
  echo "closing a window while another one has the focus"
  start_kelvorin && closing=$window closing_pid=$kelvorin
  start_kelvorin && xdotool windowactivate --sync "$window"
  close_and_check "$closing" "$closing_pid"
fi
echo PASS
