#!/usr/bin/env bash
# The Windows stage: builds the 32-bit Windows programs the Windows tests need (preset win32)
# and runs them under Wine in a fresh prefix made for this run in a temporary folder.
# Run by scripts/test.sh after the POSIX stages; extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-session.sh

jobs=${VRNKE_JOBS:-$(nproc)}
cmake --preset win32 >/dev/null
# Only what the Windows tests run: the default target of this preset is exactly that.
cmake --build --preset win32 -j "$jobs"

vrnke_wine_start
ctest --preset win32 "$@"
wineserver -w
