#!/usr/bin/env bash
# Checks dist/'s packages as a user's system takes them: lintian, the validators, the .deb unpacked,
# the zip, and under Wine the installer's silent install, its shortcut and its silent uninstall.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD="$PWD/build/package/check" && rm -rf "$BUILD" && mkdir -p "$BUILD/root" && . tests/lib.sh
deb=$(ls dist/kelvorin_*_amd64.deb) zip=$(ls dist/Kelvorin-*-win64.zip) setup=$(ls dist/Kelvorin-*-setup.exe)
window() { xdotool search --limit 1 --name '^Kelvorin$'; }

# No public homepage to name in the AppStream metadata: AppStream 1.0's warning of it, and lintian's
# report of that validator as a whole, are accepted; anything else fails the metadata's check below.
accepted=() && lintian-explain-tags appstream-metadata-validation-failed >/dev/null 2>&1 &&
  accepted=(--suppress-tags appstream-metadata-validation-failed)
[[ $(appstreamcli --version) == *" 0."* ]] || no_homepage=--override=url-homepage-missing=info
check "lintian: no errors, no warnings" lintian --fail-on error,warning "${accepted[@]}" "$deb"
dpkg-deb -x "$deb" "$BUILD/root" && root="$BUILD/root/usr"
check "the AppStream metadata and the desktop entry are valid" eval 'appstreamcli validate --no-net ${no_homepage:-} \
  "$root"/share/metainfo/*.xml && desktop-file-validate "$root/share/applications/kelvorin.desktop"'
status=0 && env -u DISPLAY "$root/bin/kelvorin" --frobnicate 2>"$BUILD/err" >/dev/null || status=$?
check "icons in 16, 32 and 48 px; --version; an unknown option: status 2 and an error, no window" \
  same "16x16 32x32 48x48|Kelvorin 1.00.0001|2 kelvorin: unknown option '--frobnicate'" \
  "$(identify -format '%wx%h ' "$root"/share/icons/hicolor/*/apps/kelvorin.png | xargs)|$(env -u \
  DISPLAY "$root/bin/kelvorin" --version)|$status $(head -n1 "$BUILD/err")"
status=0 && env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$BUILD" \
  timeout 10 "$root/bin/kelvorin" 2>"$BUILD/err" || status=$?
check "no display: status 1 and one line saying so" same "1 1 kelvorin: no display" \
  "$status $(wc -l <"$BUILD/err") $(cut -c -20 "$BUILD/err")"
start_xvfb

check "the zip: program, licence, readme; the installer: version, no elevation, the program's icon" \
  same "Kelvorin.exe LICENSE.txt README.txt|1.00.0001|level=\"asInvoker\"|icon" "$(unzip -Z1 "$zip" |
  sort | xargs)|$(exiftool -s3 -ProductVersion "$setup")|$(wrestool -x --raw -t 24 "$setup" |
  grep -o 'level="asInvoker"')|$(icon "$setup")"
start_wine
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvorin'
folder() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
programs="$(folder LOCALAPPDATA)/Programs/Kelvorin"
shortcut="$(folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Kelvorin.lnk"
entry=$(wine "$setup" /S 2>/dev/null; wine reg query "$key" 2>/dev/null | tr -d '\r') || true
check "a silent install: the program, the Start menu shortcut, the uninstall entry" same \
  "program shortcut missing []" "$([ -f "$programs/Kelvorin.exe" ] && echo program) $([ -f \
  "$shortcut" ] && echo shortcut) missing [$(for value in DisplayName.*Kelvorin DisplayVersion.*1.00.0001 \
  'Publisher.*Kelvorin authors' DisplayIcon.*Kelvorin.exe EstimatedSize.*0x QuietUninstallString.*/S; do
    grep -q "$value" <<<"$entry" || echo "$value"; done)]"
wine start /unix "$shortcut" 2>/dev/null
check "the shortcut starts the installed program (installed-window.png)" wait_for 30 window
import -window root "$BUILD/installed-window.png"
xdotool windowfocus --sync "$(window)" key alt+F4 && wait_for 60 eval '! window' || true
wine "$programs/Uninstall.exe" /S
left() { ls -d "$programs" "$shortcut" 2>/dev/null; wine reg query "$key" >/dev/null 2>&1 && echo "$key"; }
wait_for 30 eval '[ -z "$(left)" ]' || true
check "a silent uninstall leaves no files, no shortcut and no registry key" same "" "$(left)"

finish package "; screenshots in $BUILD"
