#!/usr/bin/env bash
# Builds and starts the configuration program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exe=build/release/configurator/shell/VRNKECfg
if [[ ! -x "$exe" ]]; then
  echo "VRNKECfg: the program's window is not built yet; nothing to run." >&2
  exit 1
fi
exec "$exe"
