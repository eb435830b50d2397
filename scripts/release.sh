#!/usr/bin/env bash
# Builds the Windows release and writes build/release-archive/VRNKECfg-<version>-win32.zip:
# the program with its language file and forms, the driver with its INF, the driver's client,
# an installation text, and the stand-ins of the two outside programs in a folder of their own.
#   scripts/release.sh [--preset PRESET] [--out FOLDER]
# PRESET defaults to win32-release (built without its benchmarks in build/win32-release-archive);
# --preset win32 packs the Windows stage's own build instead (the stage's test of the archive).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=win32-release
out=build/release-archive
while (($#)); do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: scripts/release.sh [--preset PRESET] [--out FOLDER]" >&2; exit 2 ;;
  esac
done
jobs=${VRNKE_JOBS:-$(nproc)}
version=$(sed -n 's/^project(vrnke .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
[[ -n "$version" ]] || { echo "no version in CMakeLists.txt" >&2; exit 1; }

# The pictures are drawn by a host tool (Cairo), as for the Windows stage.
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs" --target vrnke_forms
if [[ "$preset" == win32-release ]]; then
  build=build/win32-release-archive
  cmake --preset win32-release -B "$build" -DVRNKE_BENCH=OFF -DVRNKE_HOST_TOOLS_DIR="$PWD/build/debug/bin" >/dev/null
else
  build=build/$preset
  cmake --preset "$preset" -DVRNKE_HOST_TOOLS_DIR="$PWD/build/debug/bin" >/dev/null
fi
cmake --build "$build" -j "$jobs" --target vrnke_cfg vrnke_monitor vrnke_hook_win32 qv_local vrnke_forms vrnkeflt vrnkectl

one() {  # the one file of that name the build made
  local f
  f=$(find "$build" -name "$1" -type f -not -path '*/CMakeFiles/*' | head -1)
  [[ -n "$f" ]] || { echo "the build made no $1" >&2; exit 1; }
  echo "$f"
}

name=VRNKECfg-$version-win32
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dir=$stage/$name
mkdir -p "$dir/stand-ins"
cp "$build/bin/VRNKECfg.exe" "$build/bin/qv.local" "$dir/"
cp -r "$build/bin/forms" "$dir/forms"
cp "$(one vrnkeflt.sys)" devlower/vrnkeflt.inf "$dir/"
cp "$(one vrnkectl.exe)" "$dir/"
cp "$build/bin/VRNKEMon.exe" "$build/bin/qvHook.dll" "$dir/stand-ins/"
sed "s/@VERSION@/$version/g" release/README.txt >"$dir/README.txt"
cp release/stand-ins.txt "$dir/stand-ins/README.txt"
# Windows line ends for the texts, as Notepad wants them.
sed -i 's/$/\r/' "$dir/README.txt" "$dir/stand-ins/README.txt"

mkdir -p "$out"
archive=$(cd "$out" && pwd)/$name.zip
rm -f "$archive"
(cd "$stage" && zip -qr -X "$archive" "$name")
echo "$archive"
