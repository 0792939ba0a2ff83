#!/bin/sh
# The main job: builds everything, creates a sample folder, registers the
# extension in the build's private Wine prefix, and shows the launcher menu
# of that folder on a virtual display: the menu is printed as a tree and a
# picture of it is saved.  Usage: scripts/show-menu.sh [PICTURE.png] [FOLDER]
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
picture=${1:-build/menu.png}
run="build/wine-run.sh build/bin/qv-menu-host.exe"
if [ $# -ge 2 ]; then
    folder="$2"
else
    folder='C:\quorvane-sample'
    $run --make-sample "$folder" >/dev/null
fi
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    "$@"; status=$?
    build/wine-run.sh --wineserver -k 2>/dev/null || true
    exit $status' sh $run --register --screenshot "$(build/wine-run.sh winepath -w "$picture" 2>/dev/null || echo "$picture")" "$folder"
