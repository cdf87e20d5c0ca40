# Wine set-up shared by the scripts and the tests that run Windows programs. Source it:
#
#   source scripts/wine-env.sh
#   wine_env_init              # display + fresh prefix; or: wine_env_init /path/to/prefix
#   trap wine_env_cleanup EXIT
#   wine build/win/VelmorraSetup.exe
#
# wine_env_init exports DISPLAY (starting Xvfb when there is none), WINEPREFIX, WINEDEBUG=-all
# and WINEDLLOVERRIDES (no Mono or Gecko prompts). Without an argument the prefix is new and
# empty of any earlier run, copied from a template made once by wineboot (build/wine-template-<arch>),
# which keeps each fresh prefix to a second or two. With an argument, that prefix is used and
# made if missing. wine_env_cleanup ends the prefix's wineserver, the Xvfb it started and
# removes a prefix it made. wine_env_new_prefix swaps in another fresh prefix.
# WINE_ENV_ROOT (the repository) and WINE_ENV_TEMPLATE (the template prefix) can be preset.
#
# wine_env_probe_arch sets VELMORRA_WIN_ARCH to 32 when Wine here runs 32-bit Windows programs,
# or to 64 when it runs only 64-bit ones (some machines cannot execute 32-bit x86 code at all);
# the scripts then use the product's x64 twin in 64-bit prefixes. VELMORRA_FORCE_X64=1 answers 64.
# There "wine", and Wine's own tools (wineboot), start the 64-bit loader (build/wine-shim).

WINE_ENV_ROOT=${WINE_ENV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# Debian's "wine" starts the 32-bit loader whenever wine32 is installed, and a machine that
# cannot execute 32-bit code answers "Exec format error" before Wine has begun: where only
# 64-bit programs run, "wine" and "wine-stable" (which wineboot and the other tools call) start
# the 64-bit loader instead. WINELOADER makes the programs Wine starts use it too.
wine_env_use_64bit_loader() {
    local loader shim=$WINE_ENV_ROOT/build/wine-shim name
    loader=$(command -v wine64 2>/dev/null) || loader=/usr/lib/wine/wine64
    [ -x "$loader" ] || return 0
    mkdir -p "$shim"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$loader" "$loader" >"$shim/$name.$$"
        chmod +x "$shim/$name.$$"
        mv -f "$shim/$name.$$" "$shim/$name"
    done
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH=$shim:$PATH ;; esac
}
# A 32-bit Windows (as 2000 or XP) unless told otherwise; WINEARCH=win64 gives a 64-bit one,
# where the setup sees "Program Files (x86)" and Wow6432Node. Each has its own template.
# Where only 64-bit programs run (VELMORRA_WIN_ARCH=64), every prefix is a 64-bit one.
if [ "${VELMORRA_WIN_ARCH:-}" = 64 ]; then
    export WINEARCH=win64
    wine_env_use_64bit_loader
fi
export WINEARCH=${WINEARCH:-win32}
WINE_ENV_TEMPLATE_GIVEN=${WINE_ENV_TEMPLATE:-}
# The template of the prefix's architecture, unless one was given.
wine_env_template_dir() { printf '%s' "${WINE_ENV_TEMPLATE_GIVEN:-$WINE_ENV_ROOT/build/wine-template-$WINEARCH}"; }
WINE_ENV_XVFB_PID=
WINE_ENV_OWN_PREFIX=
WINE_ENV_PREFIX=

export WINEDEBUG=${WINEDEBUG:--all}

# Asks once, by starting a tiny 32-bit program in the 64-bit template prefix (64-bit Wine runs
# everywhere; the program writes nothing there).
wine_env_probe_arch() {
    [ -n "${VELMORRA_WIN_ARCH:-}" ] && return 0
    VELMORRA_WIN_ARCH=64
    if [ "${VELMORRA_FORCE_X64:-0}" != 1 ]; then
        local dir template=$WINE_ENV_ROOT/build/wine-template-win64
        dir=$(mktemp -d /tmp/velmorra-probe.XXXXXX)
        printf 'int main(void) { return 32; }\n' >"$dir/probe.c"
        if i686-w64-mingw32-gcc -O1 -s -o "$dir/probe.exe" "$dir/probe.c" 2>/dev/null &&
            (wine_env_use_64bit_loader && WINEARCH=win64 WINE_ENV_TEMPLATE_GIVEN=$template wine_env_template); then
            # (Its status is the answer: scripts that stop at a failing command go on.)
            local status=0
            WINEARCH=win64 WINEPREFIX=$template timeout 60 wine "$dir/probe.exe" >/dev/null 2>&1 || status=$?
            [ "$status" = 32 ] && VELMORRA_WIN_ARCH=32
            WINEPREFIX=$template wineserver -w
        fi
        rm -rf "$dir"
    fi
    export VELMORRA_WIN_ARCH
    # A 32-bit prefix runs nothing on such a machine.
    if [ "$VELMORRA_WIN_ARCH" = 64 ]; then
        export WINEARCH=win64
        wine_env_use_64bit_loader
    fi
    return 0
}
# No Mono or Gecko prompts, and no desktop menu entries written into the real home folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Starts Xvfb on a free display when no display is set.
wine_env_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "wine-env: Xvfb did not start on $DISPLAY" >&2
    return 1
}

# Makes a prefix with wineboot and waits until Wine has finished setting it up.
wine_env_boot() {
    mkdir -p "$1"
    WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$1" wineserver -w
}

wine_env_template() {
    local WINE_ENV_TEMPLATE
    WINE_ENV_TEMPLATE=$(wine_env_template_dir)
    [ -f "$WINE_ENV_TEMPLATE/system.reg" ] && return 0
    local tmp="$WINE_ENV_TEMPLATE.tmp.$$"
    rm -rf "$tmp"
    wine_env_boot "$tmp" || { rm -rf "$tmp"; return 1; }
    # Wine draws the window frames itself: there is no window manager on Xvfb, and the
    # caption, icon and close box belong in the pictures.
    WINEPREFIX="$tmp" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    WINEPREFIX="$tmp" wineserver -w
    WINEPREFIX="$tmp" wineserver -k >/dev/null 2>&1 || true
    # Left half-made by an interrupted run: replace it. Made meanwhile by another run: keep it.
    [ -f "$WINE_ENV_TEMPLATE/system.reg" ] || rm -rf "$WINE_ENV_TEMPLATE"
    mkdir -p "$(dirname "$WINE_ENV_TEMPLATE")"
    mv -T "$tmp" "$WINE_ENV_TEMPLATE" 2>/dev/null || rm -rf "$tmp"
}

wine_env_new_prefix() {
    wine_env_drop_prefix
    wine_env_template || return 1
    WINE_ENV_OWN_PREFIX=$(mktemp -d /tmp/velmorra-wine.XXXXXX)
    cp -a "$(wine_env_template_dir)/." "$WINE_ENV_OWN_PREFIX/"
    WINE_ENV_PREFIX=$WINE_ENV_OWN_PREFIX
    export WINEPREFIX=$WINE_ENV_PREFIX
}

wine_env_drop_prefix() {
    # Only a prefix of ours: never someone's own Wine session.
    if [ -n "$WINE_ENV_PREFIX" ] && [ -d "$WINE_ENV_PREFIX" ]; then
        WINEPREFIX=$WINE_ENV_PREFIX wineserver -k >/dev/null 2>&1 || true
    fi
    WINE_ENV_PREFIX=
    if [ -n "$WINE_ENV_OWN_PREFIX" ]; then
        rm -rf "$WINE_ENV_OWN_PREFIX"
        WINE_ENV_OWN_PREFIX=
    fi
}

wine_env_init() {
    wine_env_display || return 1
    if [ -n "${1:-}" ]; then
        WINE_ENV_PREFIX=$1
        export WINEPREFIX=$1
        [ -f "$WINEPREFIX/system.reg" ] || wine_env_boot "$WINEPREFIX" || return 1
    else
        wine_env_new_prefix || return 1
    fi
}

wine_env_cleanup() {
    wine_env_drop_prefix
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=
    fi
}
