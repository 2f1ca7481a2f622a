#!/bin/sh
# Installs what is missing, builds dist/zorve.asi and runs the demo drive in
# the fake game process.
set -eu
cd "$(dirname "$0")"
scripts/setup
scripts/build
mkdir -p dist
cp build/bin/zorve.asi dist/zorve.asi
echo "dist/zorve.asi built"
exec scripts/demo
