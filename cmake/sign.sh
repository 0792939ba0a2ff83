#!/bin/sh
# Copies a Windows module or installer package, with an Authenticode
# signature when a certificate is given.
#
# Usage: sign.sh IN OUT       writes OUT, signed or an unsigned copy of IN
#        sign.sh --stamp FILE  writes the signing setup into FILE when it
#                              changed, so that the build signs again
# Environment:
#   QV_SIGN_PKCS12    the PKCS#12 certificate file; empty or unset: unsigned
#   QV_SIGN_PASSWORD  its password.  It reaches osslsigncode through a pipe,
#                     never on a command line, in a file or in the output.
#   QV_SIGN_TIMESTAMP optional address of an RFC 3161 time-stamping server,
#                     so that the signature outlives the certificate
#   QV_HOME_PAGE      the address the signature names as the product's
#   OSSLSIGNCODE      the osslsigncode program (default: from PATH)
set -eu

certificate=${QV_SIGN_PKCS12:-}

if [ "${1:-}" = --stamp ] && [ $# -eq 2 ]; then
    # The certificate's path, size and time; nothing of the password.
    if [ -n "$certificate" ]; then
        setup="signed with $certificate ($(stat -L -c '%s bytes, modified %y' "$certificate" 2>/dev/null || echo unreadable))"
    else
        setup="unsigned: no certificate given (QV_SIGN_PKCS12)"
    fi
    if [ ! -f "$2" ] || [ "$(cat "$2")" != "$setup" ]; then
        printf '%s\n' "$setup" >"$2"
    fi
    exit 0
fi
if [ $# -ne 2 ]; then
    echo "usage: sign.sh IN OUT | sign.sh --stamp FILE" >&2
    exit 2
fi
in=$1
out=$2

rm -f "$out"
if [ -z "$certificate" ]; then
    cp "$in" "$out"
    echo "$(basename "$out"): left unsigned, no certificate given (QV_SIGN_PKCS12)"
    exit 0
fi
if [ ! -r "$certificate" ]; then
    echo "sign.sh: cannot read the certificate $certificate" >&2
    exit 1
fi
set -- sign -pkcs12 "$certificate" -h sha256 -n quorvane-shellex
[ -z "${QV_HOME_PAGE:-}" ] || set -- "$@" -i "$QV_HOME_PAGE"
[ -z "${QV_SIGN_TIMESTAMP:-}" ] || set -- "$@" -ts "$QV_SIGN_TIMESTAMP"
# printf is built into the shell: the password is in no process's arguments.
if ! printf '%s' "${QV_SIGN_PASSWORD:-}" |
    "${OSSLSIGNCODE:-osslsigncode}" "$@" -readpass - -in "$in" -out "$out" >/dev/null; then
    rm -f "$out"
    echo "sign.sh: signing $(basename "$out") with $certificate failed (wrong password in QV_SIGN_PASSWORD?)" >&2
    exit 1
fi
echo "$(basename "$out"): signed with $certificate"
