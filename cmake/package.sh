#!/bin/sh
# Makes the shipped files from the built module: the module stripped of its
# debug information, which goes into a symbols file beside it (with a debug
# link to it, so that a debugger or addr2line finds it), signed when a
# certificate is given; then the installer packages that carry that module,
# signed too (signing: see sign.sh).
#
# Usage: package.sh MODULE PACKAGE.wxs PACKAGE.msi [--per-user USER.wxs USER.msi] [PROGRAM...]
#   The stripped module and MODULE-NAME.debug are written beside PACKAGE.wxs,
#   which names the module by its file name; wixl packs it from there, whatever
#   the current folder holds.  Each PROGRAM is copied there too (signed when
#   the module is), for package sources that name it.
#   --per-user: a second package, for the current user, from USER.wxs in the
#   same folder, with the same module.
#   Every file of a package is the module or a program of this build, which
#   carry the same version: FILE_VERSION (MAJOR.MINOR.BUILD.0) goes into the
#   package's File table for each of them (wixl leaves the column empty, and
#   Windows Installer would treat them as unversioned files).
# Environment: OBJCOPY, WIXL, MSIBUILD (the tools), FILE_VERSION, and those
#   of sign.sh.
set -eu
usage() {
    echo "usage: package.sh MODULE PACKAGE.wxs PACKAGE.msi [--per-user USER.wxs USER.msi] [PROGRAM...]" >&2
    exit 2
}
[ $# -ge 3 ] || usage
here=$(cd "$(dirname "$0")" && pwd)
module=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
wxs=$2
msi=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
dir=$(cd "$(dirname "$wxs")" && pwd)
name=$(basename "$module")
shift 3
user_wxs=
user_msi=
if [ "${1:-}" = --per-user ]; then
    [ $# -ge 3 ] || usage
    user_wxs=$2
    user_msi=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
    shift 3
    if [ "$(cd "$(dirname "$user_wxs")" && pwd)" != "$dir" ]; then
        echo "package.sh: USER.wxs must lie beside PACKAGE.wxs" >&2
        exit 2
    fi
fi
objcopy=${OBJCOPY:-x86_64-w64-mingw32-objcopy}
case "${FILE_VERSION:-}" in
*[!0-9.]* | "" | .* | *. | *..*)
    echo "package.sh: FILE_VERSION must be the files' version, MAJOR.MINOR.BUILD.0, not '${FILE_VERSION:-}'" >&2
    exit 2
    ;;
esac
for file in "$module" "$@"; do
    if [ "$(cd "$(dirname "$file")" && pwd)" = "$dir" ]; then
        echo "package.sh: $(basename "$file") must not lie beside PACKAGE.wxs" >&2
        exit 2
    fi
done

# The debug link records the symbols file's name and checksum.
"$objcopy" --only-keep-debug "$module" "$dir/$name.debug"
(cd "$dir" && "$objcopy" --strip-all --add-gnu-debuglink="$name.debug" "$module" "$name.stripped")
sh "$here/sign.sh" "$dir/$name.stripped" "$dir/$name"
rm -f "$dir/$name.stripped"
for program in "$@"; do
    sh "$here/sign.sh" "$program" "$dir/$(basename "$program")"
done

# wixl takes a Source file from its current folder first, so it runs in the
# folder of PACKAGE.wxs, where the module just made lies.  File hashes are
# for unversioned files: with every file versioned, the table goes.
pack() { # WXS MSI: the unsigned package in MSI.unsigned
    (cd "$dir" && "${WIXL:-wixl}" -a x64 -o "$2.unsigned" "$(basename "$1")") &&
        "${MSIBUILD:-msibuild}" "$2.unsigned" \
            -q "UPDATE \`File\` SET \`Version\` = '$FILE_VERSION'" -q "DROP TABLE \`MsiFileHash\`"
}
pack "$wxs" "$msi"
sh "$here/sign.sh" "$msi.unsigned" "$msi"
rm -f "$msi.unsigned"
if [ -n "$user_wxs" ]; then
    pack "$user_wxs" "$user_msi"
    sh "$here/sign.sh" "$user_msi.unsigned" "$user_msi"
    rm -f "$user_msi.unsigned"
fi
