#!/usr/bin/env bash
# Installs the Debian packages (12 or 13: the names are the same in both) that a build needs, and only those that are missing.
#   scripts/install-deps.sh run      what building and starting the Linux program needs
#   scripts/install-deps.sh package  all of that, plus what scripts/package.sh needs
#   scripts/install-deps.sh test     all of that, plus what every test needs
# While another program installs or updates packages (on a fresh system often the daily unattended
# upgrade), it waits up to ten minutes for it, and says what it waits for.
set -euo pipefail

apt_locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock
           /var/cache/apt/archives/lock)
apt_wait_seconds=600

# "PID NAME FILE" of a process that holds a lock on one of the files, as dpkg and apt take them,
# read from the kernel's table of locks; nothing when none is held.
lock_holder() { # file...
  local file dev inode pid
  for file in "$@"; do
    read -r dev inode < <(stat -L -c '%d %i' "$file" 2>/dev/null) || continue
    # The table names a file by its device's major and minor numbers, in hex, and its inode.
    pid=$(awk -v id="$(printf '%02x:%02x:%d' $(((dev >> 8) & 0xfff)) \
      $(((dev & 0xff) | ((dev >> 12) & 0xfff00))) "$inode")" \
      '$2 != "->" && $6 == id { print $5; exit }' /proc/locks)
    [ -z "$pid" ] || { echo "$pid $(cat "/proc/$pid/comm" 2>/dev/null || echo '?') $file"; return; }
  done
}

# Waits, up to the seconds given, until no process holds a lock on the files; false if one still
# does then.
wait_for_locks() { # seconds file...
  local end=$((SECONDS + $1)) said="" pid name file && shift
  while read -r pid name file < <(lock_holder "$@"); do
    [ -n "$said" ] || echo "Waiting for $name (process $pid), which holds $file, to finish" \
      "(up to $(((end - SECONDS + 59) / 60)) minutes)..." && said=yes
    [ $SECONDS -lt $end ] || { echo "$name (process $pid) still holds $file; try again later." >&2 && return 1; }
    sleep 1
  done
}

# Sourced (by its test), it only defines the functions above.
[ "${BASH_SOURCE[0]}" == "$0" ] || return 0

run_packages=(cmake g++ make qt6-base-dev qt6-base-private-dev qt6-qpa-plugins libgl-dev libxcb1-dev
              libwayland-dev fonts-liberation)
test_packages=(python3 libgtest-dev libbenchmark-dev clang-format clang libclang-rt-dev
               xvfb xdotool xclip imagemagick xauth x11-utils openbox python3-xlib python3-regex
               g++-mingw-w64-x86-64-posix wine wine64 libimage-exiftool-perl icoutils
               lintian appstream desktop-file-utils unzip gdb sway wayvnc wtype wl-clipboard
               qt6-wayland xwayland x11-xserver-utils
               dbus-x11) # as on a desktop: a program may start a session bus through it
# GNOME and KDE Plasma, headless, for their end-to-end rows: without their recommends, which
# would bring whole desktops.
desktop_packages=(gnome-shell kwin-wayland kwin-style-breeze python3-dbus)
package_packages=(dpkg-dev file zip nsis g++-mingw-w64-x86-64-posix)

case "${1:-test}" in
run) wanted=("${run_packages[@]}") ;;
package) wanted=("${run_packages[@]}" "${package_packages[@]}") ;;
test) wanted=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}" "${desktop_packages[@]}") ;;
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
wait_for_locks "$apt_wait_seconds" "${apt_locks[@]}"
"${sudo[@]}" apt-get update -q
# apt-get waits on its own for the locks it takes to install (not for those of an update), should
# another program take them in the meantime.
wait_for_locks "$apt_wait_seconds" "${apt_locks[@]}"
# With their recommends, as Wine and Xvfb lean on them (fonts, xauth) on a fresh machine; the
# desktops without.
recommended=() bare=()
for package in "${missing[@]}"; do
  if [[ " ${desktop_packages[*]} " == *" $package "* ]]; then bare+=("$package"); else recommended+=("$package"); fi
done
install() { DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -o DPkg::Lock::Timeout="$apt_wait_seconds" -y -q "$@"; }
[ ${#recommended[@]} -eq 0 ] || install "${recommended[@]}"
[ ${#bare[@]} -eq 0 ] || install --no-install-recommends "${bare[@]}"
