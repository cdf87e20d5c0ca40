#!/usr/bin/env bash
# Removal from the control panel: two installations of every component into the same folder
# (the current user, then all users, each with other document types), documents saved in the
# destination, then the registered "UninstallString" run and answered "&Oui". Afterwards the
# machine holds only what it held before, the documents with their folders, and the shared data
# that the installation leaves unlogged on purpose.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin uninstall

no_key() { ! ctl reg "$@" >/dev/null 2>&1; }
# Every file and folder of the C: drive but Wine's own, relative to it.
disk_picture() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -print | sed 's|^\./||' | sort)
}

BEFORE=$(disk_picture)
install() {  # all-users box, association boxes to tick
    setup_start
    next_to_page 0 4
    set_checkbox 'Installer pour &tous les utilisateurs de cet ordinateur' "$1"
    press "$NEXT"
    wait_page 6
    local box
    for box in "${@:2}"; do set_checkbox "$box" 1; done
    next_to_page 6 7
    finish_without_launch
}
install 0 'Documents RTF'
install 1 'Documents MS Word DOCX'

DEST="$(special_folder 38)\\Velmorra"
D=$(unix_path "$DEST")
DATA="$(special_folder 35)\\Velmorra"
check_eq "$(reg_value HKCU 'Software\Classes\.docx' @)" Velmorra.Document "DOCX documents registered"
mkdir -p "$D/Mes lettres"
printf 'Bonjour\r\n' >"$D/Mes lettres/Lettre.cod"
printf 'x\r\n' >"$D/Notes.cod"

UNINSTALL=$(uninstall_values | sed -n 's/^UninstallString=sz://p')
check_eq "$UNINSTALL" "\"$DEST\\vlm.exe\" -ui" "UninstallString"
PROGRAM=${UNINSTALL#\"}
PROGRAM=${PROGRAM%%\"*}
wine "$PROGRAM" ${UNINSTALL##*\" } >"$E2E_WORK/uninstall.log" 2>&1 &
expect_dialog Confirmation '&Oui|&Non' \
    'Voulez-vous vraiment supprimer Traitement de texte Velmorra et tous ses composants ?' "the question"
answer '&Oui'
wine_idle 60
check_eq "$(ctl dialog 1 2>/dev/null)" "" "a message after the removal"

# Files and folders: the documents keep their folders; the shared data folder keeps what was
# never logged (spelling files, templates, insert collections, settings, stamp, Update.log).
REL=${D#"$WINEPREFIX"/dosdevices/c:/}
check_eq "$(comm -13 <(echo "$BEFORE") <(disk_picture) | grep -v '^ProgramData/Velmorra\(/\|$\)')" \
    "$(printf '%s\n' "$REL" "$REL/Mes lettres" "$REL/Mes lettres/Lettre.cod" "$REL/Notes.cod")" \
    "what the machine holds now that it did not hold before, outside the shared data folder"
check_eq "$(comm -23 <(echo "$BEFORE") <(disk_picture))" "" "what the removal took that was there before"
check "Basic.asn, logged, is still in the shared data folder" test ! -e "$(unix_path "$DATA")/Public/Basic.asn"
check "Update.log is gone" test -f "$(unix_path "$DATA")/Update.log"
for csidl in 2 16 23 25; do
    check "a shortcut is left in folder $csidl" test ! -e "$(unix_path "$(special_folder "$csidl")\\$LINK_NAME")"
done

# Registry: the settings, the uninstall entry and the associations the program made.
check "the settings are left" no_key HKCU 'Software\Velmorra Word Processor'
check "the uninstall entry is left" test -z "$(uninstall_values)"
for key in Velmorra.Document .rtf .cod .docx; do
    check "Software\\Classes\\$key is left" no_key HKCU "Software\\Classes\\$key"
done
e2e_end
