#!/usr/bin/env bash
# Builds and starts the configuration program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exe=build/release/bin/VRNKECfg
if [[ ! -x "$exe" ]]; then
  echo "VRNKECfg: the main window is not wired up yet, so there is no program to start." >&2
  echo "What exists: build/release/bin/vrnkeform renders its windows, e.g." >&2
  echo "  build/release/bin/vrnkeform build/release/bin/forms/SettingMain.form main.png --lang 0804 --langfile build/release/bin/qv.local" >&2
  exit 1
fi
exec "$exe"
