#!/usr/bin/env bash
# Re-renders the reference images of the program's windows (configurator/forms/reference)
# after an intended change of their look. Look at every picture it writes before committing.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-debug}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target program_forms_tests
VRNKE_UPDATE_REFERENCES=1 "build/$preset/configurator/forms/program_forms_tests" \
  --gtest_filter='ReferenceImages.*' | grep '^wrote' || true
git status --short configurator/forms/reference
