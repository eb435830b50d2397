#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs every test:
# the debug build, the ASan+UBSan build, and the ThreadSanitizer stress tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
for preset in debug asan tsan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done
