#!/usr/bin/env bash
# The unattended road. /S with a subset of components, one document type, a folder and a
# relative run log leaves what the wizard leaves for the same choices, ends 0, writes the log
# through one handle opened in the starting folder, removes its temporary items and nothing else
# of TEMP, and writes no log through a hard link; the word processor running
# gives 170 and nothing written; a held file gives 32 after its retries, with the files before
# it logged; a relative folder gives 87, and so does an unknown switch, its usage in the run log;
# an abandoned wizard 1602; the quiet removal leaves nothing that was installed.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin silent

DEST='C:\Apps\Mon Velmorra'
CHOICES=("/COMPONENTS=help,hyphen" "/ASSOC=rtf" "/D=$DEST")

# The helper runs it: Wine's own exit status keeps only the low byte of the code.
run_code() { ctl run "$@" | tr -d '\r'; }
run_silent() {  # arguments; sets CODE
    CODE=$(run_code "$(winpath_of "$SETUP_EXE")" /S "$@")
}
# What an installation leaves: files (with their bytes; Update.log without its time stamps,
# the stamp and shortcuts by name), the settings, the uninstall entry and the document types.
picture() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -type f \( -path '*Velmorra*' -o -name '*.lnk' \) -print |
        grep -v '/run\.log$' | sort | while IFS= read -r f; do
            case $f in
            *.lnk | */install_stamp) echo "$f" ;;
            *Update.log) echo "$f $(grep -av '^\*' "$f" | md5sum)" ;;
            *) echo "$f $(md5sum <"$f")" ;;
            esac
        done)
    reg_values HKCU "$INSTALL_KEY"
    uninstall_values
    reg_values HKCU 'Software\Classes\.rtf'
    reg_values HKCU 'Software\Classes\.cod'
}

# The wizard, preset by the same switches, clicked through.
setup_start "${CHOICES[@]}"
next_to_page 0 4
install_from_ready
WIZARD_PICTURE=$(picture)
check "the wizard installed the help" test -f "$(unix_path "$DEST\\Velmorra.chm")"

new_prefix
# The temporary items of earlier runs go at the end, and nothing else of TEMP.
TEMP_DIR=$(unix_path "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')")
OURS="$TEMP_DIR/~InstallationdutraitementdetexteVelmorra"
mkdir -p "${OURS}Dossier/Sous" "$TEMP_DIR/autre"
touch "${OURS}0.tmp" "${OURS}Dossier/a.dat" "${OURS}Dossier/Sous/b.dat" "$TEMP_DIR/autre/c.dat" "$TEMP_DIR/autre.tmp"
# A relative run log, from a folder of its own: the copy moves the current folder meanwhile.
mkdir -p "$(unix_path 'C:\Travail')"
CODE=$(cd "$(unix_path 'C:\Travail')" &&
    WINEDEBUG=trace+file wine "$E2E_CTL" run "$(winpath_of "$SETUP_EXE")" /S "${CHOICES[@]}" /LOG=run.log \
        2>"$E2E_WORK/file.trace" | tr -d '\r')
wine_idle
check_eq "$CODE" 0 "exit code of /S"
check_eq "$(picture)" "$WIZARD_PICTURE" "what /S left against what the wizard left"
RUN_LOG=$(text_of "$(unix_path 'C:\Travail\run.log')" | tr -d '\r')
check "the run log names its start" grep -q '^.* Installation silencieuse' <<<"$RUN_LOG"
check "the run log names its end" grep -q 'code de sortie 0$' <<<"$RUN_LOG"
check "the run log names the copy" grep -q 'Copie des fichiers' <<<"$RUN_LOG"
check "no run log in the destination" test ! -e "$(unix_path "$DEST\\run.log")"
check_eq "$(grep -c 'NtCreateFile.*run\.log' "$E2E_WORK/file.trace")" 1 "times the run log was opened"
check_eq "$(cd "$TEMP_DIR" && ls -d ~Installation* 2>/dev/null)" "" "our temporary items left in TEMP"
check "the rest of TEMP is left" test -f "$TEMP_DIR/autre/c.dat" -a -f "$TEMP_DIR/autre.tmp"
# A run log that is a second name of another file is not written through.
printf 'secret' >"$(unix_path 'C:\secret.txt')"
ln "$(unix_path 'C:\secret.txt')" "$(unix_path 'C:\Travail\dur.log')"
run_silent "${CHOICES[@]}" '/LOG=C:\Travail\dur.log'
check_eq "$CODE" 0 "exit code of /S with a hard-linked run log"
check_eq "$(cat "$(unix_path 'C:\secret.txt')")" secret "the file behind a hard-linked run log"

# The quiet removal, as the uninstall entry gives it.
QUIET=$(uninstall_values | sed -n 's/^QuietUninstallString=sz://p')
check_eq "$QUIET" "\"$DEST\\vlm.exe\" -ui /S" "QuietUninstallString"
# Started as a deployment tool starts it: the command line as written, not one quoted word each.
timeout 120 wine "$DEST\\vlm.exe" -ui /S >/dev/null 2>&1
REMOVED=$?
check_eq "$REMOVED" 0 "exit code of the quiet removal"
[ -n "$REMOVED" ] || wineserver -k   # a removal that still asks is left behind
wine_idle 60
check "the destination is left" test ! -e "$(unix_path "$DEST")/vlm.exe"
check "the uninstall entry is left" test -z "$(uninstall_values)"

# The word processor running: nothing written.
new_prefix
mkdir -p "$(unix_path 'C:\Autre')"
cp "$PAYLOAD/vlm.exe" "$(unix_path 'C:\Autre\vlm.exe')"
wine 'C:\Autre\vlm.exe' >/dev/null 2>&1 &
need ctl wait Velmorra 30 "the word processor did not start"
run_silent "/D=$DEST"
check_eq "$CODE" 170 "exit code with the word processor running"
check "the destination was made" test ! -e "$(unix_path "$DEST")"
check "the settings were written" test -z "$(reg_values HKCU "$INSTALL_KEY")"
ctl close Velmorra
need ctl prop '1.x Tessalvorn' 0 20 "the word processor did not close"

# A held file: retried, then given up; what came before it stays logged.
run_silent /D=relatif
check_eq "$CODE" 87 "exit code for a relative folder"
run_silent /X '/LOG=C:\usage.log'
check_eq "$CODE" 87 "exit code for an unknown switch"
check "the run log lacks the usage" grep -qF 'Option ou valeur incorrecte : /X' <(text_of "$(unix_path 'C:\usage.log')")
mkdir -p "$(unix_path "$DEST")"
hold_file "$DEST\\Velmorra.chm" help
run_silent "${CHOICES[@]}" "/LOG=C:\\held.log"
release_file help
check_eq "$CODE" 32 "exit code with a held file"
LOG=$(text_of "$(unix_path "$DEST\\Install.log")" | tr -d '\r')
check "vlm.exe, copied before the held file, is logged" grep -qxF "File Copy: $DEST\\vlm.exe" <<<"$LOG"
check "the held file is logged" test -z "$(grep -F 'Velmorra.chm' <<<"$LOG")"
check "the run log names the held file" grep -qF "$DEST\\Velmorra.chm" <(text_of "$(unix_path 'C:\held.log')")
check_eq "$(reg_value HKCU "$INSTALL_KEY" MAINDIR)" "$DEST" "MAINDIR after giving up"

# The abandoned wizard.
run_code "$(winpath_of "$SETUP_EXE")" >"$E2E_WORK/abandoned.code" &
ABANDONED=$!
need ctl wait "$WIZARD" 60 "the wizard did not come up"
wait_page 0
press "$CANCEL"
answer 'A&bandonner'
wait "$ABANDONED"
check_eq "$(cat "$E2E_WORK/abandoned.code")" 1602 "exit code of an abandoned wizard"
e2e_end
