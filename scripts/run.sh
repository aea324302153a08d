#!/usr/bin/env bash
# Builds the Linux desktop program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset linux -DKELVORIN_TESTS=OFF -DKELVORIN_BENCH=OFF >/dev/null
cmake --build --preset linux -j "$(nproc)"
exec build/linux/kelvorin
