#!/usr/bin/env bash
# Runs a Windows program of the build under Wine (the cross build's emulator). The prefix is
# $WINEPREFIX (scripts/test-windows.sh makes a fresh one per run), else one kept beside this
# build's programs, so a build never touches the user's own ~/.wine.
set -euo pipefail
if [[ -z "${WINEPREFIX:-}" ]]; then
  here=$(cd "$(dirname "$0")/.." && pwd)
  export WINEPREFIX="$here/build/win32/wineprefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"  # a crash ends, no debugger
exec wine "$@"
