#!/usr/bin/env bash
# The word processor running: Next on the welcome page and on the ready page shows the
# running-program notice and stays until it is closed. Back to the welcome page and Next again
# does not ask a second time.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin running-instance

NOTICE_TEXT="Un exemplaire du traitement de texte Velmorra est en cours d'exécution sur votre système.
Veuillez fermer tous les exemplaires du traitement de texte Velmorra actuellement ouverts
avant de cliquer sur le bouton \"OK\" ci-dessous."

# A copy of the word processor that is not the one being installed.
mkdir -p "$(unix_path 'C:\Autre')"
cp "$PAYLOAD/vlm.exe" "$(unix_path 'C:\Autre\vlm.exe')"
start_word_processor() {
    wine 'C:\Autre\vlm.exe' >/dev/null 2>&1 &
    need ctl wait Velmorra 30 "the word processor did not start"
}
# Done once no window carries the property by which the setup program recognises it.
close_word_processor() {
    ctl close Velmorra
    need ctl prop '1.x Tessalvorn' 0 20 "the word processor did not close"
}

start_word_processor
setup_start
press "$NEXT"
expect_dialog Information OK "$NOTICE_TEXT" "the running-program notice on the welcome page"
answer OK
wait_page 0
close_word_processor
next_to_page 0 1

start_word_processor
press "$BACK"
wait_page 0
next_to_page 0 1
check_eq "$(ctl dialog 0 2>/dev/null)" "" "a message dialog on the second move to the licence page"
next_to_page 1 4
press "$NEXT"
expect_dialog Information OK "$NOTICE_TEXT" "the running-program notice on the ready page"
answer OK
wait_page 4
close_word_processor
press "$NEXT"
wait_page 6

press "$CANCEL"
answer 'A&bandonner'
setup_wait_exit 30 "$ABANDONED"
wine_idle
DEST="$(special_folder 38)\\Velmorra"
same_as_payload vlm.exe "$(unix_path "$DEST\\vlm.exe")"
check_eq "$(tr -d '\r' <"$(unix_path 'C:\Autre\vlm-starts.log')" | wc -l)" 2 "starts of the other copy"
e2e_end
