#!/bin/sh
# Makes the shipped files from the built module: the module stripped of its
# debug information, which goes into a symbols file beside it (with a debug
# link to it, so that a debugger or addr2line finds it), signed when a
# certificate is given; then the installer package that carries that module,
# signed too (signing: see sign.sh).
#
# Usage: package.sh MODULE PACKAGE.wxs PACKAGE.msi
#   The stripped module and MODULE-NAME.debug are written beside PACKAGE.wxs,
#   which names the module by its file name; wixl packs it from there, whatever
#   the current folder holds.
# Environment: OBJCOPY, WIXL (the tools), and those of sign.sh.
set -eu
if [ $# -ne 3 ]; then
    echo "usage: package.sh MODULE PACKAGE.wxs PACKAGE.msi" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
module=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
wxs=$2
msi=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
dir=$(cd "$(dirname "$wxs")" && pwd)
name=$(basename "$module")
objcopy=${OBJCOPY:-x86_64-w64-mingw32-objcopy}
if [ "$module" = "$dir/$name" ]; then
    echo "package.sh: the module must not lie beside PACKAGE.wxs" >&2
    exit 2
fi

# The debug link records the symbols file's name and checksum.
"$objcopy" --only-keep-debug "$module" "$dir/$name.debug"
(cd "$dir" && "$objcopy" --strip-all --add-gnu-debuglink="$name.debug" "$module" "$name.stripped")
sh "$here/sign.sh" "$dir/$name.stripped" "$dir/$name"
rm -f "$dir/$name.stripped"

# wixl takes a Source file from its current folder first, so it runs in the
# folder of PACKAGE.wxs, where the module just made lies.
(cd "$dir" && "${WIXL:-wixl}" -a x64 -o "$msi.unsigned" "$(basename "$wxs")")
sh "$here/sign.sh" "$msi.unsigned" "$msi"
rm -f "$msi.unsigned"
