#!/bin/sh
# Installs what is missing, builds dist/zorve.asi and runs the demo drive in
# the fake game process.
set -eu
cd "$(dirname "$0")"
scripts/setup
echo "Building (the first build takes a few minutes)..."
if ! log=$(scripts/build 2>&1); then
    printf '%s\n' "$log"
    exit 1
fi
mkdir -p dist
cp build/bin/zorve.asi dist/zorve.asi
echo "dist/zorve.asi built"
exec scripts/demo
