#!/usr/bin/env bash
# Checks Kelvorin.exe (the windows preset's) and, under Wine and Xvfb, the scenario every desktop
# runs (tests/e2e/e2e.sh), then what is Windows' own, with the probe looking at the controls.
set -euo pipefail
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/../.."
BUILD="$PWD/build/windows" && EXE="$PWD/build/windows/Kelvorin.exe" && W="$BUILD/wine-test"
P="$BUILD/tests/kelvorin_probe.exe" && rm -rf "$W" && mkdir -p "$W" && . tests/lib.sh

notice=$(exiftool -s3 -LegalCopyright "$EXE") # the version record's, which the strip's tooltip must say
# No check of the imports: a MinGW runtime DLL, missing on Windows, is missing here too.
check "icon; manifest: common controls 6, asInvoker, PerMonitorV2" same \
  "icon|Common-Controls\" version=\"6.0.0.0\" asInvoker PerMonitorV2" "$(icon "$EXE")|$(wrestool \
  -x --raw -t 24 -n 1 "$EXE" | grep -o -e asInvoker -e 'Common-Controls" version="6.0.0.0"' -e PerMonitorV2 | paste -sd' ')"

start_xvfb
start_wine
check "the scenario of every desktop" tests/e2e/e2e.sh "$EXE" wine
utf8() { iconv -f UTF-16LE -t UTF-8 "$@" | tr -d '\r'; } # the probe's output
probe() { timeout 20 wine "$P" "$@" 2>/dev/null | utf8 || true; }
look() { probe | awk -v re="^($1)" '$0 ~ re' | paste -sd' '; } # the probe's lines that start so, joined
clipboard_when() { wait_for 5 clipboard_is "$1" || true && clipboard; } # it holds $1, or 5 s on
click_do() { xdotool mousemove --window "$wid" 152 60 click 1; } # Do: 80,48, 145 x 25, client area
hold() { # the clipboard held open until the shell ends: in $(...), the holder goes with it
  rm -f "$W/hold" && exec 4> >(exec wine "$P" hold >"$W/hold" 2>/dev/null) && pids+=("$!") && wait_for 10 test -s "$W/hold"
}

spawn wine "$EXE" 2>/dev/null && app=$!
wid=$(timeout 20 xdotool search --sync --limit 1 --name '^Kelvorin$') || { echo "FAIL no window" >&2 && exit 1; }
# At 96 dpi, 15 twips a pixel; the X window is the client area (there is no window manager).
check "layout, the box empty" same \
  "client 312 88 control 101 8 8 297 25 control 102 80 48 145 25 control 103 0 80 313 9 text " "$(look .)"

# While another program holds the clipboard open, the box's own cut would lose the text.
xdotool windowfocus --sync "$wid" type 'hello !'
kept=$(hold && xdotool key ctrl+a ctrl+x shift+Delete && sleep 0.5 && look text) && xdotool key Home
check "Ctrl+X and Shift+Delete while another program holds the clipboard: no cut" same "text hello !" "$kept"

# Minimized, the window may stay active (here, with no other window to take over).
probe show 6 && xdotool type qq && probe show 9 && xdotool type r
check "minimized: typing does not reach the box; restored: it does" same "rhello !" "$(clipboard_when 'rhello !')"

# A paste with an emoji across the limit; then Do while another program holds the clipboard: the
# probe waits until the window reads its messages, and the clipboard gets the new order once free.
long=$(head -c 32766 /dev/zero | tr '\0' a | sed 's/aaaaa/abcde/g; s/abcdeabcde/Kxyz!abcde/g')
copy "$long"$'\360\237\230\200' && wait_for 5 clipboard_is "$long"$'\360\237\230\200'
xdotool key ctrl+a ctrl+v && pasted=$(clipboard_when "$long")
long_box=$(hold && click_do && sleep 0.3 && look text | cut -c6-) || true
placed=$(wait_for 5 clipboard_is "$long_box" && echo placed) || placed="not placed"
check "a paste at the limit: whole characters; Do: an answer while the clipboard is held, then placed" same \
  "32766 reordered placed" "${#pasted} $(reordered "$long_box" "$pasted" && echo reordered) $placed"

# The pointer rests on the strip, a static control that sees it only with SS_NOTIFY; a loaded
# machine may show the tip late.
xdotool mousemove --window "$wid" 150 84 && wait_for 5 eval '[ "$(look tooltip)" == "tooltip [$notice]" ]' || true
check "the strip's tooltip: the maker's notice, as in the version record" same "tooltip [$notice]" "$(look tooltip)"

# Alt+F4, the pointer on the strip, its tooltip shown: once the window shrinks, none shows.
xdotool windowfocus --sync "$wid" key alt+F4
wait_for 10 eval '(($(xwininfo -id "$wid" | awk "/Width:/ {print \$2}") < 312))' || true
during=$(look 'client|tooltip')
check "no tooltip during the close" eval '[[ $during =~ ^client\ [0-9]+\ [0-9]+$ ]] || ! echo "$during"'
timeout 60 tail -s 0.1 --pid="$app" -f /dev/null || true

finish Wine
