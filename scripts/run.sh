#!/usr/bin/env bash
# Builds the Linux desktop program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset linux -DKELVORIN_TESTS=OFF -DKELVORIN_BENCH=OFF >/dev/null
cmake --build --preset linux -j "$(nproc)"
if [ ! -x build/linux/kelvorin ]; then
  echo "There is no desktop backend yet: only the core and its tests build." >&2
  exit 1
fi
exec build/linux/kelvorin
