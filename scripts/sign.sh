#!/usr/bin/env bash
# Authenticode-signs Windows programs in place with osslsigncode, SHA-256, keeping each file's
# date (the archive packer stores it as the installed file's date).
#
#   bash scripts/sign.sh <certificate> <key> <program.exe>...
#
#   certificate   the certificate and its chain (PEM or DER); or a PKCS#12 file (.pfx, .p12),
#                 which holds the key too: give "-" as the key
#   key           the private key (PEM or DER)
#
#   SIGN_TIMESTAMP=<url>     an RFC 3161 timestamp server (none by default): the signature
#                            then outlives the certificate
#   SIGN_PASSWORD_FILE=<f>   the key's or PKCS#12 file's password, read from that file
#
# The build signs vlm.exe before packing it and VelmorraSetup.exe after linking it when given
# -DVELMORRA_SIGN_CERT=... -DVELMORRA_SIGN_KEY=... (and -DVELMORRA_SIGN_TIMESTAMP=...).
set -euo pipefail

if [ $# -lt 3 ]; then
    echo "usage: bash scripts/sign.sh <certificate> <key|-> <program.exe>..." >&2
    exit 2
fi
cert=$1 key=$2
shift 2

credentials=()
case $cert in
*.pfx | *.p12 | *.PFX | *.P12) credentials=(-pkcs12 "$cert") ;;
*) credentials=(-certs "$cert" -key "$key") ;;
esac
[ -n "${SIGN_PASSWORD_FILE:-}" ] && credentials+=(-readpass "$SIGN_PASSWORD_FILE")
timestamp=()
[ -n "${SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$SIGN_TIMESTAMP")

for program in "$@"; do
    signed=$program.signing
    rm -f "$signed"
    # A signed file is signed afresh: osslsigncode replaces the old signature.
    if ! osslsigncode sign "${credentials[@]}" -h sha256 -n "Traitement de texte Velmorra" \
            "${timestamp[@]}" -in "$program" -out "$signed" >"$signed.log" 2>&1; then
        echo "sign: $program could not be signed:" >&2
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        exit 1
    fi
    rm -f "$signed.log"
    touch -r "$program" "$signed"
    chmod --reference="$program" "$signed"
    mv -f "$signed" "$program"
done
