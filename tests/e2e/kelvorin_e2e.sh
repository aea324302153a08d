#!/usr/bin/env bash
# Drives the real program on an Xvfb of its own, as a user would: types with xdotool, reads the
# clipboard with xclip from another process and what a clipboard history records, clicks "Do"
# with the pointer, undoes, closes the window as a window manager does, and reads the clipboard
# after the end.
#   kelvorin_e2e.sh PROGRAM X_HELPER KEEPER [WINDOW_MANAGER]
# KEEPER: `manager` runs a clipboard manager that takes the text over at the end; `copyq` runs
# CopyQ, which does not; `none` runs neither. With a window manager (openbox), the same checks
# run on a desktop like a user's, where moves and resizes go through the manager.
set -euo pipefail
program=$1
helper=$2
keeper=$3
window_manager=${4:-}

for tool in Xvfb xdotool xclip $window_manager $([ "$keeper" != copyq ] || echo copyq); do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  [ -z "${DISPLAY:-}" ] || kill $(ours) 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/kelvorin.err" ] && sed 's/^/kelvorin: /' "$work/kelvorin.err" >&2
  exit 1
}

# Runs the command until it succeeds, for at most the given number of seconds.
wait_until() {
  local deadline=$((SECONDS + $1)) && shift
  until "$@"; do [ "$SECONDS" -lt "$deadline" ] || return 1 && sleep 0.05; done
}
# Starts a command in the background and remembers it, to be stopped at the end.
spawn() { "$@" & pids+=($!); }
# Puts the text on the clipboard from another program (xclip), which serves it until it loses it.
copy() { printf "$1" | xclip -i -selection clipboard -quiet >/dev/null 2>&1 & pids+=($!); }

clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null || true; }
clipboard_is() { [ "$(clipboard)" = "$1" ]; }

# The characters of a UTF-8 text, one a line, sorted: equal lists make a permutation.
characters() { printf '%s' "$1" | LC_ALL=C.UTF-8 grep -o . | LC_ALL=C sort; }
is_permutation() { [ "$(characters "$1")" = "$(characters "$2")" ] && [ ${#1} -eq ${#2} ]; }
# What a clipboard history has recorded, one text a line. Waits until it is the list given, then
# gives one more record time to show.
records() { sed 1d "$work/history"; }
records_are() {
  wait_until 5 test "$(records)" = "$1"
  sleep 0.3
  [ "$(records)" = "$1" ]
}
# The program's processes on this display: the program, and whatever it leaves behind.
ours() {
  local process
  for process in /proc/[0-9]*; do
    [ "$(cat "$process/comm" 2>/dev/null)" = "${program##*/}" ] &&
      grep -qxz "DISPLAY=$DISPLAY" "$process/environ" 2>/dev/null && echo "${process#/proc/}"
  done
}
scrambled_from() { local now && now=$(clipboard) && [ "$now" != "$1" ] && is_permutation "$now" "$1"; }

spawn Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log"
wait_until 10 grep -q '[0-9]' "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

if [ -n "$window_manager" ]; then
  spawn "$window_manager" >/dev/null 2>&1
  wait_until 10 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
    fail "$window_manager did not start"
fi

if [ "$keeper" = manager ]; then
  spawn "$helper" clipboard-manager >"$work/manager.out"
  wait_until 10 grep -q ready "$work/manager.out" || fail "the clipboard manager did not start"
elif [ "$keeper" = copyq ]; then
  # With its settings, history and socket in the test's folder.
  export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
  spawn copyq >/dev/null 2>&1
  wait_until 20 copyq count >/dev/null 2>&1 || fail "CopyQ did not start"
fi
"$helper" history >"$work/history" &
history_pid=$!
pids+=($!)
wait_until 10 grep -q ready "$work/history" || fail "the history watch did not start"

# Closes the window as a window manager does (WM_DELETE_WINDOW), then checks that the program
# ended with status 0 after the window shrank and slid down and right in small steps.
close_and_check() { # WINDOW PID
  local report status
  report=$("$helper" close "$1") || fail "the window did not go away: $report"
  echo "$report"
  status=0 && wait "$2" || status=$?
  [ "$status" -eq 0 ] || fail "Kelvorin ended with status $status"
  read -r x0 y0 width height <<<"$(sed -n 's/^before //p' <<<"$report")"
  read -r x1 y1 _ smallest_width smallest_height _ configures <<<"$(sed -n 's/^after //p' <<<"$report")"
  [ "$x1" -gt "$x0" ] && [ "$y1" -gt "$y0" ] || fail "the window did not move down and right"
  [ "$smallest_width" -lt "$width" ] && [ "$smallest_height" -lt "$height" ] ||
    fail "the window did not shrink"
  if [ -z "$window_manager" ]; then
    # It ends once the top has passed the screen's width (1280 device pixels at any scale).
    [ "$y1" -gt 1280 ] && [ "$configures" -gt 300 ] ||
      fail "the window stopped at $y1 after $configures steps"
  else
    # A manager keeps the window on the screen (openbox stops it at the bottom edge); the
    # animation then ends, having slid as far as the manager lets it.
    [ "$y1" -gt $((y0 + 400)) ] || fail "the window stopped at $y1, soon after $y0"
  fi
}

start_kelvorin() {
  "$program" 2>>"$work/kelvorin.err" &
  kelvorin=$!
  pids+=("$kelvorin")
  window=$(timeout 10 xdotool search --all --sync --onlyvisible --pid "$kelvorin" --name '^Kelvorin$' |
    awk 'NR == 1') || fail "no Kelvorin window"
}

# After the end the clipboard still holds the text: a clipboard manager took it over, or a
# process of ours serves it until another program copies.
check_after_end() { # TEXT
  echo "reading the clipboard after the end"
  wait_until 5 clipboard_is "$1" ||
    fail "the clipboard holds '$(clipboard | head -c 80)' after the end"
  if [ "$keeper" = manager ]; then
    [ -z "$(ours)" ] || fail "a process stayed behind beside the clipboard manager"
  else
    [ -n "$(ours)" ] || fail "no process of ours serves the text"
    copy copied
    wait_until 1 test -z "$(ours)" || fail "process $(ours) still runs after another program copied"
  fi
}

start_kelvorin
xdotool windowfocus --sync "$window"
if [ "${QT_SCALE_FACTOR:-1}" != 1 ]; then
  echo "pasting the longest text, then closing at a scale of $QT_SCALE_FACTOR"
  long=$(printf '€%.0s' $(seq 32766))
  copy "$long"
  wait_until 5 clipboard_is "$long" || fail "xclip did not take the clipboard"
  xdotool key ctrl+v type '!'
  close_and_check "$window" "$kelvorin"
  check_after_end "$long!"
  echo "PASS"
  exit 0
fi

echo "typing a word, with pauses under a second"
xdotool type --delay 300 hello
records_are hello || fail "a clipboard history recorded '$(records)' for the word"

echo "clicking Do with the pointer"
# The middle of the button: 1200 + 2175 / 2 twips across, 720 + 375 / 2 down, 15 twips a pixel.
xdotool mousemove --window "$window" 152 60 click 1
wait_until 5 scrambled_from hello || fail "clipboard holds '$(clipboard)' after Do"
scrambled=$(clipboard)
records_are "$(printf 'hello\n%s' "$scrambled")" ||
  fail "a clipboard history recorded '$(records)' by the click"
# The pastes below need xclip as their clipboard's owner, which serves one reader at a time and
# drops the others: the history watch ends, and CopyQ looks away until the close.
kill "$history_pid"
[ "$keeper" != copyq ] || copyq disable
# The focus went back into the box, with the cursor at the end of the result.
xdotool type --delay 20 '!'
wait_until 5 clipboard_is "$scrambled!" || fail "typing after Do gave '$(clipboard)'"

echo "undoing the typing, then the click"
xdotool key ctrl+z
wait_until 5 clipboard_is "$scrambled" || fail "Ctrl+Z after typing gave '$(clipboard)'"
xdotool key ctrl+z
wait_until 5 clipboard_is hello || fail "Ctrl+Z after Do gave '$(clipboard)'"

echo "pasting an emoji and bytes that are not UTF-8"
copy 'a\360\237\230\200b\377c'
wait_until 5 bash -c "[ \"\$(xclip -o -selection clipboard | od -An -tx1 | tr -d ' \n')\" = 61f09f988062ff63 ]" ||
  fail "xclip did not take the clipboard"
xdotool key ctrl+a ctrl+v
# xclip leaves once Kelvorin's mirror takes the clipboard from it; the bad byte is now U+FFFD.
pasted=$(printf 'a\360\237\230\200b\357\277\275c')
wait_until 5 clipboard_is "$pasted" || fail "clipboard holds '$(clipboard)' after the paste"
xdotool mousemove --window "$window" 152 60 click 1
wait_until 5 scrambled_from "$pasted" || fail "clipboard holds '$(clipboard)' after Do"

echo "pasting 10 MB"
rss() { awk '/^VmRSS/ {print $2}' "/proc/$kelvorin/status"; } # KiB
xdotool key ctrl+a BackSpace
wait_until 5 clipboard_is "" || fail "deleting everything left '$(clipboard)'"
before=$(rss)
head -c 10000000 /dev/zero | tr '\0' x | xclip -i -selection clipboard -quiet >/dev/null 2>&1 &
xclip_pid=$! && pids+=("$xclip_pid")
wait_until 10 bash -c "[ \"\$(xclip -o -selection clipboard | head -c 3)\" = xxx ]" ||
  fail "xclip did not take the clipboard"
xdotool key ctrl+v
wait_until 30 bash -c "! kill -0 $xclip_pid 2>/dev/null" || fail "the paste was not mirrored"
[ "$(clipboard | wc -c)" = 32767 ] || fail "the box kept $(clipboard | wc -c) of 10 MB, not 32,767"
xdotool key ctrl+a BackSpace
wait_until 5 clipboard_is "" || fail "deleting everything left '$(clipboard)'"
[ $(($(rss) - before)) -lt 5120 ] || fail "$(($(rss) - before)) KiB more after the paste went"

echo "pasting from a clipboard owner that never answers"
xdotool type --delay 20 kept
copy never && silent=${pids[-1]}
wait_until 5 clipboard_is never || fail "xclip did not take the clipboard"
kill -STOP "$silent"
xdotool key ctrl+v
xdotool type --delay 20 '!' # handled once the paste gives up
wait_until 20 clipboard_is 'kept!' || fail "after the paste gave up the clipboard holds '$(clipboard)'"
kill -CONT "$silent"
scrambled='kept!'

echo "closing the window with the focus on Do"
[ "$keeper" != copyq ] || copyq enable
xdotool key Tab
close_and_check "$window" "$kelvorin"
check_after_end "$scrambled"

if [ -n "$window_manager" ]; then
  echo "closing a window while another one has the focus"
  start_kelvorin
  closing=$window closing_pid=$kelvorin
  start_kelvorin
  xdotool windowactivate --sync "$window"
  close_and_check "$closing" "$closing_pid"
fi
echo "PASS"
