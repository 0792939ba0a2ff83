#!/bin/sh
# Makes, from the Linux side, the folder of the big-folder tests: COUNT empty
# files named file00000.qvbig and on, made last to first.  Through Wine
# every creation would read the whole folder for a name in another case.
# Usage: make_big_folder.sh FOLDER COUNT, or make_big_folder.sh --remove FOLDER
set -eu
if [ "$1" = --remove ]; then
    rm -rf "$2"
    exit 0
fi
folder=$1
count=$2
rm -rf "$folder"
mkdir -p "$folder"
cd "$folder"
seq -f 'file%05.0f.qvbig' $((count - 1)) -1 0 | xargs touch
