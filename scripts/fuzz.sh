#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each one briefly on its checked-in
# seed corpus, so a broken fuzz build or a crash on a seed fails the test command.
# FUZZ_SECONDS (default 8) is each target's time; new inputs go to a scratch folder, never into
# the checked-in corpus. A crashing input is kept as build/fuzz/crashes/<target>-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-8}

# target, program below build/fuzz, seed corpus
fuzzers=(
  "regfile_fuzz tools/regtool/regfile_fuzz tools/regtool/fuzz/corpus"
  "lang_file_fuzz configurator/lang/lang_file_fuzz configurator/lang/fuzz/corpus"
  "form_text_fuzz toolkit/forms/form_text_fuzz toolkit/forms/fuzz/corpus"
  "toolkit_style_fuzz toolkit/core/toolkit_style_fuzz toolkit/core/fuzz/corpus"
  "vrnkeflt_control_fuzz devlower/tests/vrnkeflt_control_fuzz devlower/tests/fuzz/corpus/vrnkeflt_control_fuzz"
  "vrnkeflt_report_fuzz devlower/tests/vrnkeflt_report_fuzz devlower/tests/fuzz/corpus/vrnkeflt_report_fuzz"
)
targets=()
for f in "${fuzzers[@]}"; do
  read -r target _ _ <<<"$f"
  targets+=("$target")
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"

mkdir -p build/fuzz/crashes
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for f in "${fuzzers[@]}"; do
  read -r target program corpus <<<"$f"
  if [[ -z "$(ls -A "$corpus" 2>/dev/null)" ]]; then
    echo "fuzz: $target has no seeds in $corpus" >&2
    exit 1
  fi
  mkdir -p "$scratch/$target"
  echo "=== $target: ${seconds}s on $corpus"
  if ! "build/fuzz/$program" "$scratch/$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
    -artifact_prefix="build/fuzz/crashes/$target-" -print_final_stats=0 >"$scratch/$target.log" 2>&1; then
    tail -n 40 "$scratch/$target.log" >&2
    echo "fuzz: $target failed; the input is in build/fuzz/crashes/" >&2
    exit 1
  fi
  grep -E '^(INFO: seed corpus|Done [0-9]+ runs)' "$scratch/$target.log" || true
done
echo "fuzz: every target ran its corpus without a finding"
