#!/usr/bin/env bash
# Installs what is missing, checks the format and the layers, then configures, builds and runs
# every test: the debug build, the ASan+UBSan build, the ThreadSanitizer stress tests, the
# 32-bit Windows build's tests under Wine, and a short run of each fuzz target on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
bash scripts/check-layers.sh
jobs=$(nproc)
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp ${TSAN_OPTIONS:-}"
for preset in debug asan tsan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done
echo "=== windows (32-bit, under Wine) ==="
bash scripts/test-windows.sh
echo "=== fuzz ==="
bash scripts/fuzz.sh
