#!/usr/bin/env bash
# VRNKECfg.exe under Wine, end to end, in the Windows stage's prefix and on its display
# (scripts/test-windows.sh sets WINEPREFIX and DISPLAY; ctest runs this as vrnkecfg_wine_tests).
#   test-program-wine.sh PROGRAM_DIR HOST_BIN
# PROGRAM_DIR holds VRNKECfg.exe with qv.local, forms/, VRNKEMon.exe and qvHook.dll; HOST_BIN is
# the host build's bin folder (vrnkereg, vrnkeinspect, VRNKECfg-snapshot).
# It checks: the window opens centred with its class; a second start ends at once with 0; the
# monitor is started by the program and answers APPLY; functions assigned through the menu with
# the pointer, and a key combination typed with xdotool into the combination dialog (through the
# hook library: codes and extended flag), are what APPLY stored in Wine's registry (regedit /E,
# decoded by vrnkereg and vrnkeinspect); the window matches the host's render of it; Chinese shows real glyphs;
# WM_CLOSESETTING from the monitor ends the program with 0.
set -euo pipefail
prog=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
: "${WINEPREFIX:?run by scripts/test-windows.sh}" "${DISPLAY:?run by scripts/test-windows.sh}"

work=$(mktemp -d /tmp/vrnke-program-wine-XXXXXX)
cfg_pid=
# The host's snapshot starts the host's monitor stand-in, as a user's start would: end it.
stop_host_monitor() {
  local p
  for p in $(pgrep -x VRNKEMon || true); do
    if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "XDG_RUNTIME_DIR=$work/posix-run"; then
      kill "$p" 2>/dev/null || true
    fi
  done
}
cleanup() {
  [[ -n "$cfg_pid" ]] && kill "$cfg_pid" 2>/dev/null || true
  stop_host_monitor
  wine taskkill /f /im VRNKECfg.exe >/dev/null 2>&1 </dev/null || true
  wine taskkill /f /im VRNKEMon.exe >/dev/null 2>&1 || true
  if [[ -n "${VRNKE_KEEP_SCREENSHOTS:-}" ]]; then echo "pictures kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
shot() { import -window root "$work/$1.png"; }
# Waits up to $2 seconds for the command $1 to succeed.
wait_for() {
  local end=$((SECONDS + $2))
  until eval "$1" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

# The program's visible windows of some size (the taskbar button's window is not one).
main_windows() {
  local w
  for w in $(xdotool search --onlyvisible --classname vrnkecfg.exe 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    ((WIDTH > 100)) && echo "$w"
  done
  return 0
}

# The monitor started by the program writes its lines here (the program passes it no options).
monlog="$work/monitor.log"
export VRNKEMON_OPTIONS="--output $(winepath -w "$monlog")"
wine reg delete 'HKCU\software\VRNKEDriver' /f >/dev/null 2>&1 || true

# --- start --------------------------------------------------------------------------------------
# Started from another folder: it finds its forms, texts and monitor by its own place.
(cd / && exec wine "$prog/VRNKECfg.exe") >"$work/cfg.out" 2>&1 </dev/null &
cfg_pid=$!
wait_for "[[ -n \"\$(main_windows)\" ]]" 60 || fail "the main window did not open"
sleep 2 # the first frame and the monitor's start
read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
ox=$(((screen_w - 1157) / 2))
oy=$(((screen_h - 588) / 2))
win=$(main_windows | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
[[ "$WIDTH" == 1157 && "$HEIGHT" == 588 && "$X" == "$ox" && "$Y" == "$oy" ]] ||
  fail "window at ${X},${Y} size ${WIDTH}x${HEIGHT}, wanted ${ox},${oy} 1157x588"
echo "ok: the main window opened, 1157x588 centred"

# --- a second start -------------------------------------------------------------------------------
start=$SECONDS
wine "$prog/VRNKECfg.exe" >/dev/null 2>&1 || fail "a second start ended with $?"
((SECONDS - start < 15)) || fail "a second start took $((SECONDS - start)) s"
[[ $(main_windows | wc -l) == 1 ]] || fail "a second window"
echo "ok: a second start ended at once with 0"

# --- the window against the host's render ---------------------------------------------------------
shot start
XDG_CONFIG_HOME="$work/posix-config" XDG_RUNTIME_DIR="$work/posix-run" DISPLAY= \
  "$host/VRNKECfg-snapshot" "$work/posix.png" >/dev/null
stop_host_monitor
convert "$work/start.png" -crop "1157x588+$ox+$oy" +repage "$work/wine.png"
# GDI+ and Cairo rasterise edges and glyphs differently: a pixel counts as different when a
# channel is off by more than 12 %, and at most 4 % of the window's pixels may be.
differing=$(compare -metric AE -fuzz 12% "$work/wine.png" "$work/posix.png" null: 2>&1 || true)
limit=$((1157 * 588 * 4 / 100))
((${differing%%.*} <= limit)) || fail "$differing pixels differ from the host's render (limit $limit)"
echo "ok: the window matches the host's render ($differing of $((1157 * 588)) pixels differ)"

# --- functions through the menu, then APPLY --------------------------------------------------------
# The menu opens at the pointer, its rows 25 pixels high; a group's sub-menu opens beside the
# hovered row, its first row level with it.
row=25
# Picks top-level row $2 (from 0) of the menu of the key button whose top is $1 in the key
# column; with $3, row $3 of that group's sub-menu.
choose() {
  local px=$((ox + 119)) py=$((oy + 61 + $1 + 14))
  xdotool mousemove "$px" "$py" click 1
  sleep 1
  if (($# == 2)); then
    xdotool mousemove $((px + 60)) $((py + 12 + $2 * row)) click 1
  else
    xdotool mousemove $((px + 60)) $((py + 12 + $2 * row))
    sleep 1
    xdotool mousemove $((px + 260)) $((py + 12 + $2 * row))
    sleep 0.5
    xdotool mousemove $((px + 260)) $((py + 12 + ($2 + $3) * row)) click 1
  fi
  sleep 1
}
# F1: "Show Desktop", the fifth row under the ninth ("Advanced Commands"); F2: "Paste", the
# third row under the eighth; F3: "Undo", the second top-level row.
choose 220 8 4
choose 94 7 2
choose 136 1
shot assigned

# F4: "Combo Keys...", the thirteenth top-level row; the dialog is a window of its own. Typed keys
# reach it through the hook library with their codes and extended flags: Ctrl+Shift+Home (Home
# is an extended key).
choose 52 12
wait_for "[[ \$(main_windows | wc -l) == 2 ]]" 10 || fail "the combination dialog did not open"
dlg=$(main_windows | grep -vx "$win" | head -1)
eval "$(xdotool getwindowgeometry --shell "$dlg")"
# The dialog's text box shows what it recorded. The hook starts a moment after the window
# shows: the keys are typed again until the box changes.
box="301x27+$((X + 83))+$((Y + 89))"
textbox() { import -window root -crop "$box" +repage rgb:- | md5sum; }
sleep 1
before=$(textbox)
for _ in $(seq 10); do
  xdotool key ctrl+shift+Home
  sleep 0.5
  [[ $(textbox) != "$before" ]] && break
done
[[ $(textbox) != "$before" ]] || fail "the combination dialog did not take Ctrl+Shift+Home"
shot combination
xdotool mousemove $((X + 191)) $((Y + 166)) click 1
wait_for "[[ \$(main_windows | wc -l) == 1 ]]" 10 || fail "the combination dialog stayed open after OK"
xdotool mousemove $((ox + 838)) $((oy + 545)) click 1
wait_for "grep -q 'VRNKEProfile1.PFX size=132032' '$monlog'" 20 || fail "the monitor had no reload after APPLY"
echo "ok: the monitor was started by the program and told after APPLY: $(tail -1 "$monlog")"

wine regedit /E "$(winepath -w "$work/export.reg")" 'HKEY_CURRENT_USER\software\VRNKEDriver' >/dev/null 2>&1 </dev/null
"$host/vrnkereg" --store "$work/store" import "$work/export.reg"
"$host/vrnkereg" --store "$work/store" list 'HKEY_CURRENT_USER\software\VRNKEDriver' | tee "$work/list.txt"
grep -q 'VRNKEProfile1.PFX.*132032' "$work/list.txt" || fail "the current profile is not in the registry"
grep -q 'VRNKEPROFILE.GPX.*31176' "$work/list.txt" || fail "the all-profiles record is not in the registry"
"$host/vrnkeinspect" --check --registry "$work/store" | tee "$work/keys.txt"
grep -q '^Key 1 .*"Show Desktop".*MenuItemID 905.*WIN+D' "$work/keys.txt" || fail "Show Desktop was not stored on F1"
grep -q '^Key 2 .*"Paste".*MenuItemID 803 .*Ctrl+V' "$work/keys.txt" || fail "Paste was not stored on F2"
grep -q '^Key 3 .*"Undo".*MenuItemID 2 ' "$work/keys.txt" || fail "Undo was not stored on F3"
grep -q '^Key 4 .*"Combo Keys...".*MenuItemID 13 .*(key1 0x24 ext 1, key2 0x00 ext 0, modifier 6)' "$work/keys.txt" ||
  fail "Ctrl+Shift+Home was not stored on F4"
echo "ok: the menu's choices are in Wine's registry"

# --- Chinese ---------------------------------------------------------------------------------------
# The language pop-up: its second row is Traditional Chinese.
xdotool mousemove $((ox + 970)) $((oy + 30)) click 1
sleep 1
xdotool mousemove $((ox + 970)) $((oy + 30 + 26 + 13 + 26)) click 1
sleep 1.5
shot chinese
# F1's caption now reads 顯示桌面: dense strokes, about 200 light pixels in its cell, where the
# four empty boxes a missing font draws give well under 150.
glyphs=$(convert "$work/chinese.png" -crop "100x20+$((ox + 55))+$((oy + 285))" +repage \
  -colorspace gray -threshold 60% -format '%[fx:mean*w*h]' info:)
((${glyphs%%.*} >= 170)) || fail "no Chinese glyphs in F1's caption ($glyphs light pixels)"
echo "ok: Chinese text is drawn with its glyphs ($glyphs light pixels in F1's caption)"

# --- the monitor closes the program ------------------------------------------------------------------
wine taskkill /im VRNKEMon.exe >/dev/null 2>&1 || true
wait_for "! xdotool search --classname vrnkemon.exe" 10 || true
VRNKEMON_OPTIONS="--output $(winepath -w "$monlog") --close-cfg" wine "$prog/VRNKEMon.exe" >/dev/null 2>&1 &
code=0
wait "$cfg_pid" || code=$?
cfg_pid=
[[ $code == 0 ]] || fail "the program ended with $code after WM_CLOSESETTING"
echo "ok: WM_CLOSESETTING from the monitor ended the program with 0"
