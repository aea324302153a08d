#!/usr/bin/env bash
# Checks the packages in dist/ as a user's system takes them: lintian and the metadata
# validators; the .deb unpacked into an empty root, its program answering and showing its window
# under Xvfb; the zip's contents; the installer under Wine: a silent install, the Start menu
# shortcut starting the program, a silent uninstall that leaves nothing behind.
#   tests/packages/check.sh   after scripts/package.sh; exits non-zero on a failure
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD="$PWD/build/package/check"
rm -rf "$BUILD" && mkdir -p "$BUILD/root"
deb=$(ls dist/kelvorin_*_amd64.deb) zip=$(ls dist/Kelvorin-*-win64.zip)
setup=$(ls dist/Kelvorin-*-setup.exe)
failures=0
check() { # name command...: passes when the command succeeds
  local name=$1 && shift
  if "$@" >"$BUILD/out" 2>&1; then echo "ok   $name"; else
    echo "FAIL $name: $(head -c 600 "$BUILD/out")" >&2
    failures=$((failures + 1))
  fi
}
same() { [ "$1" == "$2" ] || { echo "expected [$1], got [$2]" && false; }; }
wait_for() { # seconds command...: until the command succeeds
  local deadline=$((SECONDS + $1)) && shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
window() { xdotool search --name '^Kelvorin$'; }

# ---- The Debian package ----
lintian --fail-on error "$deb" 2>/dev/null | tee "$BUILD/lintian.txt" || failures=$((failures + 1))
echo "     (lintian: $(wc -l <"$BUILD/lintian.txt") tag(s), listed above)"
dpkg-deb -x "$deb" "$BUILD/root"
root="$BUILD/root/usr"
check "AppStream metadata is valid" appstreamcli validate --no-net "$root"/share/metainfo/*.xml
check "desktop entry is valid" desktop-file-validate "$root/share/applications/kelvorin.desktop"
check "icons in 16, 32 and 48 px" same "16x16 32x32 48x48" \
  "$(identify -format '%wx%h ' "$root"/share/icons/hicolor/*/apps/kelvorin.png | xargs)"
check "--version" same "Kelvorin 1.00.0001" "$(env -u DISPLAY "$root/bin/kelvorin" --version)"
status=0 && env -u DISPLAY "$root/bin/kelvorin" --frobnicate 2>"$BUILD/err" >/dev/null || status=$?
check "an unknown option: status 2 and an error, before any window" \
  same "2 kelvorin: unknown option '--frobnicate'" "$status $(head -n1 "$BUILD/err")"

. tests/wine/lib.sh
trap wine_cleanup EXIT
start_xvfb
(cd / && exec env -i PATH=/usr/bin:/bin HOME="$BUILD" DISPLAY="$DISPLAY" "$root/bin/kelvorin" 2>/dev/null) &
started_pids+=($!)
check "the unpacked program shows its window" wait_for 20 window
import -window root "$BUILD/deb-window.png"
kill "${started_pids[-1]}"

# ---- Windows ----
check "the zip holds the program, the licence and a readme" same \
  "Kelvorin.exe LICENSE.txt README.txt" "$(unzip -Z1 "$zip" | sort | xargs)"
check "the installer's version" same "1.00.0001" "$(exiftool -s3 -ProductVersion "$setup")"
check "the installer asks for no elevation" grep -q 'level="asInvoker"' \
  <(wrestool -x --raw -t 24 "$setup")
check "the installer's icon is the program's" cmp -n "$(stat -c %s resources/kelvorin.ico)" \
  <(wrestool -x -t 14 "$setup") resources/kelvorin.ico
start_wine_prefix
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvorin'
folder() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
programs="$(folder LOCALAPPDATA)/Programs/Kelvorin"
shortcut="$(folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Kelvorin.lnk"
wine "$setup" /S
check "a silent install puts Kelvorin.exe in place" test -f "$programs/Kelvorin.exe"
check "and the Start menu shortcut" test -f "$shortcut"
wine reg query "$key" 2>/dev/null | tr -d '\r' >"$BUILD/key.txt" || true
for value in "DisplayName.*Kelvorin" "DisplayVersion.*1.00.0001" "Publisher.*Kelvorin authors" \
  "DisplayIcon.*Kelvorin.exe" "EstimatedSize.*0x" "QuietUninstallString.*/S"; do
  check "uninstall entry: $value" grep -q "$value" "$BUILD/key.txt"
done
wine start /unix "$shortcut" 2>/dev/null
check "the shortcut starts the installed program" wait_for 30 window
import -window root "$BUILD/installed-window.png"
xdotool windowfocus --sync "$(window | head -n1)" key alt+F4
wait_for 60 eval '! window' || true
wine "$programs/Uninstall.exe" /S
check "a silent uninstall removes the files and the shortcut" \
  wait_for 30 eval "[ ! -e '$programs' ] && [ ! -e '$shortcut' ]"
check "and the registry key" wait_for 10 eval "! wine reg query '$key'"

echo "     (screenshots: $BUILD/deb-window.png $BUILD/installed-window.png)"
[ "$failures" -eq 0 ] || { echo "$failures package check(s) failed" >&2 && exit 1; }
echo "All package checks passed"
