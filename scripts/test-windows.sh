#!/usr/bin/env bash
# The Windows stage: builds the 32-bit Windows programs the Windows tests need (preset win32)
# and runs them under Wine in a fresh prefix made for this run in a temporary folder.
# Xvfb is started only when Wine has no display to use and asks for one.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v wine >/dev/null || { echo "wine is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

tmp=$(mktemp -d /tmp/vrnke-wine-XXXXXX)
export WINEPREFIX="$tmp/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
export WINEARCH=win32
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

jobs=${VRNKE_JOBS:-$(nproc)}
cmake --preset win32 >/dev/null
# Only what the Windows tests run: the default target of this preset is exactly that.
cmake --build --preset win32 -j "$jobs"

wineboot -i >/dev/null 2>&1
if ! wine cmd /c exit 0 >/dev/null 2>&1; then
  if [[ -z "${DISPLAY:-}" ]] && command -v Xvfb >/dev/null; then
    Xvfb :97 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:97
    sleep 1
  fi
fi
ctest --preset win32 "$@"
wineserver -w
