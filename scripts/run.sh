#!/usr/bin/env bash
# Builds the setup program and runs it under Wine.
#
# With a display, the setup program opens there, in the Wine prefix build/wineprefix (kept from
# run to run, like a machine on which it is run again). Without one, it runs on a private Xvfb
# in a fresh prefix: once its window is up, a screenshot is saved to build/screenshot.png and
# the program is ended; then the whole road (every page, an installation, the cancel question)
# is walked by scripts/screenshots.sh into build/screenshots/, at 96 DPI and again with the
# screen at 144 and 192 DPI (page0-144dpi.png...).
#
# VELMORRA_PAYLOAD_DIR=<folder> builds a setup program that installs that folder. Where Wine
# cannot run 32-bit programs (or with VELMORRA_FORCE_X64=1), the x64 twin (build/win64) runs.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
TITLE="Installation du traitement de texte Velmorra"
TIMEOUT=${VELMORRA_RUN_TIMEOUT:-60}

bash scripts/install-deps.sh
source scripts/wine-env.sh
wine_env_probe_arch
tree=win
if [ "$VELMORRA_WIN_ARCH" = 64 ]; then
    tree=win64
    echo "run: this machine cannot run 32-bit programs; running the x64 twin, build/win64"
fi
EXE=$ROOT/build/$tree/VelmorraSetup.exe
bash scripts/build.sh "$tree" || true
if [ ! -f "$EXE" ]; then
    echo "run: $EXE could not be built; see build/logs/$tree.log" >&2
    exit 1
fi
trap wine_env_cleanup EXIT

if [ -n "${DISPLAY:-}" ]; then
    prefix=$ROOT/build/wineprefix
    [ "$tree" = win64 ] && prefix=$ROOT/build/wineprefix64
    wine_env_init "$prefix"
    echo "run: starting VelmorraSetup.exe on $DISPLAY"
    wine "$EXE"
    exit 0
fi

wine_env_init
echo "run: no display; running VelmorraSetup.exe on Xvfb $DISPLAY"
wine "$EXE" >build/logs/run-wine.log 2>&1 &
pid=$!

window=
for _ in $(seq $((TIMEOUT * 5))); do
    window=$(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done

shot=$ROOT/build/screenshot.png
if [ -z "$window" ]; then
    import -window root "$shot" 2>/dev/null || true
    echo "run: the setup window did not appear within $TIMEOUT s (screen saved to $shot)" >&2
    tail -n 20 build/logs/run-wine.log >&2 || true
    kill "$pid" 2>/dev/null || true
    exit 1
fi

# Let the page paint before the picture is taken.
sleep 1
import -window root "$shot"
echo "run: the setup window is up; screenshot: $shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

echo "run: walking every page of the wizard..."
wine_env_cleanup
trap - EXIT
unset DISPLAY   # that Xvfb is gone; the walk starts its own
if VELMORRA_SHOTS_DIR=$ROOT/build/screenshots bash scripts/screenshots.sh "$EXE" >build/logs/run-road.log 2>&1; then
    echo "run: screenshots of the whole road:"
    ls "$ROOT"/build/screenshots/*.png | sed 's/^/  /'
else
    echo "run: the walk through the pages failed; see build/logs/run-road.log" >&2
    exit 1
fi
