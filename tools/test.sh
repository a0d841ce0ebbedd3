#!/usr/bin/env bash
# Builds the step and runs the whole test suite. Extra arguments go to cmake's
# configure step (e.g. -DKORVEX_SANITIZE=ON); BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
# Leaks that are Qt's own, not the step's, are not reported by a sanitizer build.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
