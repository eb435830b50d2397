#!/usr/bin/env bash
# The Windows stage: builds the 32-bit Windows programs the Windows tests need (preset win32)
# and runs them under Wine in a fresh prefix made for this run in a temporary folder.
# Run by scripts/test.sh after the POSIX stages; extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v wine >/dev/null || { echo "wine is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

tmp=$(mktemp -d /tmp/vrnke-wine-XXXXXX)
export WINEPREFIX="$tmp/prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, and a crash ends the program instead of waiting in the
# debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win32
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

jobs=${VRNKE_JOBS:-$(nproc)}
cmake --preset win32 >/dev/null
# Only what the Windows tests run: the default target of this preset is exactly that.
cmake --build --preset win32 -j "$jobs"

# Wine's window functions need an X display (the registry, mutexes and files do not): a
# private Xvfb when none is set.
if [[ -z "${DISPLAY:-}" ]]; then
  Xvfb -displayfd 3 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [[ -s "$tmp/display" ]] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$tmp/display")"
fi
wineboot -i >/dev/null 2>&1
ctest --preset win32 "$@"
wineserver -w
