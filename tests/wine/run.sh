#!/usr/bin/env bash
# Checks Kelvorin.exe as a user and an installer would see it: its version record, icon,
# manifest and imports, then the running program under Wine and Xvfb, driven with xdotool,
# its clipboard read with xclip and its controls looked at with the probe.
#   tests/wine/run.sh     after building the windows preset; exits non-zero on a failure
set -euo pipefail
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/../.."
BUILD="$PWD/build/windows"
EXE="$BUILD/Kelvorin.exe"
PROBE="$BUILD/tests/kelvorin_probe.exe"
WORK="$BUILD/wine-test"
rm -rf "$WORK" && mkdir -p "$WORK"

failures=0
pass() { echo "ok   $1"; }
fail() {
  echo "FAIL $1" >&2
  failures=$((failures + 1))
}
check() { # name expected actual
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: expected [${2:0:200}], got [${3:0:200}]"; fi
}
sorted_chars() { printf '%s' "$1" | fold -w1 | LC_ALL=C sort | tr -d '\n'; }

# ---- Identity: what Explorer's properties page and the loader read --------------------------
notice=$(grep -A1 'kMakersNotice =' window/form1_design.h | sed -n 's/.*u"\(.*\)".*/\1/p')
# shellcheck disable=SC2059 # the notice's \u escapes are meant to be expanded
notice=$(printf "$notice")
check "version record" "1.00.0001|1.00.0001|1.0.0.1|1.0.0.1|Kelvorin|Kelvorin|Kelvorin.exe|English (U.S.)|Unicode|$notice" \
  "$(exiftool -s3 -FileVersion -ProductVersion -FileVersionNumber -ProductVersionNumber -ProductName \
    -InternalName -OriginalFileName -LanguageCode -CharacterSet -LegalCopyright "$EXE" | paste -sd'|')"
# wrestool pads the icon it rebuilds with zeros; what comes before must be our file.
wrestool -x -t 14 -n 1 "$EXE" >"$WORK/icon.ico"
if cmp -s -n "$(stat -c %s resources/kelvorin.ico)" "$WORK/icon.ico" resources/kelvorin.ico; then
  pass "icon is resources/kelvorin.ico"
else
  fail "icon differs from resources/kelvorin.ico"
fi
check "icon is 32 x 32, 16 colours" \
  "--icon --index=1 --width=32 --height=32 --bit-depth=4 --palette-size=16" \
  "$(icotool -l "$WORK/icon.ico")"
wrestool -x --raw -t 24 -n 1 "$EXE" >"$WORK/manifest.xml"
for needle in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
  '>PerMonitorV2' 'level="asInvoker"'; do
  grep -q -- "$needle" "$WORK/manifest.xml" || fail "manifest lacks $needle"
done
imports=$(x86_64-w64-mingw32-objdump -p "$EXE" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z' |
  sort | tr '\n' ' ')
check "imports only system DLLs" "COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL USER32.DLL " \
  "$imports"

# ---- The running program ----------------------------------------------------------------------
. tests/wine/lib.sh
trap wine_cleanup EXIT
start_xvfb
start_wine_prefix

probe() { wine "$PROBE" "$@" 2>/dev/null | tr -d '\r'; }
clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
# Waits up to 5 seconds until the clipboard holds $2 (is) or anything else (not); prints it.
clipboard_until() {
  local deadline=$((SECONDS + 5)) op='==' now
  [ "$1" == is ] || op='!='
  until now=$(clipboard) && test "$now" "$op" "$2" || [ $SECONDS -ge $deadline ]; do sleep 0.1; done
  printf '%s' "$now"
}

wine "$EXE" 2>/dev/null &
app_pid=$!
started_pids+=("$app_pid")
wid=""
for _ in $(seq 100); do
  wid=$(xdotool search --name '^Kelvorin$' 2>/dev/null | awk 'NR == 1' || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
if [ -z "$wid" ]; then
  fail "no window named Kelvorin appeared"
  exit 1
fi
pass "window Kelvorin is shown"

# Layout in pixels at 96 dpi: 15 twips a pixel.
layout=$(probe layout)
check "layout" "client 312 88
dpi 96
control Edit 101 8 8 297 25
control Button 102 80 48 145 25
control Static 103 0 80 313 9
limit 32767" "$(sed 's/ 0x[0-9a-f]*$//' <<<"$layout")"
edit_style=$(awk '$2 == "Edit" { print $8 }' <<<"$layout")
check "box scrolls sideways (ES_AUTOHSCROLL)" 128 "$((edit_style & 0x80))"
check "focus starts in the box" "focus Edit 101" "$(probe focus)"

# A clipboard history's view: 8 keystrokes under 1 s apart, a pause, and a click of Do. Each
# keystroke's text is marked for histories to pass over; after the pause the word is placed once
# more unmarked; the click places its result once, unmarked: 10 updates, 2 of them unmarked.
wine "$PROBE" listen >"$WORK/updates" 2>/dev/null &
listener_pid=$!
started_pids+=("$listener_pid")
for _ in $(seq 100); do grep -q listening "$WORK/updates" && break; sleep 0.1; done
xdotool windowfocus --sync "$wid"
typed="Kelvorin"
xdotool type --delay 150 "$typed"
sleep 1.5
# "Do" sits at 80,48 (145 x 25) in the client area, which is the X window here.
xdotool mousemove --window "$wid" 152 60 click 1
sleep 1.5
kill "$listener_pid"
scrambled=$(probe text)
check "a history sees each keystroke marked, the word and the click unmarked, the box's text last" \
  "listening$(printf '\nmarked%.0s' {1..8})"$'\n'"unmarked $typed"$'\n'"unmarked $scrambled" \
  "$(tr -d '\r' <"$WORK/updates")"
check "click: the clipboard holds the box's text, the same characters in another order" \
  "$scrambled $(sorted_chars "$typed") changed" \
  "$(clipboard) $(sorted_chars "$scrambled") $([ "$scrambled" != "$typed" ] && echo changed)"
check "click: focus back in the box" "focus Edit 101" "$(probe focus)"
xdotool key ctrl+z
check "Ctrl+Z takes the click back, in the box and on the clipboard" "$typed $typed" \
  "$(clipboard_until is "$typed") $(probe text)"

xdotool key Tab && tab=$(probe focus) && xdotool key shift+Tab
check "Tab moves to Do, Shift+Tab back to the box" "focus Button 102 focus Edit 101" "$tab $(probe focus)"
xdotool key Tab space
again=$(clipboard_until not "$typed")
check "keyboard click: the box shows the clipboard, the same characters, focus back in the box" \
  "$again $(sorted_chars "$typed") focus Edit 101" \
  "$(probe text) $(sorted_chars "$again") $(probe focus)"
xdotool type "!"
check "typing goes on at the end of the scrambled text" "$again!" "$(clipboard_until is "$again!")"

xdotool key ctrl+a BackSpace
check "deleting all empties the clipboard" "" "$(clipboard_until is "")"
# Another program copies within a second of that keystroke: the emptied box's text, marked, is
# not placed again over the copy. A click on the empty box writes the empty text again: not a
# change, so nothing is mirrored (Wine's EDIT control would report one).
printf 'kept' | xclip -i -quiet -selection clipboard >/dev/null 2>&1 &
kept_pid=$!
started_pids+=("$kept_pid")
clipboard_until is "kept" >/dev/null
xdotool mousemove --window "$wid" 152 60 click 1
sleep 1
check "click on the empty box: focus back, the clipboard left alone, the box empty" \
  "focus Edit 101 kept " "$(probe focus) $(clipboard) $(probe text)"

# A paste beyond the limit stops at 32,767 code units, but not inside the emoji that straddles
# it; scrambling the rest keeps every character.
long=$(head -c 32766 /dev/zero | tr '\0' 'a' | sed 's/aaaaa/abcde/g; s/abcdeabcde/Kxyz!abcde/g')
printf '%s\360\237\230\200' "$long" | xclip -i -quiet -selection clipboard >/dev/null 2>&1 &
xclip_pid=$!
started_pids+=("$xclip_pid")
clipboard_until is "$long"$'\360\237\230\200' >/dev/null
xdotool key ctrl+v
pasted=$(clipboard_until is "$long")
check "a paste up to the limit keeps whole characters, and the paste is mirrored" 32766 "${#pasted}"
wait "$kept_pid" "$xclip_pid" 2>/dev/null || true # each ends when it loses the clipboard
# Another program holds the clipboard open for 2 s while Do is clicked: the window answers the
# probe while the clipboard is still held, and the text is placed once it is free.
wine "$PROBE" hold 2000 >"$WORK/hold" 2>/dev/null &
holder_pid=$!
started_pids+=("$holder_pid")
for _ in $(seq 100); do grep -q held "$WORK/hold" && break; sleep 0.1; done
xdotool mousemove --window "$wid" 152 60 click 1
sleep 0.3
# The probe's question waits until the window reads its messages again: after the scramble.
long_box=$(probe text)
check "long click: the window answers while another program holds the clipboard" "held" \
  "$(tr -d '\r' <"$WORK/hold")"
wait "$holder_pid" || true
check "long click: once free, the clipboard holds what the box shows" "$long_box" \
  "$(clipboard_until is "$long_box")"
check "long click: the same characters, another order" "$(sorted_chars "$pasted") changed" \
  "$(sorted_chars "$long_box") $([ "$long_box" != "$pasted" ] && echo changed)"

xdotool mousemove --window "$wid" 150 20
sleep 2
check "tooltip of the box" "tooltip [ Click To Copy To Clipboard ]" "$(probe tooltip)"
xdotool mousemove --window "$wid" 150 84
sleep 2
check "tooltip of the bottom strip" "tooltip [$notice]" "$(probe tooltip)"

# Close with Alt+F4 and watch the X window shrink and slide down and right until it goes.
xdotool windowfocus --sync "$wid"
(
  while xwininfo -id "$wid" >"$WORK/frame" 2>/dev/null; do
    awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
         /Width:/ {w = $2} END {if (x != "") print x, y, w}' "$WORK/frame"
  done
) >"$WORK/frames" &
frames_pid=$!
started_pids+=("$frames_pid")
xdotool key alt+F4
(sleep 60 && kill "$app_pid" 2>/dev/null) &
watchdog=$!
status=0
wait "$app_pid" || status=$?
kill "$watchdog" 2>/dev/null || true
wait "$frames_pid" 2>/dev/null || true
check "Alt+F4 ends the program with status 0" 0 "$status"
read -r first_x first_y first_width <<<"$(head -n1 "$WORK/frames")"
read -r last_x last_y _ <<<"$(sort -n -k2 "$WORK/frames" | tail -n1)"
# awk reads to the end: a head that leaves early can kill sort with SIGPIPE under pipefail.
smallest=$(sort -n -k3 "$WORK/frames" | awk 'NR == 1 {print $3}')
echo "     ($(wc -l <"$WORK/frames") frames seen, from $first_x,$first_y to $last_x,$last_y)"
[ "$last_y" -gt $((first_y + 200)) ] && [ "$last_x" -gt $((first_x + 200)) ] &&
  pass "the window slid down and right" || fail "the window did not slide: $first_x,$first_y to $last_x,$last_y"
[ "$smallest" -lt "$first_width" ] && pass "the window shrank" || fail "the window did not shrink"

# A second instance started right after the first ended comes up at its own size.
wine "$EXE" 2>/dev/null &
started_pids+=("$!")
for _ in $(seq 100); do
  xdotool search --name '^Kelvorin$' >/dev/null 2>&1 && break
  sleep 0.1
done
check "an instance started right after a close has its size" "client 312 88" "$(probe layout | head -n1)"

if [ "$failures" -gt 0 ]; then
  echo "$failures Wine test(s) failed" >&2
  exit 1
fi
echo "All Wine tests passed"
