#!/usr/bin/env bash
# Cancel while the files are being copied. The confirmation holds the copying; "&Non" lets it
# go on to the end; "A&bandonner" stops it and the wizard closes, and what was started is
# still recorded: the settings, the uninstall entry and Install.log with what was copied.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin cancel-during-copy

M3_TEXT="L'installation n'est pas terminée !

Si vous interrompez le programme d'installation maintenant,
Velmorra ne sera pas correctement installé.

Vous pourrez relancer ce programme plus tard
afin de terminer l'installation d'Velmorra.

Pour poursuivre l'installation maintenant,
cliquez sur \"Non\".

Pour interrompre l'installation,
cliquez sur \"Abandonner\"."

# The destination and the shared data folder in the current prefix.
locate() {
    DEST="$(special_folder 38)\\Velmorra"
    D=$(unix_path "$DEST")
    DATA=$(unix_path "$(special_folder 35)\\Velmorra")
}

# Every file under the destination and the data folder, with its size.
copied_so_far() { find "$D" "$DATA" -type f -printf '%s %p\n' 2>/dev/null | sort; }

# Cancel pressed right behind the Next that starts the copying: both wait in the wizard's
# queue, so the question comes up while the copying has only begun.
start_copying_and_cancel() {
    setup_start
    next_to_page 0 4
    need ctl post "$WIZARD" "$NEXT" "$WIZARD" "$CANCEL" "cannot press Next and Cancel"
    expect_dialog Confirmation '&Non|A&bandonner' "$M3_TEXT" "M3 during the copying"
}

# The copying must not advance while the question is open: nothing changes on disk over a
# second (the whole copying takes well under that).
expect_held() {
    local before after deadline=$((SECONDS + 2))
    before=$(copied_so_far)
    while [ $SECONDS -lt $deadline ]; do
        after=$(copied_so_far)
        [ "$before" == "$after" ] || { fail "files were written while M3 was open"; return; }
        sleep 0.2
    done
}

# "&Non": the installation goes on to the associations page with every file.
locate
start_copying_and_cancel
expect_held
answer '&Non'
wait_page 6
same_as_payload Basic.asn "$DATA/Public/Basic.asn"
press "$CANCEL"
expect_dialog Confirmation '&Non|A&bandonner' "$M3_TEXT" "M3 on the associations page"
answer 'A&bandonner'
setup_wait_exit
wine_idle
check_eq "$(reg_value HKCU "$INSTALL_KEY" MAINDIR)" "$DEST" "MAINDIR after cancelling on page 6"
check "no Install.log after cancelling on page 6" test -f "$D/Install.log"
check "vlm.exe was started though the associations page was cancelled" test ! -e "$D/vlm-starts.log"
check "Update.log was written though the wizard was cancelled" test ! -e "$DATA/Update.log"

# "A&bandonner": the copying stops and the wizard closes; a fresh machine.
new_prefix
locate
start_copying_and_cancel
expect_held
answer 'A&bandonner'
setup_wait_exit
wine_idle
[ -f "$DATA/Public/Basic.asn" ] && fail "the copying went on to the last component after A&bandonner"
check_eq "$(reg_value HKCU "$INSTALL_KEY" MAINDIR)" "$DEST" "MAINDIR after abandoning"
check_eq "$(uninstall_values | grep -c '^UninstallString=')" 1 "uninstall entry after abandoning"
LOG=$D/Install.log
if [ -f "$LOG" ]; then
    check_eq "$(duplicate_lines "$LOG")" "" "duplicate lines in Install.log"
    while IFS= read -r file; do
        check "Install.log lists $file, which is not there" test -f "$(unix_path "$file")"
    done < <(text_of "$LOG" | tr -d '\r' | sed -n 's/^File Copy: //p')
else
    fail "no Install.log after abandoning"
fi
check "Update.log was written after abandoning" test ! -e "$DATA/Update.log"
check_eq "$(find "$WINEPREFIX/drive_c" -name "$LINK_NAME")" "" "shortcuts after abandoning"
e2e_end
