#!/usr/bin/env bash
# Stops the harness (its unload removes a keyboard left attached) and ends the Wine session
# that install_services.sh kept alive, so that whoever waits for the server is not kept waiting.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${VRNKE_BUILD_DIR:?}/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
wine sc stop vrnkeharness >/dev/null 2>&1 || true
wineserver -k 2>/dev/null || true
