#!/usr/bin/env bash
# Questions are modal to the wizard while another program is in front: the cancel question of a
# close request and the worker's file question are owned by the wizard's window, which takes no
# input until they are answered; clicks and close requests posted meanwhile start nothing.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin modal-question

DEST="$(special_folder 38)\\Velmorra"
mkdir -p "$(unix_path "$DEST")"
hold_file "$DEST\\Velmorra.chm" help

# Another program's window in front of the wizard, until the test ends.
wine "$E2E_CTL" front 'Autre programme' "$(winpath_of "$E2E_WORK/release-front")" >"$E2E_WORK/front.out" 2>/dev/null &
FRONT_PID=$!
stop_front() { touch "$E2E_WORK/release-front"; wait "$FRONT_PID" 2>/dev/null; }

expect_modal() {  # caption what
    check_eq "$(ctl modal "$1" "$WIZARD" | tr -d '\r')" "$(printf 'owner=%s\nenabled=0' "$WIZARD")" "$2"
}

setup_start
next_to_page 0 4
need ctl wait 'Autre programme' 30 "the other program's window did not come up"

# A close request: the cancel question, owned by the wizard. A Next and a second close request
# posted under it are dropped: after "&Non" the wizard is still on the ready page, with no
# other question.
need ctl close "$WIZARD" "cannot ask the wizard to close"
expect_modal Confirmation "the cancel question over the wizard"
press "$NEXT"
need ctl close "$WIZARD" "cannot ask the wizard to close again"
answer '&Non'
check_eq "$(page_title)" "${PAGE_TITLES[4]}" "page after Next under the cancel question and \"&Non\""
ctl dialog 0 >/dev/null 2>&1 && fail "a second question followed the cancel question"

# The worker's question on the held file, owned by the wizard; a Cancel posted under it asks
# nothing once it is answered, and the copying goes on to its end.
press "$NEXT"
expect_modal Erreur "the file question over the wizard"
press "$CANCEL"
answer 'I&gnorer'
wait_page 6
release_file help
stop_front

next_to_page 6 7
finish_without_launch
e2e_end
