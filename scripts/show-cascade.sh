#!/bin/sh
# Shows the launcher menu of the sample folder with sub-folders as submenus
# (CascadeFolders 1): "Projects" and, inside it, "Launcher" are opened with
# the mouse, the menus are printed as a tree and a picture of all three is
# saved.  The setting is set in the build's private Wine prefix for the run
# only.  Usage: scripts/show-cascade.sh [PICTURE.png]
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
picture=$(realpath -m "${1:-build/cascade.png}")
build/wine-run.sh --wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    run=build/wine-run.sh
    host="$run build/bin/qv-menu-host.exe"
    key="HKLM\\Software\\Quorvane\\Shellex"
    folder="C:\\quorvane-sample"
    $host --make-sample "$folder" >/dev/null
    $run reg add "$key" /v CascadeFolders /t REG_DWORD /d 1 /f >/dev/null 2>&1
    # Entry numbers follow the file system order: read them off the menu.
    # The top menu numbers entries by identifier (from 100); a submenu by
    # position after its "." and separator.
    top=$($host --register --close "$folder" | tr -d "\r" |
          awk "\$2 == \"Projects\" && \$3 ~ /^id=/ { sub(/^id=/, \"\", \$3); print \$3 - 100; exit }")
    sub=$($host --open "$top" --close "$folder" | tr -d "\r" |
          awk "seen && \$2 == \"Launcher\" && \$3 ~ /^id=/ { print \$1 - 2; exit } \$2 == \"Projects\" && \$3 ~ /^id=/ { seen = 1 }")
    $host --open "$top,$sub" --screenshot "$($run winepath -w "$1")" "$folder"; status=$?
    $run reg delete "$key" /v CascadeFolders /f >/dev/null 2>&1
    $run --wineserver -k 2>/dev/null || true
    exit $status' sh "$picture"
