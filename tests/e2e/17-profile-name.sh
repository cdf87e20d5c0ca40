#!/usr/bin/env bash
# A user whose name Windows-1252 cannot write, "Łukasz" (Wine names the profile after $USER):
# /S /CURRENTUSER, then the wizard with the all-users box unchecked, each put both shortcuts in
# the real profile, reached by its short (8.3) form; no look-alike profile ("Lukasz") appears;
# the quiet removal then deletes them.
source "$(dirname "$0")/lib/harness.sh"
# Wine runs as that user from here on; the profile is made with the prefix, so this user's
# prefixes come from a template of their own.
export USER=Łukasz LOGNAME=Łukasz
WINE_ENV_TEMPLATE_GIVEN=$E2E_ROOT/build/wine-template-$WINEARCH-lukasz
e2e_begin profile-name

PROFILES=$(ls "$WINEPREFIX/drive_c/users")
DEST="$(special_folder 38)\\Velmorra"
LINKS=("$(unix_path "$(special_folder 2)")/$LINK_NAME" "$(unix_path "$(special_folder 16)")/$LINK_NAME")
[[ ${LINKS[1]} == */users/Łukasz/* ]] || die "the profile is not named Łukasz: ${LINKS[1]}"

check_installed_then_remove() {  # road
    local logged
    check "$1: a shortcut is missing" test -f "${LINKS[0]}" -a -f "${LINKS[1]}"
    check_eq "$(ls "$WINEPREFIX/drive_c/users")" "$PROFILES" "$1: the profile folders"
    logged=$(text_of "$(unix_path "$DEST\\Install.log")" | tr -d '\r' | grep '\.lnk$')
    check_eq "$(grep -c '^File Copy: C:\\users\\[^\\]*~' <<<"$logged")" 2 "$1: links logged under the short form"
    timeout 120 wine "$DEST\\vlm.exe" -ui /S >/dev/null 2>&1
    check_eq "$?" 0 "$1: exit code of the quiet removal"
    wine_idle 60
    check "$1: a shortcut is left" test ! -e "${LINKS[0]}" -a ! -e "${LINKS[1]}"
}

CODE=$(ctl run "$(winpath_of "$SETUP_EXE")" /S /CURRENTUSER '/LOG=C:\run.log' | tr -d '\r')
wine_idle
check_eq "$CODE" 0 "exit code of /S /CURRENTUSER"
check_installed_then_remove "/S"

setup_start
next_to_page 0 4
set_checkbox 'Installer pour &tous les utilisateurs de cet ordinateur' 0
install_from_ready
check_installed_then_remove "the wizard"
e2e_end
