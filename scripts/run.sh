#!/usr/bin/env bash
# Builds the configuration program and opens its main window.
#
# With a display ($DISPLAY set) the window opens there. Without one, the program runs on a
# virtual display this script starts itself (Xvfb), and a screenshot of the window is written to
# a file whose path is printed; the program is then closed (its close button: nothing is saved).
#
# VRNKE_PRESET chooses the build preset (release by default).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${VRNKE_PRESET:-release}
bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target vrnke_cfg vrnke_monitor vrnke_hook_x11 vrnke_forms qv_local
bin=$PWD/build/$preset/bin
exe=$bin/VRNKECfg
shots=$PWD/build/$preset/screenshots
mkdir -p "$shots"

# Monitors this run starts (the program starts one when none runs) are stopped again when the
# program was only shown for a screenshot.
monitors_before=$(pgrep -x -U "$(id -u)" VRNKEMon || true)
stop_new_monitors() {
  for p in $(pgrep -x -U "$(id -u)" VRNKEMon || true); do
    grep -qx "$p" <<<"$monitors_before" || kill "$p" 2>/dev/null || true
  done
}

if [[ -n "${DISPLAY:-}" ]]; then
  exec "$exe"
fi

# No display: a virtual one of our own.
for n in $(seq 90 140); do
  [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
done
echo "run.sh: no display; starting a virtual display :$n (Xvfb) for the program"
Xvfb ":$n" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  [[ -n "${prog:-}" ]] && kill "$prog" 2>/dev/null || true
  stop_new_monitors
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$n"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
"$exe" &
prog=$!
if ! win=$(timeout 20 xdotool search --sync --onlyvisible --name "Vorne Tavrix Setting" | head -1) || [[ -z "$win" ]]; then
  echo "run.sh: the main window did not appear within 20 s" >&2
  exit 1
fi
sleep 0.5  # the first frame
shot=$shots/VRNKECfg-$(date +%Y%m%d-%H%M%S).png
import -window "$win" "$shot"
echo "screenshot: $shot"
# Close it as a user would: the title bar's close button (nothing is saved).
xdotool mousemove --window "$win" 1135 30 click 1
wait "$prog" || true
prog=
