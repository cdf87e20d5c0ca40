#!/usr/bin/env bash
# The setup program on Windows NT 4.0 and on Windows 98, as Wine plays them: exactly the
# refusal message, dismissed with Enter, then a normal end having written nothing (no new file,
# no new registry key, no temporary file). As a control, on Windows 2000, XP, 7 and 10 the same
# program goes past the check: no message box, and its window comes up. A copy damaged in the
# middle of its archive, as a broken download is, ends the same way with the French text that
# says so: the error is thrown deep in the archive reader and caught at start-up.
#
#   tests/checks/refusal.sh [path/to/VelmorraSetup.exe]      default: build/win/VelmorraSetup.exe
#
# Each case runs in a fresh Wine prefix under Xvfb (scripts/wine-env.sh).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(readlink -f "${1:-$here/../../build/win/VelmorraSetup.exe}")
[ -f "$exe" ] || { echo "no file $exe" >&2; exit 2; }
source "$here/../../scripts/wine-env.sh"
# Old Windows and their refusal concern the 32-bit program only.
wine_env_probe_arch
[ "$VELMORRA_WIN_ARCH" = 32 ] || { echo "skipped: this machine cannot run 32-bit programs"; exit 77; }
trap wine_env_cleanup EXIT
wine_env_init || exit 2

# WINEDEBUG=trace+msgbox prints each message box's text, UTF-16 escaped, on stderr.
refusal='L"Ce programme n\00e9cessite Windows 2000 ou un syst\00e8me Windows plus r\00e9cent."'
damaged_text="L\"Les fichiers \00e0 installer sont endommag\00e9s dans ce programme d'installation.\rVeuillez t\00e9l\00e9charger \00e0 nouveau le programme d'installation.\""
title='Installation du traitement de texte Velmorra'
work=$(mktemp -d /tmp/velmorra-refusal.XXXXXX)
failures=0
case_name=

fail() {
    echo "FAIL [$case_name]: $*" >&2
    failures=$((failures + 1))
}

# Waits up to $1 seconds for the command to succeed.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.2
    done
}

running() { kill -0 "$setup_pid" 2>/dev/null; }
ended() { ! running; }
shown_boxes() { grep -a 'trace:msgbox:MSGBOX_OnInit' "$log" | sed 's/^.*MSGBOX_OnInit //'; }
has_box() { [ -n "$(shown_boxes)" ]; }
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window_named "$1")" ]; }
# Enter on the message box; true once the program has ended.
dismiss_box() {
    local box
    box=$(window_named "^$caption\$")
    [ -n "$box" ] && xdotool windowfocus --sync "$box" key Return >/dev/null 2>&1
    wait_for 2 ended
}

# Every file of the prefix (Wine's hive files aside) and every registry key name: Wine itself
# rewrites its hives with new time stamps on every run, but adds no key of its own.
snapshot() {
    (cd "$WINEPREFIX" && find . -path ./dosdevices -prune -o ! -name '*.reg' -print | sort)
    local hive
    for hive in user.reg system.reg; do
        grep -a '^\[' "$WINEPREFIX/$hive" | sed 's/\] [0-9]*$/]/' | sort
    done
}

# prepare CASE WINDOWS-VERSION [PROGRAM]
prepare() {
    case_name=$1
    wine_env_new_prefix || { fail "no Wine prefix"; return 1; }
    wine reg add 'HKCU\Software\Wine\AppDefaults\VelmorraSetup.exe' /v Version /d "$2" /f >/dev/null 2>&1
    wineserver -w
    log=$work/$1.log
    snapshot >"$work/$1.before"
    : >"$log"
    WINEDEBUG=trace+msgbox wine "${3:-$exe}" 2>"$log" &
    setup_pid=$!
}

# refused_on CASE WINDOWS-VERSION [PROGRAM]; the message is $expected, captioned $caption.
refused_on() {
    prepare "$@" || return
    if ! wait_for 60 has_box; then
        fail "no message box within 60 s"
    elif ! wait_for 20 has_window "^$caption\$"; then
        fail "the message box has no window captioned $caption"
    else
        wait_for 20 dismiss_box
    fi
    if ! wait_for 10 ended; then
        fail "still running after the message was dismissed"
        wineserver -k
    fi
    wait "$setup_pid"
    local code=$?
    wineserver -w
    [ $code -eq "$exit_code" ] || fail "exit code $code"

    local boxes
    boxes=$(shown_boxes)
    [ "$boxes" = "$expected" ] || fail "message boxes shown: ${boxes:-none}"
    snapshot >"$work/$1.after"
    diff "$work/$1.before" "$work/$1.after" >"$work/$1.diff" || fail "made: $(tr '\n' ' ' <"$work/$1.diff")"
    grep -aqi 'Velmorra Word Processor' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" &&
        fail "a \"Velmorra Word Processor\" registry key exists"
    local temp
    temp=$(find "$WINEPREFIX/drive_c" -name '~InstallationdutraitementdetexteVelmorra*' | head -3)
    [ -z "$temp" ] && return
    fail "temporary files: $temp"
}

goes_on_on() {
    prepare "$1" "$1" || return
    wait_for 60 has_window "^$title\$" || fail "no window titled \"$title\" within 60 s"
    local boxes
    boxes=$(shown_boxes)
    [ -z "$boxes" ] || fail "message boxes shown: $boxes"
    wineserver -k
    wait "$setup_pid" 2>/dev/null
}

# No caption given: the system's own. Exit codes as Wine passes them on, their low byte:
# 1150 (systemNotSupported) and 1603 (any other failure).
expected=$refusal caption=Error exit_code=126
refused_on nt40 nt40
refused_on win98 win98
for version in win2k winxp win7 win10; do
    goes_on_on $version
done

# One byte of the archive's middle turned over: inflating it fails.
archive=$(dirname "$exe")/files.bin
damaged=$work/damaged/VelmorraSetup.exe
mkdir -p "$(dirname "$damaged")"
if python3 - "$exe" "$archive" "$damaged" <<'PY'; then
import sys
program, archive = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
at = program.find(archive)
if at < 0:
    sys.exit("the archive is not in the program")
damaged = bytearray(program)
damaged[at + len(archive) // 2] ^= 0xff
open(sys.argv[3], 'wb').write(damaged)
PY
    expected=$damaged_text caption=$title exit_code=67
    refused_on damaged win10 "$damaged"
else
    case_name=damaged
    fail "no damaged copy made"
fi

rm -rf "$work"
if [ $failures -ne 0 ]; then
    echo "refusal: $failures failure(s)" >&2
    exit 1
fi
echo "refusal: NT 4.0 and 98 refused with nothing written; Windows 2000, XP, 7 and 10 go on; a damaged copy says so"
