#!/usr/bin/env bash
# The release archive as a person installs it: its files checked, unpacked into the Program Files
# of a fresh prefix made for this test as its text says (the stand-ins copied beside the
# program), and the program's whole test under Wine run on that folder (scripts/test-program-wine.sh:
# functions assigned through the menu with the pointer, the records APPLY stored decoded by our
# own tools, the program closed by our own monitor).
#   test-release-wine.sh ARCHIVE HOST_BIN   (DISPLAY as scripts/test-windows.sh sets it)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
archive=$(realpath "$1")
host=$(realpath "$2")
: "${DISPLAY:?run by scripts/test-windows.sh}"
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
grep -q '^VRNKEMon.exe\|^qvHook.dll' <(sed "s|^$name/||" <<<"$listing") && fail "a stand-in outside stand-ins/"

work=$(mktemp -d /tmp/vrnke-release-XXXXXX)
export WINEPREFIX="$work/prefix"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wineboot -i >/dev/null 2>&1
"$here/wine-fonts.sh"

dest="$WINEPREFIX/drive_c/Program Files"
mkdir -p "$dest"
unzip -q "$archive" -d "$dest"
cp "$dest/$name/stand-ins/VRNKEMon.exe" "$dest/$name/stand-ins/qvHook.dll" "$dest/$name/"
"$here/test-program-wine.sh" "$dest/$name" "$host"
echo "ok: $name unpacked into a fresh prefix passes the program's test"
