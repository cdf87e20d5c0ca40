#!/usr/bin/env bash
# The whole wizard from the keyboard, as X key presses: Enter for Next, Esc for Cancel and for
# the cancel button of a question, Alt with the underlined letter, Space in the lists, Tab and
# Shift+Tab between the controls, a drive letter in the drive box. The focus is read from outside.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin keyboard

keys() { xdotool key --delay 30 "$@"; }

# The focused control, class<TAB>text (a list: its selected row).
focused() { ctl focus "$WIZARD" | tr -d '\r'; }
# Waits until the focused control's line starts with the text.
expect_focus() {  # text what
    local deadline=$((SECONDS + 10)) got
    until got=$(focused) && [[ "$got" == "$1"* ]]; do
        [ $SECONDS -ge $deadline ] && { fail "$2: focus on '$got', want '$1...'"; return 1; }
        sleep 0.1
    done
}

setup_start
keys Return
wait_page 1

# Esc on the licence, whose text has the focus: the cancel question; its Esc means "&Non".
keys Escape
[ "$(dialog_shown 10 | head -n 1)" = caption=Confirmation ] || die "Esc on the licence page did not ask to cancel"
keys Escape
need ctl gone Confirmation 10 "Esc did not close the question"
check_eq "$(controls | awk -F'\t' '$2 == "Edit" { n++ } END { print n + 0 }')" 1 "licence text after Esc and \"&Non\""

# Tab leaves the licence text for the box below it, Shift+Tab comes back.
expect_focus $'Edit\tCONTRAT' "licence text on entry"
keys Tab
expect_focus $'Button\tJ\'&accepte' "Tab in the licence text"
keys shift+Tab
expect_focus $'Edit\tCONTRAT' "Shift+Tab from the licence box"

# Enter in the licence text (it has the focus again) is Next; Alt+R comes back.
keys Return
wait_page 2
keys alt+r
wait_page 1

keys alt+a
check_eq "$(checkbox "J'&accepte l'Accord de licence ci-dessus dans son intégralité.")" 0 "licence box after Alt+A"
keys Return
[ "$(dialog_shown 10 | grep -c '^button=')" = 2 ] || die "Enter with the licence refused did not ask the licence question"
keys Escape
need ctl gone Information 10 "Esc did not close the refusal question"
wait_page 1
keys alt+a Return
wait_page 2

# Tab reaches the folder list, then the drive box, where a typed letter picks that drive; the
# rows give their texts. Alt+D brings the focus back to the destination from there.
keys Tab
expect_focus $'ListBox\t' "Tab from the destination"
keys Tab
expect_focus $'ComboBox\tc:' "Tab from the folder list"
ROWS=$(ctl rows "$WIZARD" | tr -d '\r')
check "the folder list gives no row text 'C:':"$'\n'"$ROWS" grep -qxF $'ListBox\tC:' <<<"$ROWS"
check "the drive box gives no row text 'z:...':"$'\n'"$ROWS" grep -q $'^ComboBox\tz:' <<<"$ROWS"
keys z
expect_focus $'ComboBox\tz:' "z typed in the drive box"
keys c
expect_focus $'ComboBox\tc:' "c typed in the drive box"
keys alt+d
expect_focus $'Edit\t' "Alt+D from the drive box"

# The destination typed over the proposed one, with spaces and a final backslash.
keys alt+d Home shift+End
xdotool type --delay 30 '  C:\Clavier\ '
keys Return
wait_page 3
# The component list names its rows; Tab leaves it for the buttons, Alt+C comes back to it.
check_eq "$(ctl rows "$WIZARD" | tr -d '\r' | cut -f2 | head -n 2)" $'Traitement de texte Velmorra\nAide d\'Velmorra' \
    "first rows of the component list"
expect_focus $'ListBox\tAide d\'Velmorra' "component list on entry"
keys Tab
expect_focus $'Button\t< &Retour' "Tab from the component list"
keys alt+c
expect_focus $'ListBox\tAide d\'Velmorra' "Alt+C from the Back button"
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
