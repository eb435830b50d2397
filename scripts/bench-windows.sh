#!/usr/bin/env bash
# The benchmarks that build for both systems, run twice in one go: the 32-bit Windows release
# build under Wine (fresh prefix) and the POSIX release build, so the figures sit side by side.
# Wine is not Windows: its figures are Wine's registry, message passing, GDI+ and start on this
# machine. The last benchmark starts the real program on both systems and times it to its first
# frame on the display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/fetch-benchmark-source.sh >/dev/null
. scripts/wine-session.sh

# Path below the build folder, without the .exe of the Windows build: run once for each system.
benches=(bench/platform/platform_bench bench/profile/profile_store_bench bin/toolkit_render_bench)
targets=()
for b in "${benches[@]}"; do targets+=("$(basename "$b")"); done

jobs=$(nproc)
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target "${targets[@]}" program_start_bench
# The program's pictures are drawn by a host tool (Cairo), as for the Windows stage.
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs" --target vrnke_forms
cmake --preset win32-release -DVRNKE_HOST_TOOLS_DIR="$PWD/build/debug/bin" >/dev/null
cmake --build --preset win32-release -j "$jobs" --target "${targets[@]}" vrnke_cfg vrnke_monitor \
  vrnke_hook_win32 qv_local vrnke_forms

vrnke_wine_start
agg=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
for b in "${benches[@]}"; do
  echo "=== POSIX: $b"
  "build/release/$b" "${agg[@]}"
  echo "=== Windows under Wine: $b.exe"
  wine "build/win32-release/$b.exe" "${agg[@]}"
done
# The real program from its start to its first frame on the server: the POSIX program on X11
# and VRNKECfg.exe under Wine, watched the same way on this session's display.
echo "=== both: bench/program_start/program_start_bench"
build/release/bench/program_start/program_start_bench --wine-program build/win32-release/bin "${agg[@]}"
# The monitor the program started keeps Wine running: end it with the session.
wineserver -k
