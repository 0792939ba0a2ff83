#!/bin/sh
# The sources are layers, each including only those below it:
# module > extension > menu > listing > common.  Prints every include of a
# higher layer and fails when there is one.  Usage: test_layers.sh SRC_DIR
set -u
src=$1
layers="module extension menu listing common"
status=0
above=""
for layer in $layers; do
    for higher in $above; do
        if grep -rn "#include \"$higher/" "$src/$layer"; then
            echo "test_layers: src/$layer includes src/$higher, a higher layer" >&2
            status=1
        fi
    done
    above="$above $layer"
done
exit $status
