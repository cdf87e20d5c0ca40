#!/usr/bin/env bash
# Walks the built setup program page by page under Wine and Xvfb and saves a picture of
# each page, and of the cancel confirmation, in docs/screenshots/.
#
#   scripts/screenshots.sh [path/to/VelmorraSetup.exe]   (default: build/win/VelmorraSetup.exe)
#   VELMORRA_SHOTS_DIR=<folder> saves them there instead.
#
# Each picture waits until the wizard shows the title of the page it is named for (read from
# outside by the end-to-end tests' helper) and its title strip is steady on screen, instead of
# sleeping a fixed time. The installation is held on its page by the cancel confirmation,
# which is answered "Non" once both pictures are taken.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SETUP=${1:-$ROOT/build/win/VelmorraSetup.exe}
OUT=${VELMORRA_SHOTS_DIR:-$ROOT/docs/screenshots}
TITLE="Installation du traitement de texte Velmorra"

[ -f "$SETUP" ] || { echo "screenshots: $SETUP not found (build the Windows tree first)" >&2; exit 1; }
mkdir -p "$OUT"

# shellcheck source=scripts/wine-env.sh
source "$ROOT/scripts/wine-env.sh"
wine_env_init
SETUP_PID=
cleanup() {
    [ -n "$SETUP_PID" ] && kill "$SETUP_PID" 2>/dev/null || true
    wine_env_cleanup
}
trap cleanup EXIT

# Polls a command until it prints something; prints that. Fails after about 30 s.
wait_for() {
    local out i
    for i in $(seq 300); do
        out=$("$@" 2>/dev/null || true)
        if [ -n "$out" ]; then echo "$out"; return 0; fi
        sleep 0.1
    done
    echo "screenshots: timed out waiting for: $*" >&2
    return 1
}

find_window() { xdotool search --name "^$1\$" 2>/dev/null | head -1; }

# The helper built beside the setup program, or compiled here.
CTL=$(dirname "$SETUP")/e2ectl.exe
if [ ! -f "$CTL" ]; then
    CTL=$(mktemp -d /tmp/velmorra-shots.XXXXXX)/e2ectl.exe
    i686-w64-mingw32-g++ -std=c++20 -municode -O1 -static -o "$CTL" "$ROOT/tests/e2e/tools/e2ectl.cpp" \
        -lole32 -luuid -lshell32
fi
source "$ROOT/scripts/page-titles.sh"
# True while the wizard shows the page's title.
on_page() { wine "$CTL" waitlabel "$TITLE" "${PAGE_TITLES[$1]}" "${2:-0}" >/dev/null 2>&1; }

# A fingerprint of the title strip (left of the small logo): it changes with every page.
# Empty while the window cannot be read yet (not mapped).
title_hash() {
    local picture
    picture=$(import -window "$WIZARD" -crop 430x44+1+1 +repage png:- 2>/dev/null | base64 -w0) || true
    [ -n "$picture" ] && echo "$picture" | md5sum | cut -d' ' -f1
    return 0
}

# Waits until the wizard shows the page's title, then until its title strip is painted and steady.
wait_page() {
    local now i
    on_page "$1" 30 || { echo "screenshots: page $1 was not shown" >&2; return 1; }
    for i in $(seq 300); do
        now=$(title_hash)
        if [ -n "$now" ] && [ "$now" = "$(title_hash)" ]; then return 0; fi
        sleep 0.1
    done
    echo "screenshots: page $1 was not painted" >&2
    return 1
}

# Prints something once the installing page names a component (its label is no longer plain).
component_shown() {
    local spread
    spread=$(import -window "$WIZARD" -crop 283x13+197+215 +repage -format '%[fx:standard_deviation]' info: 2>/dev/null)
    [ -n "$spread" ] && [ "$spread" != "0" ] && echo yes
}

shoot() { import -window "$1" "$OUT/$2.png"; echo "saved docs/screenshots/$2.png"; }

press() { xdotool key --window "$WIZARD" "$@"; }

cd "$(dirname "$SETUP")"
wine "$SETUP" >/dev/null 2>&1 &
SETUP_PID=$!
WIZARD=$(wait_for find_window "$TITLE")
wait_page 0
shoot "$WIZARD" page0

# Alt+S is "&Suite >" whatever has the focus.
for page in 1 2 3 4; do
    press alt+s
    wait_page "$page"
    shoot "$WIZARD" "page$page"
done

# Next and at once Esc: the confirmation holds the worker on the installing page.
press alt+s Escape
DIALOG=$(wait_for find_window "Confirmation")
# Side by side, so that neither covers the other in its picture.
xdotool windowmove "$WIZARD" 0 0
xdotool windowmove "$DIALOG" 520 380
wait_page 5
shoot "$WIZARD" page5
shoot "$DIALOG" cancel-question

xdotool key --window "$DIALOG" Escape   # "Non": the installation goes on
# A better picture of the installing page, with its progress, if the copy is not done yet.
for i in $(seq 50); do
    on_page 5 || break
    if [ -n "$(component_shown)" ]; then
        import -window "$WIZARD" /tmp/velmorra-page5.$$.png
        on_page 5 && mv /tmp/velmorra-page5.$$.png "$OUT/page5.png"
        rm -f /tmp/velmorra-page5.$$.png
        break
    fi
done
wait_page 6
shoot "$WIZARD" page6

press alt+s
wait_page 7
shoot "$WIZARD" page7
