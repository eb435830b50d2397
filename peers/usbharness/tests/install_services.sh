#!/usr/bin/env bash
# Installs the filter, the function driver and the harness as kernel services of one service
# group (so that Wine runs them in one winedevice process) and starts them, harness last.
# Arguments: the three images. The prefix is $WINEPREFIX, else the build's own (as wine-run.sh).
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 vrnkeflt.sys vrnkekbd.sys vrnkeharness.sys" >&2; exit 2; }
export WINEPREFIX="${WINEPREFIX:-${VRNKE_BUILD_DIR:?}/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"

drivers="$WINEPREFIX/drive_c/windows/system32/drivers"
# A new server first: in a prefix that wineboot has just made, the service manager it left
# running fails the start of a new kernel service at once (ERROR_SERVICE_REQUEST_TIMEOUT), and a
# kept prefix that ran this before still has the old images loaded. The new one is kept alive
# for the session (the tests pause between programs); stop_services.sh ends it.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
# The server and the programs it starts outlive this script: none may hold its output, or
# ctest waits for them.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1  # services.exe and its helpers start here
mkdir -p "$drivers"
cp "$@" "$drivers/"

for image in "$@"; do
  name=$(basename "$image" .sys)
  if ! wine sc query "$name" >/dev/null 2>&1; then
    wine sc create "$name" type= kernel start= demand group= vrnketest \
      binpath= "C:\\windows\\system32\\drivers\\$name.sys" >/dev/null
  fi
done
for image in "$@"; do
  name=$(basename "$image" .sys)
  wine sc start "$name" >/dev/null 2>&1 || true
  state=$(wine sc query "$name" | tr -d '\r' | awk '/STATE/ {print $4}')
  echo "$name: ${state:-unknown}"
  [[ "$state" == RUNNING ]] || { echo "service $name did not start" >&2; exit 1; }
done
