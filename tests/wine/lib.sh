# Shared by the Wine scripts: an Xvfb of our own and a Wine prefix inside the build folder,
# both stopped by their own pids (and wineserver -k for the prefix) when the script ends.
# Source it after setting BUILD (the windows build folder).

started_pids=()

wine_cleanup() {
  local pid
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
  fi
  for pid in "${started_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  [ -n "${display_file:-}" ] && rm -f "$display_file"
}

# Starts Xvfb on a free display number and exports DISPLAY.
start_xvfb() {
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  local waited=0
  while [ ! -s "$display_file" ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -gt 100 ]; then
      echo "Xvfb did not start" >&2
      return 1
    fi
  done
  export DISPLAY=":$(head -n1 "$display_file")"
}

# A fresh prefix for this run, so that no wineserver or clipboard of an earlier run is seen.
start_wine_prefix() {
  export WINEPREFIX="$BUILD/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
}
