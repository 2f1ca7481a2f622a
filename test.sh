#!/bin/sh
# Installs what is missing, builds, and runs every test under Wine.
# Most end-to-end drives wait on the fake game's clock rather than compute, so
# ctest runs twice as many tests at once as there are cores, and at least 4
# (ZORVE_TEST_JOBS sets another number; arguments are passed on to ctest).
# A test that fails is run once more, and both outcomes are printed: a rare
# death of a Wine game process inside its exit (Wine's own assertion, see
# docs/TESTING.md) then costs one entry's time instead of the whole run.
set -eu
cd "$(dirname "$0")"
scripts/setup
scripts/build
cores=$(nproc)
jobs=${ZORVE_TEST_JOBS:-$((cores * 2 > 4 ? cores * 2 : 4))}
ctest --test-dir "${ZORVE_BUILD_DIR:-build}" --output-on-failure -j"$jobs" --repeat until-pass:2 "$@"
