#!/usr/bin/env bash
# The release archive in Wine: unpacked into the prefix's Program Files as its text says (the
# stand-ins copied beside the program), the program started from there opens its window, starts
# the monitor from its own folder, and ends with 0 when the monitor sends WM_CLOSESETTING.
#   test-release-wine.sh ARCHIVE      (WINEPREFIX and DISPLAY as scripts/test-windows.sh sets them)
set -euo pipefail
archive=$(realpath "$1")
: "${WINEPREFIX:?run by scripts/test-windows.sh}" "${DISPLAY:?run by scripts/test-windows.sh}"
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
name=$(basename "$archive" .zip)
listing=$(unzip -Z1 "$archive")
for f in VRNKECfg.exe qv.local forms/SettingMain.form forms/pictures/main_background.png vrnkeflt.sys \
  vrnkeflt.inf vrnkectl.exe README.txt stand-ins/VRNKEMon.exe stand-ins/qvHook.dll stand-ins/README.txt; do
  grep -qx "$name/$f" <<<"$listing" || fail "$f is not in the archive"
done
grep -q '^VRNKEMon.exe\|^qvHook.dll' <(unzip -Z1 "$archive" | sed "s|^$name/||") &&
  fail "a stand-in outside stand-ins/"

dest="$WINEPREFIX/drive_c/Program Files"
rm -rf "$dest/$name"
mkdir -p "$dest"
unzip -q "$archive" -d "$dest"
cp "$dest/$name/stand-ins/VRNKEMon.exe" "$dest/$name/stand-ins/qvHook.dll" "$dest/$name/"
log=$(mktemp -u /tmp/vrnke-release-XXXXXX.log)
trap 'rm -f "$log"; wine taskkill /f /im VRNKEMon.exe >/dev/null 2>&1 || true' EXIT
export VRNKEMON_OPTIONS="--output $(winepath -w "$log")"
wine reg delete 'HKCU\software\VRNKEDriver' /f >/dev/null 2>&1 || true

# Started from another folder: it finds its forms, texts and monitor by its own place.
(cd / && wine "C:\\Program Files\\$name\\VRNKECfg.exe") &
cfg=$!
end=$((SECONDS + 60))
until xdotool search --onlyvisible --name '^Vorne Tavrix Setting$' >/dev/null 2>&1; do
  ((SECONDS < end)) || fail "the program's window did not open"
  kill -0 "$cfg" 2>/dev/null || fail "the program ended at start"
  sleep 0.2
done
end=$((SECONDS + 20))
until wine reg query 'HKCU\software\VRNKEDriver' /v VRNKEPROFILE.GPX >/dev/null 2>&1; do
  ((SECONDS < end)) || fail "the program stored no settings"
  sleep 0.5
done
# The monitor from the program's folder (it opens its output file as it starts); then a second
# one closes the program.
end=$((SECONDS + 20))
until [[ -e "$log" ]]; do
  ((SECONDS < end)) || fail "the program did not start the monitor"
  sleep 0.5
done
wine taskkill /im VRNKEMon.exe >/dev/null 2>&1 || true
sleep 1
VRNKEMON_OPTIONS="--close-cfg" wine "C:\\Program Files\\$name\\VRNKEMon.exe" >/dev/null 2>&1 &
code=0
wait "$cfg" || code=$?
[[ $code == 0 ]] || fail "the program ended with $code"
echo "ok: $name unpacked into the prefix starts, finds its files and monitor, and ends on WM_CLOSESETTING"
