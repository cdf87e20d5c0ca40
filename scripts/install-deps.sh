#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the setup program, and the
# packages named as arguments (the benchmark's nsis). Idempotent and quiet when everything is
# already there.
#
#   bash scripts/install-deps.sh [package...]
set -euo pipefail

packages=(cmake g++ make mingw-w64 libz-mingw-w64-dev wine wine32 wine64 xvfb imagemagick
          xdotool x11-utils fonts-wine libgtest-dev zlib1g-dev clang python3 file osslsigncode openssl
          python3-yaml "$@")

missing=()
for p in "${packages[@]}"; do
    pkg=$p
    [ "$p" = wine32 ] && pkg=wine32:i386
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}; run this script as root." >&2
    exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index now and then; retry, then go on with the indexes
# that did arrive.
for attempt in 1 2 3; do
    apt-get update -qq >/dev/null && break
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep $((attempt * 15))
done
install_missing() { apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >/dev/null; }
# Without one architecture's security index, the two architectures' candidates of a shared
# library differ and wine32 cannot be placed; the release's own versions agree with each other.
install_missing || {
    echo "retrying with the release's own versions" >&2
    install_missing -t "$(. /etc/os-release && echo "$VERSION_CODENAME")"
}
