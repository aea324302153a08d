#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. Warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

cmake --preset linux -DKELVORIN_WERROR=ON
cmake --build --preset linux -j "$(nproc)"
ctest --preset linux

# ---- Windows: cross-build Kelvorin.exe with MinGW-w64 and test it under Wine and Xvfb ----
cmake --preset windows -DKELVORIN_WERROR=ON
cmake --build --preset windows -j "$(nproc)"
tests/wine/run.sh
