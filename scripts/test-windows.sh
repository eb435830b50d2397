#!/usr/bin/env bash
# The Windows stage: builds the 32-bit Windows programs the Windows tests need (preset win32)
# and runs them under Wine in a fresh prefix made for this run in a temporary folder.
# Run by scripts/test.sh after the POSIX stages; extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-session.sh

jobs=${VRNKE_JOBS:-$(nproc)}
# What the cross build cannot make itself comes from the POSIX debug build: the Cairo side of the
# canvas comparison (its renderer, and the forms, pictures and translations both sides draw
# from), the program's pictures (drawn with Cairo), and the decoder and renderer the program's
# test compares with.
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs" --target vrnke_render_scenes vrnke_forms vrnkereg vrnkeinspect \
  vrnke_cfg_snapshot
build/debug/configurator/forms/vrnke_render_scenes "$WINE_TMP/cairo-scenes"
export VRNKE_CAIRO_SCENES="$WINE_TMP/cairo-scenes" VRNKE_FORMS_DIR="$PWD/build/debug/bin/forms"
export VRNKE_QV_LOCAL="$PWD/build/debug/bin/qv.local" VRNKE_COMPARE_OUT="$PWD/build/win32/canvas-compare"
cmake --preset win32 -DVRNKE_HOST_TOOLS_DIR="$PWD/build/debug/bin" >/dev/null
# Only what the Windows tests run: the default target of this preset is exactly that.
cmake --build --preset win32 -j "$jobs"

vrnke_wine_start
ctest --preset win32 "$@"
wineserver -w
# The release archive made from this build, unpacked into a fresh prefix and tested from there.
archive=$(scripts/release.sh --preset win32 --out "$WINE_TMP/archive" | tail -1)
scripts/test-release-wine.sh "$archive" build/debug/bin
