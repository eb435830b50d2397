#!/usr/bin/env bash
# Builds the release preset and runs every benchmark; figures go to standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
b=build/release
agg=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
run() { echo "=== $*"; "$@"; }
run "$b/bench/platform/platform_bench" "${agg[@]}"
run "$b/bench/profile/profile_store_bench" "${agg[@]}"
run "$b/bench/dm/dm_bench" "${agg[@]}"
run "$b/bench/keys/keys_bench" "${agg[@]}"
run "$b/bench/lang/lang_bench" "${agg[@]}"
run "$b/bin/toolkit_render_bench" "${agg[@]}"
run "$b/bench/toolkit_forms/toolkit_forms_bench" "${agg[@]}"
run "$b/bench/toolkit_forms/toolkit_forms_rss"
run "$b/bench/toolkit_x11/toolkit_x11_bench" "${agg[@]}"
run "$b/bench/menu/menu_bench" "${agg[@]}"
run "$b/bench/shell/shell_bench" "${agg[@]}"
# Its Wine half runs in scripts/bench-windows.sh.
run "$b/bench/program_start/program_start_bench" --benchmark_filter=Posix "${agg[@]}"
run "$b/bench/driver/vrnkeflt_passthrough_bench" "${agg[@]}"
run "$b/bench/kernel_sim/vrnke_kernel_sim_bench" "${agg[@]}"
