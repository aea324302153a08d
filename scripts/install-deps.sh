#!/usr/bin/env bash
# Installs the Debian 12 packages that a build needs, and only those that are missing.
#   scripts/install-deps.sh run      what building and starting the Linux program needs
#   scripts/install-deps.sh package  all of that, plus what scripts/package.sh needs
#   scripts/install-deps.sh test     all of that, plus what every test needs
set -euo pipefail

run_packages=(cmake g++ make qt6-base-dev qt6-qpa-plugins libgl-dev libxcb1-dev fonts-liberation)
test_packages=(python3 unicode-data libgtest-dev libbenchmark-dev clang-format clang libclang-rt-14-dev
               xvfb xdotool xclip imagemagick xauth x11-utils openbox python3-xlib python3-regex
               g++-mingw-w64-x86-64-posix wine wine64 libimage-exiftool-perl icoutils
               lintian appstream desktop-file-utils unzip gdb sway wayvnc wtype wl-clipboard
               qt6-wayland xwayland x11-xserver-utils)
package_packages=(dpkg-dev file zip nsis g++-mingw-w64-x86-64-posix)

case "${1:-test}" in
run) wanted=("${run_packages[@]}") ;;
package) wanted=("${run_packages[@]}" "${package_packages[@]}") ;;
test) wanted=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
*) echo "usage: $0 [run|package|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "Missing: ${missing[*]}. Run this as root, or install sudo, to install them." >&2
    exit 1
  }
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
# With their recommends: Wine and Xvfb lean on them (fonts, xauth) on a fresh machine.
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
