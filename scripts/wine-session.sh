# Sourced by the scripts that run Windows programs under Wine: a fresh 32-bit prefix in a
# temporary folder made for this run, no installer prompts, a crash ends the program instead of
# waiting in the debugger, and a private Xvfb when no display is set (Wine's window functions
# need one; the registry, mutexes and files do not). Everything goes when the script exits.
# After sourcing: $WINE_TMP is the temporary folder; vrnke_wine_start initialises the prefix
# and gives it the canvas's fonts (scripts/wine-fonts.sh).
command -v wine >/dev/null || { echo "wine is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

WINE_TMP=$(mktemp -d /tmp/vrnke-wine-XXXXXX)
export WINEPREFIX="$WINE_TMP/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win32
_vrnke_xvfb_pid=
_vrnke_wine_cleanup() {
  wineserver -k 2>/dev/null || true
  if [[ -n "$_vrnke_xvfb_pid" ]]; then
    kill "$_vrnke_xvfb_pid" 2>/dev/null || true
    wait "$_vrnke_xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$WINE_TMP"
}
trap _vrnke_wine_cleanup EXIT

vrnke_wine_start() {
  if [[ -z "${DISPLAY:-}" ]]; then
    # Large enough for the program's 1157 x 588 main window.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$WINE_TMP/display" >/dev/null 2>&1 &
    _vrnke_xvfb_pid=$!
    for _ in $(seq 50); do [[ -s "$WINE_TMP/display" ]] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$WINE_TMP/display")"
  fi
  wineboot -i >/dev/null 2>&1
  # The fonts the POSIX canvas draws with, under the family names the forms use.
  "$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"
}
