#!/usr/bin/env bash
# A second copy of the setup program started while the first shows the destination page: it
# shows its message, ends when it is dismissed and has written nothing; the first then finishes
# its installation normally.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin single-instance

# WINEDEBUG=trace+msgbox prints a message box's text, UTF-16 escaped.
ALREADY='L"Le programme d'"'"'installation de Velmorra est d\00e9j\00e0 en cours d'"'"'ex\00e9cution. Terminez l'"'"'installation en cours avant de le relancer."'

# Every file of the prefix but Wine's hives, which Wine rewrites with new time stamps.
files_now() { (cd "$WINEPREFIX" && find . -path ./dosdevices -prune -o ! -name '*.reg' -print | sort); }
shown_boxes() { grep -a 'trace:msgbox:MSGBOX_OnInit' "$E2E_WORK/second.log" | sed 's/^.*MSGBOX_OnInit //'; }
until_true() {  # seconds command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.2
    done
}

setup_start
next_to_page 0 2
wizard_window=$(xdotool search --onlyvisible --name "^$WIZARD\$" | head -1)
files_now >"$E2E_WORK/before"

WINEDEBUG=trace+msgbox wine "$SETUP_EXE" >/dev/null 2>"$E2E_WORK/second.log" &
second=$!
has_box() { [ -n "$(shown_boxes)" ]; }
need until_true 60 has_box "the second copy showed no message"
check_eq "$(shown_boxes)" "$ALREADY" "the second copy's message"
box_window() { xdotool search --onlyvisible --name "^$WIZARD\$" | grep -vx "$wizard_window" | head -1; }
has_box_window() { [ -n "$(box_window)" ]; }
second_ended() { ! kill -0 "$second" 2>/dev/null; }
need until_true 20 has_box_window "the second copy's message has no window"
xdotool windowfocus --sync "$(box_window)" key Return >/dev/null 2>&1
need until_true 20 second_ended "the second copy did not end"
wait "$second"
check_eq "$?" "$ALREADY_RUNNING" "exit code of the second copy"
files_now >"$E2E_WORK/after"
check_eq "$(diff "$E2E_WORK/before" "$E2E_WORK/after")" "" "files the second copy made"

# The first copy goes on as if nothing happened.
wait_page 2
next_to_page 2 4
install_from_ready 60
DEST="$(special_folder 38)\\Velmorra"
same_as_payload vlm.exe "$(unix_path "$DEST\\vlm.exe")"
check "no Install.log" test -s "$(unix_path "$DEST\\Install.log")"
e2e_end
