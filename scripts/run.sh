#!/usr/bin/env bash
# Builds the Linux desktop program and starts it. Its own build folder (build/run) leaves the
# test build's settings alone.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run -j "$(nproc)"
exec build/run/kelvorin "$@"
