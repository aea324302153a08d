#!/usr/bin/env bash
# The README's test command on Debian 13 (trixie), as a new user there runs it: a fresh minimal
# trixie root made by debootstrap, a fresh clone of this tree's commit in it, and scripts/test.sh
# inside, which installs what it needs. Prints how long each part took and ctest's table; the
# status is that of scripts/test.sh. As root, with about 5 GB free in build/ and 15 minutes.
#   scripts/debian13-test.sh [MIRROR]    (default http://deb.debian.org/debian)
# The whole log stays in build/debian13/test.log, each test's output in LastTest.log there; the
# root is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "$0: debootstrap and chroot need root" >&2 && exit 2; }
mirror=${1:-http://deb.debian.org/debian} top=$PWD/build/debian13
commit=$(git rev-parse HEAD)

# In a mount namespace of its own, where nothing mounted for the root reaches the machine's mounts
# and everything is gone when the script ends, however it ends.
if [ -z "${KELVORIN_DEBIAN13_NAMESPACED:-}" ]; then
  if ! command -v debootstrap >/dev/null; then
    . scripts/install-deps.sh && wait_for_locks "$apt_wait_seconds" "${apt_locks[@]}"
    apt-get update -q >/dev/null && apt-get install -y -q debootstrap >/dev/null
  fi
  KELVORIN_DEBIAN13_NAMESPACED=1 exec unshare --mount --propagation private "$0" "$@"
fi

root=$top/root log=$top/test.log
mounts=() # innermost last
unmount_all() {
  local i && for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" || true; done
  # Only once nothing is mounted in it: --one-file-system keeps rm out of a mount left behind.
  ! findmnt -rn -o TARGET | grep -q "^$root" && rm -rf --one-file-system "$root"
}
trap unmount_all EXIT
mount_in() { mount "$@" && mounts+=("${@: -1}"); }

rm -rf --one-file-system "$root" && mkdir -p "$root"
start=$SECONDS
echo "debootstrap --variant=minbase trixie from $mirror..."
debootstrap --variant=minbase trixie "$root" "$mirror" >"$top/debootstrap.log" 2>&1 ||
  { tail -n 20 "$top/debootstrap.log" >&2 && exit 1; }
made=$((SECONDS - start))

# A mount point for a root (unshare inside refuses another), the kernel's file systems, tmpfs with
# sticky bits where a desktop has them (sway needs /dev/shm), a policy that starts no service, the
# machine's resolver, and the clone.
mount_in --bind "$root" "$root"
mount_in -t proc proc "$root/proc"
mount_in -t sysfs sysfs "$root/sys"
mount_in --bind /dev "$root/dev"
mount_in --bind /dev/pts "$root/dev/pts"
mount_in -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount_in -t tmpfs -o mode=1777 tmpfs "$root/tmp"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" && chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q --no-checkout . "$root/root/kelvorin" && git -C "$root/root/kelvorin" checkout -q "$commit"

echo "scripts/test.sh in the trixie root, at $(git log -1 --format='%h %s' "$commit" | cut -c -70)..."
status=0
chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  TERM=dumb bash -c 'cd /root/kelvorin && scripts/test.sh' >"$log" 2>&1 || status=$?
tested=$((SECONDS - start - made))
cp "$root/root/kelvorin/build/linux/Testing/Temporary/LastTest.log" "$top/" 2>/dev/null || true

# ctest's table, its list of failures, and the end of the log if the command stopped elsewhere.
grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|^Total Test time' "$log" || true
sed -n '/^The following tests FAILED/,/^[^\t ]/p' "$log"
grep -q '^Total Test time' "$log" && [ "$status" -eq 0 ] || { echo "--- the end of $log:" && tail -n 25 "$log"; }
echo "Debian 13: debootstrap ${made} s, scripts/test.sh $((tested / 60)) min $((tested % 60)) s, status $status"
exit "$status"
