#!/usr/bin/env bash
# Checks Kelvorin.exe as a user and an installer see it: its version record, icon and manifest,
# then the program under Wine and Xvfb, driven with xdotool's real keys and pointer, its
# clipboard read with xclip from another process and its controls looked at with the probe.
#   tests/wine/run.sh     after building the windows preset; exits non-zero on a failure
set -euo pipefail
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/../.."
BUILD="$PWD/build/windows" && EXE="$PWD/build/windows/Kelvorin.exe" && W="$BUILD/wine-test"
P="$BUILD/tests/kelvorin_probe.exe" && rm -rf "$W" && mkdir -p "$W" && . tests/lib.sh

# shellcheck disable=SC2059 # the notice's \u escapes are meant to be expanded
notice=$(printf "$(grep -A1 'kMakersNotice =' window/form1_design.h | sed -n 's/.*u"\(.*\)".*/\1/p')")
check "version record" same "1.00.0001|1.00.0001|1.0.0.1|1.0.0.1|Kelvorin|Kelvorin|Kelvorin.exe|English (U.S.)|Unicode|$notice" \
  "$(exiftool -s3 -FileVersion -ProductVersion -FileVersionNumber -ProductVersionNumber -ProductName \
    -InternalName -OriginalFileName -LanguageCode -CharacterSet -LegalCopyright "$EXE" | paste -sd'|')"
# No check of the imports: a MinGW runtime DLL, missing on Windows, is missing here too.
check "icon; manifest: common controls 6, asInvoker, PerMonitorV2" same \
  "icon|Common-Controls\" version=\"6.0.0.0\" asInvoker PerMonitorV2" "$(icon "$EXE")|$(wrestool \
  -x --raw -t 24 -n 1 "$EXE" | grep -o -e asInvoker -e 'Common-Controls" version="6.0.0.0"' -e PerMonitorV2 | paste -sd' ')"

start_xvfb
start_wine
utf8() { iconv -f UTF-16LE -t UTF-8 "$@" | tr -d '\r'; } # the probe's output
probe() { timeout 20 wine "$P" "$@" 2>/dev/null | utf8 || true; }
look() { probe | awk -v re="^($1)" '$0 ~ re' | paste -sd' '; } # the probe's lines that start so, joined
clipboard_when() { wait_for 5 clipboard_is "$1" || true && clipboard; } # it holds $1, or 5 s on
click_do() { xdotool mousemove --window "$wid" 152 60 click 1; } # Do: 80,48, 145 x 25, client area
hold() { rm -f "$W/hold" && exec 4> >(exec wine "$P" hold >"$W/hold" 2>/dev/null) && pids+=("$!") && wait_for 10 test -s "$W/hold"; }

spawn wine "$EXE" 2>/dev/null && app=$!
wid=$(timeout 20 xdotool search --sync --limit 1 --name '^Kelvorin$') || { echo "FAIL no window" >&2 && exit 1; }
# At 96 dpi, 15 twips a pixel; the X window is the client area (there is no window manager).
check "layout, the focus in the box, the box empty" same \
  "focus 101 client 312 88 control 101 8 8 297 25 control 102 80 48 145 25 control 103 0 80 313 9 text " "$(look .)"

# A clipboard history's view: 8 keystrokes 150 ms apart (into the box: the focus starts there), a
# pause, a click of Do. Each keystroke's text is marked for histories to pass over, the word after
# the pause is placed once more unmarked, the click's result once, unmarked: 10 updates, 2 unmarked.
spawn wine "$P" listen >"$W/updates" 2>/dev/null && listener=$!
wait_for 10 test -s "$W/updates"
xdotool windowfocus --sync "$wid" type --delay 150 Kelvorin
sleep 1.5 && click_do && sleep 0.5
scrambled=$(look text | cut -c6-) && kill "$listener" # it would read the long text below from X, slowly
check "a history sees the keystrokes marked, the word and the click's new order unmarked" same \
  "listening$(printf ' marked%.0s' {1..8}) unmarked Kelvorin unmarked $scrambled reordered" \
  "$(utf8 "$W/updates" | paste -sd' ') $(reordered "$scrambled" Kelvorin && echo reordered)"
xdotool type '!' && typed=$(clipboard_when "$scrambled!") && xdotool key ctrl+z
undone=$(clipboard_when Kelvorin) && xdotool key Tab space && sleep 0.5
check "typing goes on after Do (the focus is back); Ctrl+Z takes it back with the click; Tab, Space: Do" same \
  "$scrambled! Kelvorin reordered" "$typed $undone $(reordered "$(clipboard)" Kelvorin && echo reordered)"

# A cut leaves what it removed on the clipboard, whatever cuts: the box's next change is mirrored.
xdotool key ctrl+a && xdotool type 'hello world' && xdotool key ctrl+shift+Left ctrl+x
cut=$(clipboard_when world) && xdotool type '!' && typed=$(clipboard_when 'hello !')
xdotool key Home shift+Right shift+Right shift+Right shift+Right shift+Right shift+Delete
check "Ctrl+X, then Shift+Delete: the cut text on the clipboard; typing after a cut mirrored" same \
  "world|hello !|hello" "$cut|$typed|$(clipboard_when hello)"

# While another program holds the clipboard open, a cut is refused: the text stays in the box.
hold && xdotool key ctrl+a ctrl+x && sleep 0.5
kept=$(look text) && exec 4>&- && xdotool key Home
check "Ctrl+X while another program holds the clipboard: refused, nothing lost" same "text  !" "$kept"

# Minimized, the window may stay active (here, with no other window to take over).
probe show 6 && xdotool type qq && minimized=$(look focus) && probe show 9 && restored=$(look focus) && xdotool type r
check "minimized: no focus in the box, typing does not reach it; restored: the focus is back" same \
  "focus 0|focus 101|r !" "$minimized|$restored|$(clipboard_when 'r !')"

# Another program copies within a second of the keystroke that empties the box: that marked
# empty text is not placed again, unmarked, over the copy.
xdotool key ctrl+a BackSpace
emptied=$(clipboard_when "")
copy kept && wait_for 5 clipboard_is kept && sleep 1
check "deleting all empties the clipboard; a copy by another program meanwhile stays" same \
  "[] [kept]" "[$emptied] [$(clipboard)]"

# Characters of several code points each, pasted: each click of Do moves them whole.
copy "${clusters}x" && wait_for 5 clipboard_is "${clusters}x" && xdotool key ctrl+v
moved=$(for click in 1 2 3; do before=$(clipboard) && click_do
  wait_for 10 eval 'reordered "$(clipboard)" "$before"' && echo reordered || echo "[$before] [$(clipboard)]"
done | paste -sd' ') && xdotool key ctrl+a BackSpace
check "characters of several code points move whole, at each of three clicks" same \
  "reordered reordered reordered" "$moved"

# A paste beyond the limit stops at 32,767 code units, but not inside the emoji that straddles
# it. Do on it while another program holds the clipboard: the window answers meanwhile, and the
# clipboard gets the new order once free.
long=$(head -c 32766 /dev/zero | tr '\0' a | sed 's/aaaaa/abcde/g; s/abcdeabcde/Kxyz!abcde/g')
copy "$long"$'\360\237\230\200' && wait_for 5 clipboard_is "$long"$'\360\237\230\200'
xdotool key ctrl+v
pasted=$(clipboard_when "$long")
hold && click_do && sleep 0.3
long_box=$(look text | cut -c6-) && exec 4>&- # the probe waits until the window reads messages
placed=$(wait_for 5 clipboard_is "$long_box" && echo placed) || placed="not placed"
check "a paste at the limit: whole characters; Do: an answer while the clipboard is held, then placed" same \
  "32766 reordered placed" "${#pasted} $(reordered "$long_box" "$pasted" && echo reordered) $placed"

# Another program sets the box past its limit (which binds typing and pasting, not WM_SETTEXT):
# 20,000 emoji. The box, the clipboard and a click of Do keep the first 16,383 (32,766 units).
faces=$(perl -CS -e 'print map { chr(0x1F600 + $_ % 80) } 0..16382') && probe set && set=$(clipboard_when "$faces")
box=$(look text | cut -c6-) && click_do && wait_for 10 eval '! clipboard_is "$faces"'
check "a text set past the limit: cut between characters, shown, mirrored; Do keeps all of it" same "16383 shown reordered" \
  "${#set} $([ "$box" == "$faces" ] && echo shown) $(reordered "$(clipboard)" "$faces" && echo reordered)"

# The pointer rests on the box, then on the strip; a loaded machine may show the tip late.
tip_when() { local want="tooltip [$3]" && xdotool mousemove --window "$wid" "$1" "$2" && wait_for 5 eval \
  '[ "$(look tooltip)" == "$want" ]' || true && look tooltip; }
check "tooltips of the box and the bottom strip" same "tooltip [ Click To Copy To Clipboard ] tooltip [$notice]" \
  "$(tip_when 150 20 ' Click To Copy To Clipboard ') $(tip_when 150 84 "$notice")"

# Alt+F4: the X window shrinks and slides down and right until it goes.
frames() {
  while xwininfo -id "$wid" 2>/dev/null | awk '/Absolute upper-left X/ {x = $4}
    /Absolute upper-left Y/ {y = $4} /Width:/ {print x, y, $2}'; do :; done
}
spawn frames >"$W/frames" && frames_pid=$!
xdotool windowfocus --sync "$wid" key alt+F4
# The pointer rests on the strip, its tooltip shown: once the window shrinks, none shows.
wait_for 10 eval '[ -n "$(awk "NR == 1 {w = \$3} \$3 < w {print; exit}" "$W/frames")" ]' || true
during=$(look 'client|tooltip')
timeout 60 tail -s 0.1 --pid="$app" -f /dev/null || kill "$app"
status=0 && wait "$app" || status=$?
wait "$frames_pid" || true
check "Alt+F4: the window shrinks, slides down and right, and the program ends with status 0" same \
  "shrank slid 0" "$(awk 'NR == 1 {x = $1; y = $2; w = $3; s = $3} $3 < s {s = $3}
    $1 > X {X = $1} $2 > Y {Y = $2} END {print (s < w ? "shrank" : "kept its width"),
    (X > x + 200 && Y > y + 200 ? "slid" : "moved from " x "," y " only to " X "," Y)}' \
    "$W/frames") $status"
check "no tooltip during the close" eval '[[ $during =~ ^client\ [0-9]+\ [0-9]+$ ]] || ! echo "$during"'

finish Wine
