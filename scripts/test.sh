#!/bin/sh
# Builds everything and runs every test under Wine, on a virtual display.
# Usage: scripts/test.sh [ctest options]
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
status=0
# Wine must start on the virtual display, not in a session left from before.
build/wine-run.sh --wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    ctest --test-dir build --output-on-failure "$@"; status=$?
    build/wine-run.sh --wineserver -k 2>/dev/null || true
    exit $status' sh "$@" || status=$?
exit $status
