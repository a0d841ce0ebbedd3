#!/usr/bin/env bash
# Runs the suite of an already built tree once more as an ordinary user, so that
# a mode that forbids a read or write forbids it the step too (root passes
# every mode). Needs root: it makes the user when missing (KORVEX_TEST_USER,
# default korvex-tester), who reads the sources and the build and writes only
# ctest's logs and the temporary folders. BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
user="${KORVEX_TEST_USER:-korvex-tester}"
id -u "$user" >/dev/null 2>&1 || useradd -m "$user"
mkdir -p "$build/Testing"
chown -R "$user" "$build/Testing"
home="$(getent passwd "$user" | cut -d: -f6)"
runuser -u "$user" -- env HOME="$home" TMPDIR=/tmp \
  ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
