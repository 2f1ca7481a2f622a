#!/bin/sh
# Installs what is missing, builds, and runs every test under Wine.
set -eu
cd "$(dirname "$0")"
scripts/setup
scripts/build
ctest --test-dir "${ZORVE_BUILD_DIR:-build}" --output-on-failure "$@"
