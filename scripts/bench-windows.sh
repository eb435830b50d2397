#!/usr/bin/env bash
# The benchmarks that build for both systems, run twice in one go: the 32-bit Windows release
# build under Wine (fresh prefix) and the POSIX release build, so the figures sit side by side.
# Wine is not Windows: its figures are Wine's registry and message passing on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/fetch-benchmark-source.sh >/dev/null
. scripts/wine-session.sh

# Path below the build folder, without the .exe of the Windows build.
benches=(bench/platform/platform_bench bench/profile/profile_store_bench bin/toolkit_render_bench)
targets=()
for b in "${benches[@]}"; do targets+=("$(basename "$b")"); done

jobs=$(nproc)
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target "${targets[@]}"
cmake --preset win32-release >/dev/null
cmake --build --preset win32-release -j "$jobs" --target "${targets[@]}"

vrnke_wine_start
agg=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
for b in "${benches[@]}"; do
  echo "=== POSIX: $b"
  "build/release/$b" "${agg[@]}"
  echo "=== Windows under Wine: $b.exe"
  wine "build/win32-release/$b.exe" "${agg[@]}"
done
wineserver -w
