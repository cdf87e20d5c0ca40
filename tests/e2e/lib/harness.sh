# shellcheck shell=bash
# Shared harness of the end-to-end scripts: the built VelmorraSetup.exe driven from outside under
# Wine and Xvfb, each scenario in a fresh prefix copied from one made once by wineboot.
#
#   source "$(dirname "$0")/lib/harness.sh"
#   e2e_begin normal-install          # display, fresh prefix, the helper; cleanup on exit
#   setup_start; next_to_page 4 ...   # drive the wizard
#   check_eq "$got" "$want" "what"    # soft checks pile up; need/die stop the scenario
#   e2e_end                           # prints "PASS name" or the failures, exits 0 or 1
#
# Run one scenario with `bash tests/e2e/01-normal-install.sh` once `bash scripts/build.sh win` has
# built the product; scripts/test.sh runs them all. VELMORRA_E2E_BUILD: the Windows build tree
# holding VelmorraSetup.exe, payload/ and e2ectl.exe (default build/win); the helper is compiled
# into the scenario's work folder when the tree lacks it. On failure the screen and the wizard's
# controls are saved under build/logs/e2e/ (E2E_ARTIFACTS).

set -uo pipefail

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$E2E_ROOT/scripts/wine-env.sh"
# Where Wine runs no 32-bit program, the scenarios run the x64 twin in 64-bit prefixes.
wine_env_probe_arch
E2E_DEFAULT_BUILD=$E2E_ROOT/build/win
[ "$VELMORRA_WIN_ARCH" = 64 ] && E2E_DEFAULT_BUILD=$E2E_ROOT/build/win64
E2E_BUILD=$(cd "${VELMORRA_E2E_BUILD:-$E2E_DEFAULT_BUILD}" 2>/dev/null && pwd) || E2E_BUILD=${VELMORRA_E2E_BUILD:-$E2E_DEFAULT_BUILD}
SETUP_EXE=$E2E_BUILD/VelmorraSetup.exe
PAYLOAD=$E2E_BUILD/payload
# Which build this is, read from the program itself: 32 or 64, and its compiler for helpers.
SETUP_BITS=32
file -b "$SETUP_EXE" 2>/dev/null | grep -q 'x86-64' && SETUP_BITS=64
E2E_CC=i686-w64-mingw32-gcc
[ "$SETUP_BITS" = 64 ] && E2E_CC=x86_64-w64-mingw32-gcc
if [ "$E2E_BUILD" = "$E2E_ROOT/build/win" ]; then
    E2E_ARTIFACTS=${E2E_ARTIFACTS:-$E2E_ROOT/build/logs/e2e}
else
    E2E_ARTIFACTS=${E2E_ARTIFACTS:-$E2E_BUILD/e2e-logs}
fi
WIZARD='Installation du traitement de texte Velmorra'

source "$E2E_ROOT/scripts/page-titles.sh"
NEXT='&Suite >'
BACK='< &Retour'
CANCEL='Annuler'
FINISH='&Terminer'
LINK_NAME='Traitement de texte Velmorra.lnk'
LINK_DESC='Traitement de texte compact, rapide, puissant, et par dessus tout pratique.'
VELMORRA_INI=$'[\\Software\\Velmorra Word Processor\\Sounds\\General Settings]\r\nSoundScheme=Basic.asn'
INSTALL_KEY='Software\Velmorra Word Processor\Install'
INTERNAL_KEY='Software\Velmorra Word Processor\Internal'
UNINSTALL_KEY='Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmorra Word Processor'

E2E_NAME=
E2E_WORK=
E2E_FAILURES=0
E2E_CTL=
SETUP_PID=
SETUP_RUNS=0

# --- outcome

fail() {
    echo "FAIL $E2E_NAME: $*"
    E2E_FAILURES=$((E2E_FAILURES + 1))
    return 1
}

# Ends the scenario at once: what follows depends on this step.
die() {
    fail "$@"
    e2e_save_evidence
    exit 1
}

need() {  # command... ; message from the last argument
    local message=${*: -1}
    "${@:1:$#-1}" || die "$message"
}

check() {  # message command...
    local message=$1
    shift
    "$@" || fail "$message"
}

check_eq() {  # got want what
    [ "$1" == "$2" ] && return 0
    if [[ "$1$2" == *$'\n'* ]]; then
        fail "$3 differ (- want, + got):"$'\n'"$(diff <(echo "$2") <(echo "$1") | grep '^[<>]' | sed 's/^</     -/; s/^>/     +/' | head -n 20)"
    else
        fail "$3: got '$1', want '$2'"
    fi
}

e2e_end() {
    if [ "$E2E_FAILURES" -eq 0 ]; then
        echo "PASS $E2E_NAME"
        exit 0
    fi
    e2e_save_evidence
    exit 1
}

# For a scenario that only means something for the 32-bit program (it on a 64-bit Windows,
# or in a 32-bit prefix): counted as skipped where Wine cannot run it.
e2e_needs_32bit() {
    [ "$VELMORRA_WIN_ARCH" = 32 ] && return 0
    echo "skipped: this machine cannot run 32-bit programs"
    exit 77
}

e2e_save_evidence() {
    [ -n "${DISPLAY:-}" ] || return 0
    mkdir -p "$E2E_ARTIFACTS" 2>/dev/null || return 0
    import -window root "$E2E_ARTIFACTS/$E2E_NAME.png" >/dev/null 2>&1 || true
    [ -n "$E2E_CTL" ] && ctl state "$WIZARD" >"$E2E_ARTIFACTS/$E2E_NAME.controls.txt" 2>/dev/null
    # What Wine printed for each run of the setup program, and whether the last one still runs.
    local log
    for log in "$E2E_WORK"/setup-*.log; do
        [ -f "$log" ] && cp "$log" "$E2E_ARTIFACTS/$E2E_NAME.${log##*/}"
    done
    [ -n "$SETUP_PID" ] && kill -0 "$SETUP_PID" 2>/dev/null && echo "   (the setup program was still running)"
    echo "   (screen, controls and Wine's output saved in $E2E_ARTIFACTS/$E2E_NAME.*)"
}

# --- set-up and tear-down

e2e_begin() {
    E2E_NAME=$1
    E2E_START=$SECONDS
    [ -f "$SETUP_EXE" ] || { echo "FAIL $E2E_NAME: no $SETUP_EXE (build it: bash scripts/build.sh win)"; exit 1; }
    [ -d "$PAYLOAD" ] || { echo "FAIL $E2E_NAME: no demo payload in $PAYLOAD"; exit 1; }
    E2E_WORK=$(mktemp -d /tmp/velmorra-e2e.XXXXXX)
    trap e2e_cleanup EXIT
    e2e_helper || { echo "FAIL $E2E_NAME: the helper e2ectl.exe could not be built"; exit 1; }
    # A private screen: key presses must not reach a developer's desktop.
    unset DISPLAY
    wine_env_display || { echo "FAIL $E2E_NAME: no display"; exit 1; }
    new_prefix
}

e2e_cleanup() {
    [ -n "$SETUP_PID" ] && kill "$SETUP_PID" 2>/dev/null
    wine_env_cleanup
    [ -n "$E2E_WORK" ] && rm -rf "$E2E_WORK"
    echo "   ($E2E_NAME: $((SECONDS - E2E_START)) s)"
}

e2e_helper() {
    E2E_CTL=$E2E_BUILD/e2ectl.exe
    [ -f "$E2E_CTL" ] && return 0
    E2E_CTL=$E2E_WORK/e2ectl.exe
    "${E2E_CC%gcc}g++" -std=c++20 -municode -O1 -static -o "$E2E_CTL" \
        "$E2E_ROOT/tests/e2e/tools/e2ectl.cpp" -lole32 -luuid -lshell32
}

# A fresh prefix, its user folders made real folders: Wine links them to the Unix home, where
# a test must not leave shortcuts.
new_prefix() {
    wine_env_new_prefix || die "no Wine prefix"
    local link
    while IFS= read -r link; do
        rm -f "$link" && mkdir -p "$link"
    done < <(find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type l -lname '/*')
    PREFIX_WIN64=0
    [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && PREFIX_WIN64=1
    # The 32-bit program on a 64-bit Windows: its machine-wide keys go under Wow6432Node.
    SETUP_WOW64=0
    [ "$PREFIX_WIN64$SETUP_BITS" = 132 ] && SETUP_WOW64=1
    return 0
}

# The helper; its complaints go to stderr, Wine's own messages are dropped.
# Wine's chatter is dropped; when the tool fails without saying why (Wine did not run it, or it
# died), Wine's last lines are kept in the log, and a command that changes nothing, or only
# sets a state it first reads, is run once more.
ctl() {
    local err rc try
    err=$(mktemp "${E2E_WORK:-/tmp}/ctl.XXXXXX")
    for try in 1 2; do
        wine "$E2E_CTL" "$@" 2>"$err"
        rc=$?
        grep '^e2ectl:' "$err" >&2
        [ $rc -eq 0 ] || grep -q '^e2ectl:' "$err" && break
        echo "   (e2ectl $1 ended with $rc and said nothing; Wine said:)" >&2
        grep -v ':fixme:' "$err" | tail -n 3 | sed 's/^/   | /' >&2
        case $1 in wait|gone|state|gettext|check|waitlabel|prop|rows|lnk|reg|folder|drive) ;; *) break ;; esac
    done
    rm -f "$err"
    return $rc
}

# Declares a drive letter backed by a folder, of the type Wine is told ("floppy": removable,
# "hd": fixed), and checks that the programs see it so (Wine reads the 64-bit view).
declare_drive() {  # letter type folder
    local letter=$1 type=$2 folder=$3 view=()
    local -A number=([floppy]=2 [hd]=3)
    mkdir -p "$folder"
    ln -sfn "$folder" "$WINEPREFIX/dosdevices/${letter,,}:"
    [ "$PREFIX_WIN64" -eq 1 ] && view=(/reg:64)
    wine reg add 'HKLM\Software\Wine\Drives' /v "${letter,,}:" /d "$type" /f "${view[@]}" >/dev/null 2>&1
    wineserver -k
    wineserver -w
    [ "$(ctl drive "${letter^^}:\\" | tr -d '\r')" = "${number[$type]}" ] ||
        die "Wine does not report ${letter^^}: as a drive of type $type"
}

# --- paths

# "C:\dir\file" as a path on this machine.
unix_path() {
    local win=$1 drive rest
    drive=$(printf '%s' "${win:0:1}" | tr 'A-Z' 'a-z')
    rest=${win:2}
    rest=${rest//\\//}
    printf '%s' "$WINEPREFIX/dosdevices/$drive:$rest"
}

special_folder() { ctl folder "$1" | tr -d '\r'; }

# --- the setup program

setup_start() {  # arguments of the setup program
    local attempt
    for attempt in 1 2; do
        SETUP_RUNS=$((SETUP_RUNS + 1))
        SETUP_LOG=$E2E_WORK/setup-$SETUP_RUNS.log
        wine "$SETUP_EXE" "$@" >"$SETUP_LOG" 2>&1 &
        SETUP_PID=$!
        ctl wait "$WIZARD" 60 && break
        # Wine's own failure, before the program's first instruction: the loader lost its
        # wineserver while connecting (seen in about one full test run in three). Once only.
        if [ "$attempt" = 1 ] && ! kill -0 "$SETUP_PID" 2>/dev/null &&
            grep -q 'wine client error' "$SETUP_LOG"; then
            echo "   (Wine lost its wineserver while starting the setup program: started again)"
            continue
        fi
        die "the wizard did not come up"
    done
    wait_page 0
}

# The exit code of an abandoned wizard, 1602, as Wine passes it on: its low byte.
ABANDONED=66
ALREADY_RUNNING=82   # 1618

# Waits for the setup program to end with that exit code (default 0).
setup_wait_exit() {  # [seconds] [code]
    local deadline=$((SECONDS + ${1:-30}))
    while kill -0 "$SETUP_PID" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && die "the setup program is still running"
        sleep 0.1
    done
    wait "$SETUP_PID"
    local code=$?
    SETUP_PID=
    check_eq "$code" "${2:-0}" "exit code of the setup program"
}

# Waits until the setup program and everything it started have ended and Wine has written
# its registry files. Fails when a program (a launched word processor) is still running.
wine_idle() {
    timeout "${1:-30}" wineserver -w || fail "programs still running in the prefix"
}

wait_page() {  # page [seconds]
    ctl waitlabel "$WIZARD" "${PAGE_TITLES[$1]}" "${2:-30}" >/dev/null && return
    # A wait that failed without seeing the window (see ctl) says nothing of it: the title does.
    local shown
    shown=$(page_title)
    [ "$shown" = "${PAGE_TITLES[$1]}" ] ||
        die "page $1 (\"${PAGE_TITLES[$1]}\") was not shown; shown: \"$shown\""
}

# The title of the page shown.
page_title() { ctl state "$WIZARD" | awk -F'\t' '$1 == "top" && $2 == "Static" { print $6; exit }'; }

press() {  # caption
    need ctl post "$WIZARD" "$1" "cannot press \"$1\" on page \"$(page_title)\""
}

# Presses Next from the page shown until the given page, waiting for each.
next_to_page() {  # from to
    local page
    for ((page = $1 + 1; page <= $2; page++)); do
        press "$NEXT"
        wait_page "$page"
    done
}

# From the ready page: installs, keeps the association boxes as they are and finishes
# without launching.
install_from_ready() {  # [seconds for the copy]
    press "$NEXT"
    wait_page 6 "${1:-30}"
    next_to_page 6 7
    finish_without_launch
}

# On the last page: ends the setup program without launching the word processor, and waits
# until Wine has settled.
finish_without_launch() {
    set_checkbox '&Lancer Traitement de texte Velmorra tout de suite' 0
    press "$FINISH"
    setup_wait_exit
    wine_idle
}

# The visible controls of the wizard: where, class, visible, enabled, checked, text.
controls() { ctl state "$WIZARD"; }

# The state of the visible check box with this caption: 1, 0, or "hidden".
checkbox() {
    local state
    state=$(controls | awk -F'\t' -v c="$1" '$2 == "Button" && $6 == c { print $5; exit }')
    printf '%s' "${state:-hidden}"
}

# 1 when the wizard's button is enabled, 0 when disabled, "hidden" when not shown.
button_enabled() {
    local state
    state=$(controls | awk -F'\t' -v c="$1" '$1 == "top" && $2 == "Button" && $6 == c { print $4; exit }')
    printf '%s' "${state:-hidden}"
}

set_checkbox() {  # caption 0|1
    need ctl check "$WIZARD" "$1" "$2" "cannot set \"$1\" to $2"
}

edit_text() { ctl gettext "$WIZARD" Edit; }

# The message dialog shown: caption=, button=..., text=... lines.
dialog_shown() { ctl dialog "${1:-30}" | tr -d '\r'; }

# Expects a message dialog of that caption, those buttons and that text (lines separated by \n).
expect_dialog() {  # caption "button|button" text what
    local got want
    got=$(dialog_shown) || die "$4: no message dialog"
    want=$(
        echo "caption=$1"
        tr '|' '\n' <<<"$2" | sed 's/^/button=/'
        printf '%s\n' "$3" | sed 's/^/text=/'
    )
    [ "$got" == "$want" ] && return 0
    fail "$4: the dialog differs"$'\n'"$(diff <(echo "$want") <(echo "$got") | sed 's/^/     /')"
}

answer() {  # button caption
    need ctl answer "$1" "cannot answer \"$1\""
}

# --- what the installation left

# Nothing, and false, when the key does not exist.
reg_values() {  # HKCU|HKLM key [64]
    ctl reg "$@" 2>/dev/null | tr -d '\r'
}

# One value, without its type.
reg_value() {  # HKCU|HKLM key name
    reg_values "$1" "$2" | sed -n "s/^$(sed 's/[][\.*^$/]/\\&/g' <<<"$3")=[a-z]*://p"
}

# Windows paths of the files under a folder (given as a Windows path), sorted.
files_under() {  # windows-folder
    (cd "$(unix_path "$1")" && find . -type f | sed 's|^\./||; s|/|\\|g') | while IFS= read -r name; do
        printf '%s\n' "$1\\$name"
    done | sort
}

# Where Wine keeps the local machine's uninstall key of the program.
uninstall_values() {
    if [ "$SETUP_WOW64" -eq 1 ]; then
        reg_values HKLM "Software\\Wow6432Node\\${UNINSTALL_KEY#Software\\}" 64
    else
        reg_values HKLM "$UNINSTALL_KEY"
    fi
}

# A text file of the program (Windows-1252) as UTF-8.
text_of() { iconv -f CP1252 -t UTF-8 "$1"; }

# True when every line of the file ends with CR LF (the last one too).
crlf_lines() {
    [ -s "$1" ] && [ "$(tail -c 2 "$1" | od -An -tx1 | tr -d ' \n')" = 0d0a ] &&
        ! tr -d '\r' <"$1" | cmp -s - "$1" && [ "$(grep -c $'\r$' "$1")" = "$(wc -l <"$1")" ]
}

# The lines that begin with the text, without it.
after_prefix() { P=$1 awk 'index($0, ENVIRON["P"]) == 1 { print substr($0, length(ENVIRON["P"]) + 1) }'; }

# Lines that occur more than once, letter case aside.
duplicate_lines() { tr -d '\r' <"$1" | tr 'a-z' 'A-Z' | sort | uniq -d; }

# Same bytes as the payload file, and its date at the archive's 2-second precision.
same_as_payload() {  # relative-name unix-path
    local source=$PAYLOAD/$1 target=$2 want got
    [ -f "$target" ] || { fail "missing ${target#$WINEPREFIX/}"; return 1; }
    cmp -s "$source" "$target" || { fail "${target#$WINEPREFIX/} differs from the payload's $1"; return 1; }
    want=$(stat -c %Y "$source")
    want=$((want - want % 2))
    got=$(stat -c %Y "$target")
    [ "$got" = "$want" ] || { fail "${target#$WINEPREFIX/}: date $(date -d "@$got" '+%F %T'), want $(date -d "@$want" '+%F %T')"; return 1; }
}

# Payload files by name, relative to the payload folder.
payload_files() { (cd "$PAYLOAD" && find . -type f | sed 's|^\./||' | sort); }

# The 8 bytes of a file as 16 upper-case hexadecimal digits, in file order.
hex_bytes() { od -An -tx1 -v "$1" | tr -d ' \n' | tr 'a-f' 'A-F'; }

# Days since 1899-12-30 in local time, now.
days_now() {
    local offset
    offset=$(date +%z)
    local sign=${offset:0:1} hours=$((10#${offset:1:2})) minutes=$((10#${offset:3:2}))
    local seconds=$(((hours * 60 + minutes) * 60))
    [ "$sign" = - ] && seconds=$((-seconds))
    awk -v t="$(date +%s)" -v o="$seconds" 'BEGIN { printf "%.6f", (t + o) / 86400 + 25569 }'
}

# True when the install stamp holds a date-time within a few minutes of the local time now.
stamp_is_now() {  # file
    local stamp now
    [ "$(stat -c %s "$1")" = 8 ] || return 1
    stamp=$(od -An -tf8 "$1" | tr -d ' ')
    now=$(days_now)
    awk -v s="$stamp" -v n="$now" 'BEGIN { d = s - n; if (d < 0) d = -d; exit !(d < 0.005) }'
}

# Waits until the file exists and holds a line equal to the text.
wait_line() {  # file text [seconds]
    local deadline=$((SECONDS + ${3:-20}))
    until [ -f "$1" ] && tr -d '\r' <"$1" | grep -qxF -- "$2"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}

# Holds a file open without sharing from another program, until release_file.
hold_file() {  # windows-path name
    local out=$E2E_WORK/hold-$2.out
    rm -f "$E2E_WORK/release-$2"
    wine "$E2E_CTL" hold "$1" "$(winpath_of "$E2E_WORK/release-$2")" >"$out" 2>/dev/null &
    eval "HOLD_PID_$2=\$!"
    local deadline=$((SECONDS + 20))
    until grep -q held "$out" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && die "could not hold $1 open"
        sleep 0.1
    done
}

release_file() {  # name
    local pid_var=HOLD_PID_$1
    touch "$E2E_WORK/release-$1"
    wait "${!pid_var}" 2>/dev/null
}

# A Unix path as Wine sees it through its Z: drive.
winpath_of() { printf 'Z:%s' "${1//\//\\}"; }
