#!/usr/bin/env bash
# install-deps.sh waits while another program holds apt's locks: a process holds a POSIX lock
# (as apt and dpkg take them) on a file of ours until told to let go; the wait passes over missing
# and free files, names it, and lasts until it let go.
set -euo pipefail
work=$(mktemp -d) && trap 'kill ${holder:-} 2>/dev/null || true; rm -rf "$work"' EXIT
. "$(dirname "$0")/../../scripts/install-deps.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }
touch "$work/lock" "$work/unlocked"
# Holds $work/lock until $work/go exists, then writes $work/released and lets go.
python3 -c 'import fcntl, os, sys, time
lock = open(sys.argv[1] + "/lock", "w"); fcntl.lockf(lock, fcntl.LOCK_EX); open(sys.argv[1] + "/held", "w")
while not os.path.exists(sys.argv[1] + "/go"): time.sleep(0.05)
open(sys.argv[1] + "/released", "w"); os._exit(0)' "$work" & holder=$!
until [ -e "$work/held" ]; do sleep 0.05; done

(sleep 2 && touch "$work/go") &
wait_for_locks 600 /nonexistent "$work/unlocked" "$work/lock" >"$work/out" || fail "did not wait: $(cat "$work/out")"
[ -e "$work/released" ] || fail "ended while the lock was still held"
grep -q "Waiting for python3 (process $holder), which holds $work/lock" "$work/out" || fail "said: $(cat "$work/out")"
echo PASS
