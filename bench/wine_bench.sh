#!/usr/bin/env bash
# Times a click of "Do" in the real window under Wine and Xvfb, beside the floor measured in the
# same run; prints a table.   bench/wine_bench.sh [lengths...]   after building the windows preset
set -euo pipefail
cd "$(dirname "$0")/.." && BUILD="$PWD/build/windows" && . tests/lib.sh
start_xvfb
start_wine
wine "$BUILD/bench/win32_scramble_bench.exe" "$@"
