#!/usr/bin/env bash
# Files held open by another program during the copying. "&Réessayer", and the question's close
# box too, ask again while the file is held; "&Réessayer" writes it once released; "I&gnorer"
# leaves it and goes on; on a second run "A&bandonner" closes the wizard at once, and what was
# chosen is still recorded. An
# "Update.log" held when "&Terminer" is pressed is an error thrown in the wizard's event: it is
# shown and the wizard stays until the file is free.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin locked-file

DEST="$(special_folder 38)\\Velmorra"
D=$(unix_path "$DEST")
DATA_WIN="$(special_folder 35)\\Velmorra"
DATA=$(unix_path "$DATA_WIN")
mkdir -p "$D" "$DATA/Public"

expect_write_error() {  # windows-path what
    expect_dialog Erreur 'A&bandonner|&Réessayer|I&gnorer' "Impossible de créer le fichier \"$1\".
Ce fichier est peut-être actuellement utilisé par une autre application." "$2"
}

hold_file "$DEST\\Velmorra.chm" help
hold_file "$DATA_WIN\\Public\\Basic.asn" sounds

setup_start
next_to_page 0 4
press "$NEXT"
expect_write_error "$DEST\\Velmorra.chm" "error on the held help file"
answer '[close]'
expect_write_error "$DEST\\Velmorra.chm" "error asked again after its close box"
check_eq "$(page_title)" "${PAGE_TITLES[5]}" "page after closing the error"
answer '&Réessayer'
expect_write_error "$DEST\\Velmorra.chm" "error on retrying while the help file is held"
release_file help
answer '&Réessayer'
expect_write_error "$DATA_WIN\\Public\\Basic.asn" "error on the held sound scheme"
answer 'I&gnorer'
wait_page 6
check_eq "$(stat -c %s "$DATA/Public/Basic.asn")" 0 "size of the ignored file"
release_file sounds
same_as_payload Velmorra.chm "$D/Velmorra.chm"
same_as_payload "Coupe de mots.dat" "$D/Coupe de mots.dat"
next_to_page 6 7
hold_file "$DATA_WIN\\Update.log" update
set_checkbox '&Lancer Traitement de texte Velmorra tout de suite' 0
press "$FINISH"
expect_dialog Erreur OK "Impossible d'ouvrir le fichier $DATA_WIN\\Update.log" "error on the held Update.log"
answer OK
wait_page 7
release_file update
finish_without_launch
check "Update.log lacks the stamp line once released" grep -q '^\*' "$DATA/Update.log"
LOG=$(text_of "$D/Install.log" | tr -d '\r')
check_eq "$(grep -cxF "File Copy: $DEST\\Velmorra.chm" <<<"$LOG")" 1 "lines for the retried file in Install.log"
check_eq "$(grep -cF 'Basic.asn' <<<"$LOG")" 0 "lines for the ignored file in Install.log"

# Second run: the program file is held and the user abandons; no cancel question follows.
hold_file "$DEST\\vlm.exe" program
setup_start
next_to_page 0 4
set_checkbox 'Installer pour &tous les utilisateurs de cet ordinateur' 0
press "$NEXT"
expect_write_error "$DEST\\vlm.exe" "error on the held program file"
answer 'A&bandonner'
setup_wait_exit 30 "$ABANDONED"
release_file program
wine_idle
check_eq "$(reg_value HKCU "$INSTALL_KEY" INSTALLTOALL)" 0 "INSTALLTOALL after abandoning"
check_eq "$(text_of "$D/Install.log" | tr -d '\r')" "$LOG" "Install.log after abandoning on the first file"
e2e_end
