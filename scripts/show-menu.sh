#!/bin/sh
# The main job: builds everything, creates a sample folder, registers the
# extension in the build's private Wine prefix, and shows the launcher menu
# of that folder on a virtual display: the menu is printed as a tree and a
# picture of it is saved.  Usage: scripts/show-menu.sh [PICTURE.png] [FOLDER]
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
picture=$(realpath -m "${1:-build/menu.png}")
folder=${2:-}
# Every Wine program of the run starts on the virtual display: a Wine
# session begun without a display cannot show windows later.
build/wine-run.sh --wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    host="build/wine-run.sh build/bin/qv-menu-host.exe"
    folder="$2"
    if [ -z "$folder" ]; then
        folder="C:\\quorvane-sample"
        $host --make-sample "$folder" >/dev/null
    fi
    $host --register --screenshot "$(build/wine-run.sh winepath -w "$1")" "$folder"; status=$?
    build/wine-run.sh --wineserver -k 2>/dev/null || true
    exit $status' sh "$picture" "$folder"
