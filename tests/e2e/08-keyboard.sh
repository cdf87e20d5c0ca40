#!/usr/bin/env bash
# The whole wizard from the keyboard, as X key presses: Enter for Next, Esc for Cancel and for
# the cancel button of a question, Alt with the underlined letter, Space in the lists.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin keyboard

keys() { xdotool key --delay 30 "$@"; }

setup_start
keys Return
wait_page 1

# Esc on the licence, whose text has the focus: the cancel question; its Esc means "&Non".
keys Escape
[ "$(dialog_shown 10 | head -n 1)" = caption=Confirmation ] || die "Esc on the licence page did not ask to cancel"
keys Escape
need ctl gone Confirmation 10 "Esc did not close the question"
check_eq "$(controls | awk -F'\t' '$2 == "Edit" { n++ } END { print n + 0 }')" 1 "licence text after Esc and \"&Non\""

# Enter in the licence text (it has the focus again) is Next; Alt+R comes back.
keys Return
wait_page 2
keys alt+r
wait_page 1

keys alt+a
check_eq "$(checkbox "J'&accepte l'Accord de licence ci-dessus dans son intégralité.")" 0 "licence box after Alt+A"
keys Return
[ "$(dialog_shown 10 | grep -c '^button=')" = 2 ] || die "Enter with the licence refused did not ask (M2)"
keys Escape
need ctl gone Information 10 "Esc did not close the refusal question"
wait_page 1
keys alt+a Return
wait_page 2

# The destination typed over the proposed one, with spaces and a final backslash.
keys alt+d Home shift+End
xdotool type --delay 30 '  C:\Clavier\ '
keys Return
wait_page 3
keys space Return     # the help, the row selected at first
wait_page 4
keys alt+t Return
wait_page 6
keys space Return     # the RTF box, which has the focus
wait_page 7
keys alt+l Return
setup_wait_exit
wine_idle

check_eq "$(reg_values HKCU "$INSTALL_KEY" | sort)" "$(printf '%s\n' \
    'COMPS_FR (1.6.5.8)=dword:2147483644' 'EXTENSIONS=sz:AB' 'INSTALLTOALL=dword:0' 'LAUNCH=dword:0' \
    'MAINDIR=sz:C:\Clavier')" "Install key"
check_eq "$(tr -d '\r' <"$(unix_path 'C:\Clavier\vlm-starts.log')")" '"C:\Clavier\vlm.exe" -assoc adpr_rtf_cod' \
    "starts of the installed program"
e2e_end
