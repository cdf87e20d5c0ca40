#!/usr/bin/env bash
# Cancel while the files are being copied. The confirmation holds the copying; "&Non" lets it
# go on to the end; "A&bandonner" stops it and the wizard closes, and what was started is
# still recorded: the settings, the uninstall entry and Install.log with what was copied.
# Closing the last page with the close box asks too, and skips "&Terminer"'s actions.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin cancel-during-copy

CANCEL_TEXT="L'installation n'est pas terminée !

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
    expect_dialog Confirmation '&Non|A&bandonner' "$CANCEL_TEXT" "the cancel question during the copying"
}

# The copying must not advance while the question is open: nothing changes on disk over a
# second (the whole copying takes well under that).
expect_held() {
    local before after deadline=$((SECONDS + 2))
    before=$(copied_so_far)
    while [ $SECONDS -lt $deadline ]; do
        after=$(copied_so_far)
        [ "$before" == "$after" ] || { fail "files were written while the cancel question was open"; return; }
        sleep 0.2
    done
}

# "&Non": the installation goes on with every file. On the last page Cancel is disabled, but
# the close box still asks, and abandoning there skips what "&Terminer" does.
locate
start_copying_and_cancel
expect_held
answer '&Non'
wait_page 6
same_as_payload Basic.asn "$DATA/Public/Basic.asn"
next_to_page 6 7
check_eq "$(button_enabled "$CANCEL")" 0 "Cancel on the last page"
need wait_line "$D/vlm-starts.log" "\"$DEST\\vlm.exe\" -assoc adpr_cod" "no association command"
ctl close "$WIZARD"
expect_dialog Confirmation '&Non|A&bandonner' "$CANCEL_TEXT" "the cancel question from the close box on the last page"
answer 'A&bandonner'
setup_wait_exit 30 "$ABANDONED"
wine_idle
check_eq "$(tr -d '\r' <"$D/vlm-starts.log" | wc -l)" 1 "starts of the installed program (no launch)"
check "Update.log was written though the wizard was closed" test ! -e "$DATA/Update.log"
check_eq "$(reg_value HKCU "$INSTALL_KEY" MAINDIR)" "$DEST" "MAINDIR after closing on the last page"
check "no Install.log after closing on the last page" test -f "$D/Install.log"

# "A&bandonner": the copying stops and the wizard closes; a fresh machine.
new_prefix
locate
start_copying_and_cancel
expect_held
answer 'A&bandonner'
setup_wait_exit 30 "$ABANDONED"
wine_idle
[ -f "$DATA/Public/Basic.asn" ] && fail "the copying went on to the last component after A&bandonner"
check_eq "$(reg_value HKCU "$INSTALL_KEY" MAINDIR)" "$DEST" "MAINDIR after abandoning"
check_eq "$(uninstall_values | grep -c '^UninstallString=')" 1 "uninstall entry after abandoning"
# Install.log lists exactly the files copied to the destination; when the copying stopped
# before the destination was made, the log has no folder to go to.
LOG=$D/Install.log
if [ -d "$D" ]; then
    [ -f "$LOG" ] || fail "no Install.log after abandoning"
    check_eq "$(duplicate_lines "$LOG")" "" "duplicate lines in Install.log"
    check_eq "$(text_of "$LOG" | tr -d '\r' | after_prefix "File Copy: $DEST\\" | sort)" \
        "$(cd "$D" && find . -type f ! -name Install.log | sed 's|^\./||' | sort)" "files of the destination in Install.log"
fi
check "Update.log was written after abandoning" test ! -e "$DATA/Update.log"
check_eq "$(find "$WINEPREFIX/drive_c" -name "$LINK_NAME")" "" "shortcuts after abandoning"
e2e_end
