#!/bin/sh
# The release packing, cmake/package.sh, run on the built module and package
# source: the shipped module is stripped and its symbols file still reads a
# crash address; without a certificate nothing is signed and the build says
# so; with a throwaway self-signed certificate made here, the module and the
# package carry signatures that osslsigncode verifies, and the password shows
# up in no output and no file; a wrong password fails the packing.  Run from
# a folder that holds another file of the module's name, the packing still
# puts into the package the module it made, with the version given in its
# File table.  The package for the current user, packed with the signed one,
# is marked as needing no elevation (the one for all users is not) and its
# signature verifies too.
#
# Usage: test_package.sh MODULE PACKAGE.wxs USER.wxs SCRATCH-FOLDER [PROGRAM]
#   PROGRAM: the settings program, when the package sources name it.
# Tools from the environment: OBJCOPY, OBJDUMP, ADDR2LINE, WIXL, OSSLSIGNCODE,
# MSIEXTRACT, MSIINFO and MSIBUILD (Debian package msitools), and
# FILE_VERSION for package.sh.
set -u
if [ $# -ne 4 ] && [ $# -ne 5 ]; then
    echo "usage: test_package.sh MODULE PACKAGE.wxs USER.wxs SCRATCH-FOLDER [PROGRAM]" >&2
    exit 2
fi
module=$1
wxs=$2
user_wxs=$3
scratch=$4
program=${5:-}
package_sh=$(cd "$(dirname "$0")/.." && pwd)/cmake/package.sh
osslsigncode=${OSSLSIGNCODE:-osslsigncode}
failures=0
check() { # DESCRIPTION COMMAND...: counts a failure when COMMAND fails
    what=$1
    shift
    if "$@" >/dev/null 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
refused() { ! "$@"; }
in_folder() { (cd "$1" && shift && "$@"); }

rm -rf "$scratch"
mkdir -p "$scratch"
# Packs into SCRATCH/NAME with the environment given, output in NAME.log;
# with --per-user first, the package for the current user too.
pack() {
    user=
    if [ "$1" = --per-user ]; then
        user=yes
        shift
    fi
    name=$1
    shift
    mkdir -p "$scratch/$name"
    cp "$wxs" "$scratch/$name/package.wxs"
    cp "$user_wxs" "$scratch/$name/user.wxs"
    cp "$(dirname "$wxs")"/*.ico "$scratch/$name/"
    env "$@" sh "$package_sh" "$module" "$scratch/$name/package.wxs" "$scratch/$name/package.msi" \
        ${user:+--per-user "$scratch/$name/user.wxs" "$scratch/$name/user.msi"} ${program:+"$program"} \
        >"$scratch/$name.log" 2>&1
}

# Without a certificate.
check "packs without a certificate" pack unsigned -u QV_SIGN_PKCS12
shipped=$scratch/unsigned/$(basename "$module")
check "says the module is unsigned" grep -q "$(basename "$module"): left unsigned" "$scratch/unsigned.log"
check "says the package is unsigned" grep -q "package.msi: left unsigned" "$scratch/unsigned.log"
check "module unsigned" refused "$osslsigncode" verify -in "$shipped"
check "package unsigned" refused "$osslsigncode" verify -in "$scratch/unsigned/package.msi"

# Stripped, with a debug link to the symbols file beside it, which turns the
# address of an export in the shipped module into its function and line.
sections=$("${OBJDUMP:-objdump}" -h "$shipped")
check "module stripped" refused grep -q "debug_info" <<EOF_SECTIONS
$sections
EOF_SECTIONS
check "module links its symbols" grep -q "gnu_debuglink" <<EOF_SECTIONS
$sections
EOF_SECTIONS
headers=$("${OBJDUMP:-objdump}" -p "$shipped")
index=$(echo "$headers" | sed -n 's/^\s*\[ *\([0-9]*\)\] DllGetClassObject$/\1/p')
rva=$(echo "$headers" | sed -n "s/^\s*\[ *$index\] +base\[ *[0-9]*\] \([0-9a-f]*\) Export RVA$/\1/p")
base=$(echo "$headers" | sed -n 's/^ImageBase\s*\([0-9a-f]*\)$/\1/p')
if [ -n "$index" ] && [ -n "$rva" ] && [ -n "$base" ]; then
    address=$(printf '0x%x' $((0x$base + 0x$rva)))
    lookup=$("${ADDR2LINE:-addr2line}" -f -e "$shipped" "$address" | tr '\n' ' ')
    echo "$address: $lookup"
    check "crash address read through the symbols file" expr "$lookup" : 'DllGetClassObject .*class_factory\.cpp:[0-9][0-9]* '
else
    check "export DllGetClassObject found in the shipped module" false
fi

# wixl takes a file from its current folder before the one beside the
# package source: from a folder holding the unstripped module under the same
# name, the package must still carry the stripped module made beside it.
mkdir -p "$scratch/other folder"
cp "$module" "$scratch/other folder/"
check "packs from another folder" in_folder "$scratch/other folder" pack "from elsewhere" -u QV_SIGN_PKCS12
check "package extracted (msiextract, Debian package msitools)" \
    "${MSIEXTRACT:-msiextract}" -C "$scratch/extracted" "$scratch/from elsewhere/package.msi"
packed=$(find "$scratch/extracted" -type f -name "$(basename "$module")")
check "package carries the module made, not the current folder's" \
    cmp "$packed" "$scratch/from elsewhere/$(basename "$module")"
# Every file of the package has the version given, and no file hash.
files=$("${MSIINFO:-msiinfo}" export "$scratch/from elsewhere/package.msi" File | tail -n +4)
echo "$files"
check "File table has rows" test -n "$files"
check "every file's version is $FILE_VERSION" refused sh -c 'echo "$1" | cut -f5 | grep -v -x -F "$2"' - "$files" "$FILE_VERSION"
check "no file hash for versioned files" test -z "$("${MSIINFO:-msiinfo}" export "$scratch/from elsewhere/package.msi" MsiFileHash | tail -n +4)"
check "a bad FILE_VERSION is refused" refused pack badversion -u QV_SIGN_PKCS12 FILE_VERSION=3.0.x

# A throwaway code-signing certificate; its password must leak nowhere.
password="throwaway-$$-$(date +%s%N)"
export password
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=quorvane-shellex test signing" \
    -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$scratch/key.pem" -out "$scratch/certificate.pem" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/certificate.pem" -passout env:password \
    -out "$scratch/certificate.p12"
rm -f "$scratch/key.pem"
check "certificate made" test -s "$scratch/certificate.p12"

check "packs both packages with the certificate" \
    pack --per-user signed QV_SIGN_PKCS12="$scratch/certificate.p12" QV_SIGN_PASSWORD="$password"
check "says the module is signed" grep -q "$(basename "$module"): signed with" "$scratch/signed.log"
# msiinfo shows the word count as "Source"; 8 is "no elevation needed".
word_count() { "${MSIINFO:-msiinfo}" suminfo "$1" 2>/dev/null | sed -n 's/^Source: \([0-9]*\).*/\1/p'; }
user_words=$(word_count "$scratch/signed/user.msi")
machine_words=$(word_count "$scratch/signed/package.msi")
check "package for the current user needs no elevation (word count $user_words)" \
    test -n "$user_words" -a $((${user_words:-0} & 8)) -eq 8
check "package for all users asks for elevation (word count $machine_words)" \
    test -n "$machine_words" -a $((${machine_words:-8} & 8)) -eq 0
for file in "$scratch/signed/$(basename "$module")" "$scratch/signed/package.msi" "$scratch/signed/user.msi"; do
    check "signature of $(basename "$file") verifies" \
        "$osslsigncode" verify -CAfile "$scratch/certificate.pem" -in "$file"
done
check "a wrong password fails the packing" refused \
    pack wrong QV_SIGN_PKCS12="$scratch/certificate.p12" QV_SIGN_PASSWORD="not-$password"
check "the failure is reported" grep -q "signing .* failed" "$scratch/wrong.log"
check "no signed module left" test ! -e "$scratch/wrong/$(basename "$module")"
check "password in no output and no file" refused grep -r -q -F -e "$password" "$scratch"

# The policy template of the release: well formed, one policy per setting
# the window shows (named as the registry value, under the policy key), each
# number with its range, and every text and presentation it names defined in
# the en-US ADML.
dist=$(cd "$(dirname "$0")/.." && pwd)/dist
admx=$dist/quorvane-shellex.admx
adml=$dist/en-US/quorvane-shellex.adml
check "policy template well formed (xmllint)" xmllint --noout "$admx" "$adml"
xpath() { xmllint --xpath "$1" "$admx" 2>/dev/null; }
policies=$(xpath '//*[local-name()="policy"]/@name' | tr ' ' '\n' | sed -n 's/^name="\(.*\)"$/\1/p' | sort)
settings=$(sed -n 's/^"\([A-Za-z]*\)"=dword:.*/\1/p' "$dist/quorvane-shellex-settings.reg" | grep -v -x HideItemNormalOnExplorer | sort)
check "one policy per setting" test -n "$settings" -a "$policies" = "$settings"
for name in $policies; do
    check "policy $name writes its value under the policy key" test \
        "$(xpath "string(//*[local-name()='policy'][@name='$name']/@key)")" = 'Software\Policies\Quorvane\Shellex' -a \
        "$(xpath "count(//*[local-name()='policy'][@name='$name']//@valueName[.='$name'])")" = 1
done
check "MaxMenuItems from 0 to 4294967295" test "$(xpath 'concat(//*[@id="MaxMenuItems"]/@minValue, "-", //*[@id="MaxMenuItems"]/@maxValue)')" = 0-4294967295
check "ListingTimeLimit from 0 to 5000" test "$(xpath 'concat(//*[@id="ListingTimeLimit"]/@minValue, "-", //*[@id="ListingTimeLimit"]/@maxValue)')" = 0-5000
for ref in $(grep -o '\$([a-z]*\.[A-Za-z_]*)' "$admx" | sort -u); do
    kind=$(echo "$ref" | sed 's/^\$(\([a-z]*\)\..*/\1/')
    id=$(echo "$ref" | sed 's/^\$([a-z]*\.\(.*\))$/\1/')
    check "$ref defined in the ADML" test "$(xmllint --xpath "count(//*[local-name()='$kind'][@id='$id'])" "$adml")" = 1
done

echo "$failures failed"
[ "$failures" -eq 0 ]
