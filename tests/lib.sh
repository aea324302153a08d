# Sourced by the tests that need a desktop: start_xvfb gives the script an Xvfb of its own,
# start_wine a fresh Wine prefix in $BUILD (no wineserver or clipboard of an earlier run), spawn a
# command in the background; when the script ends, each is stopped by its own pid.
pids=() && trap stop_all EXIT
spawn() { "$@" & pids+=("$!"); }
wait_for() { # seconds command...: until the command succeeds; fails once the seconds are over
  local end=$((SECONDS + $1)) && shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -lt "$end" ] || return 1 && sleep 0.1; done
}
stop_all() { # Xvfb, the first, goes last: a Wine process that loses its display complains
  kill "${pids[@]:1}" 2>/dev/null || true
  [ ! -d "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true
  kill "${pids[@]:0:1}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
}
start_xvfb() {
  exec 3< <(exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null) && pids+=("$!")
  read -r -t 10 -u 3 display || { echo "FAIL Xvfb did not start" >&2 && exit 1; }
  export DISPLAY=":$display"
}
start_wine() {
  export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX" && wineboot -i >/dev/null 2>&1 && wineserver -w 2>/dev/null || true
}
