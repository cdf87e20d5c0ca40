#!/usr/bin/env bash
# Walks the built setup program page by page under Wine and Xvfb and saves a picture of
# each page, and of the cancel confirmation, in docs/screenshots/; then again with the screen
# at 144 and at 192 DPI (150 and 200 % scaling), as page0-144dpi.png, cancel-question-192dpi.png...
#
#   scripts/screenshots.sh [path/to/VelmorraSetup.exe]   (default: build/win/VelmorraSetup.exe, or
#   the x64 twin's where Wine runs no 32-bit program)
#   VELMORRA_SHOTS_DIR=<folder> saves them there instead.
#   VELMORRA_SHOTS_DPIS="96 144" walks at those DPIs only (96: the plain names).
#
# Each picture waits until the wizard shows the title of the page it is named for (read from
# outside by the end-to-end tests' helper) and its title strip is steady on screen, instead of
# sleeping a fixed time. The installation is held on its page by the cancel confirmation,
# which is answered "Non" once both pictures are taken.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/wine-env.sh
source "$ROOT/scripts/wine-env.sh"
wine_env_probe_arch
default_tree=win
[ "$VELMORRA_WIN_ARCH" = 64 ] && default_tree=win64
SETUP=${1:-$ROOT/build/$default_tree/VelmorraSetup.exe}
OUT=${VELMORRA_SHOTS_DIR:-$ROOT/docs/screenshots}
TITLE="Installation du traitement de texte Velmorra"

[ -f "$SETUP" ] || { echo "screenshots: $SETUP not found (build the Windows tree first)" >&2; exit 1; }
mkdir -p "$OUT"

DPIS=${VELMORRA_SHOTS_DPIS:-96 144 192}

# A screen large enough for the wizard and its question side by side at 200 %.
OWN_XVFB=
if [ -z "${DISPLAY:-}" ]; then
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 2048x1280x24 -nolisten tcp >/dev/null 2>&1 &
    OWN_XVFB=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
wine_env_init
SETUP_PID=
cleanup() {
    [ -n "$SETUP_PID" ] && kill "$SETUP_PID" 2>/dev/null || true
    wine_env_cleanup
    [ -n "$OWN_XVFB" ] && kill "$OWN_XVFB" 2>/dev/null || true
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
    cxx=i686-w64-mingw32-g++
    file -b "$SETUP" | grep -q x86-64 && cxx=x86_64-w64-mingw32-g++
    "$cxx" -std=c++20 -municode -O1 -static -o "$CTL" "$ROOT/tests/e2e/tools/e2ectl.cpp" \
        -lole32 -luuid -lshell32
fi
source "$ROOT/scripts/page-titles.sh"
# True while the wizard shows the page's title.
on_page() { wine "$CTL" waitlabel "$TITLE" "${PAGE_TITLES[$1]}" "${2:-0}" >/dev/null 2>&1; }

# A length in the wizard's pixels at 96 DPI, at the DPI of this walk.
at() { echo $(( ($1 * DPI + 48) / 96 )); }

# A fingerprint of the title strip (left of the small logo): it changes with every page.
# Empty while the window cannot be read yet (not mapped).
title_hash() {
    local picture
    picture=$(import -window "$WIZARD" -crop "$(at 430)x$(at 44)+1+1" +repage png:- 2>/dev/null | base64 -w0) || true
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
    spread=$(import -window "$WIZARD" -crop "$(at 283)x$(at 13)+$(at 197)+$(at 215)" +repage \
             -format '%[fx:standard_deviation]' info: 2>/dev/null)
    [ -n "$spread" ] && [ "$spread" != "0" ] && echo yes
}

shoot() { import -window "$1" "$OUT/$2$SUFFIX.png"; echo "saved $OUT/$2$SUFFIX.png"; }

press() { xdotool key --window "$WIZARD" "$@"; }

# One walk through every page, in the prefix as it is.
walk() {
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
    xdotool windowmove "$DIALOG" "$(at 520)" "$(at 380)"
    wait_page 5
    shoot "$WIZARD" page5
    shoot "$DIALOG" cancel-question

    xdotool key --window "$DIALOG" Escape   # "Non": the installation goes on
    # A better picture of the installing page, with its progress, if the copy is not done yet.
    for i in $(seq 50); do
        on_page 5 || break
        if [ -n "$(component_shown)" ]; then
            import -window "$WIZARD" /tmp/velmorra-page5.$$.png
            on_page 5 && mv /tmp/velmorra-page5.$$.png "$OUT/page5$SUFFIX.png"
            rm -f /tmp/velmorra-page5.$$.png
            break
        fi
    done
    wait_page 6
    shoot "$WIZARD" page6

    press alt+s
    wait_page 7
    shoot "$WIZARD" page7
}

cd "$(dirname "$SETUP")"
first=1
for DPI in $DPIS; do
    SUFFIX=
    [ "$DPI" = 96 ] || SUFFIX=-${DPI}dpi
    if [ -z "$first" ]; then
        kill "$SETUP_PID" 2>/dev/null || true
        wait "$SETUP_PID" 2>/dev/null || true
        wine_env_new_prefix   # a machine that has not seen the setup program yet
    fi
    first=
    # What Windows' display scaling sets; Wine reads it when a program starts.
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null 2>&1
    walk
done
