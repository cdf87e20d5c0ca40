#!/usr/bin/env bash
# A second installation over a first one, with other choices: for the current user only,
# without the help and the document templates, other document types, no launch. The wizard
# starts from the first run's choices; the logs are merged, the all-users shortcuts go.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin second-install

# First run: every default, no launch.
setup_start
next_to_page 0 4
install_from_ready

DEST="$(special_folder 38)\\Velmorra"
D=$(unix_path "$DEST")
VLM="\"$DEST\\vlm.exe\""
DATA_WIN="$(special_folder 35)\\Velmorra"
DATA=$(unix_path "$DATA_WIN")
need wait_line "$D/vlm-starts.log" "$VLM -assoc adpr_cod" "the first run's association command did not run"
wine_idle
cp "$D/Install.log" "$E2E_WORK/Install.log.1"
cp "$DATA/Update.log" "$E2E_WORK/Update.log.1"
STAMP1=$(hex_bytes "$DATA/Hidden/install_stamp")

# Second run.
setup_start
next_to_page 0 2
check_eq "$(edit_text)" "$DEST" "destination read back"
next_to_page 2 3
need ctl row "$WIZARD" 1 "cannot untick the help"
need ctl row "$WIZARD" 5 "cannot untick the templates"
next_to_page 3 4
check_eq "$(checkbox 'Installer pour &tous les utilisateurs de cet ordinateur')" 1 "all-users box read back"
set_checkbox 'Installer pour &tous les utilisateurs de cet ordinateur' 0
press "$NEXT"
wait_page 6
check_eq "$(checkbox 'Documents COD cryptés')" 1 "COD box read back"
set_checkbox 'Documents RTF' 1
set_checkbox 'Documents COD cryptés' 0
set_checkbox 'Documents MS Word DOCX' 1
press "$NEXT"
wait_page 7
check_eq "$(checkbox '&Lancer Traitement de texte Velmorra tout de suite')" 0 "launch box read back"
check "no association command \"$VLM -assoc adpr_rtf_docx\"" wait_line "$D/vlm-starts.log" "$VLM -assoc adpr_rtf_docx"
press "$FINISH"
setup_wait_exit
wine_idle
check_eq "$(tr -d '\r' <"$D/vlm-starts.log")" "$VLM -assoc adpr_cod"$'\n'"$VLM -assoc adpr_rtf_docx" \
    "starts of the installed program (no launch)"

check_eq "$(reg_values HKCU "$INSTALL_KEY" | sort)" "$(printf '%s\n' \
    'COMPS_FR (1.6.5.8)=dword:2147483612' 'EXTENSIONS=sz:AD' 'INSTALLTOALL=dword:0' 'LAUNCH=dword:0' \
    "MAINDIR=sz:$DEST")" "Install key after the second run"

# The shortcuts moved to the current user's folders.
for csidl in 23 25; do
    check "the all-users shortcut in folder $csidl is still there" \
        test ! -e "$(unix_path "$(special_folder $csidl)\\$LINK_NAME")"
done
USER_LINKS=()
for csidl in 2 16; do
    link="$(special_folder $csidl)\\$LINK_NAME"
    USER_LINKS+=("$link")
    check_eq "$(ctl lnk "$link" | tr -d '\r')" "$(printf '%s\n' "target=$DEST\\vlm.exe" "dir=$DEST" \
        "desc=$LINK_DESC" "args=")" "shortcut $link"
done

# Install.log: the first run's lines as they were, then only the new shortcuts.
LOG=$D/Install.log
check_eq "$(duplicate_lines "$LOG")" "" "duplicate lines in Install.log"
lines1=$(wc -l <"$E2E_WORK/Install.log.1")
check "the first run's lines are not kept at the head of Install.log" \
    cmp -s "$E2E_WORK/Install.log.1" <(head -n "$lines1" "$LOG")
check_eq "$(text_of "$LOG" | tr -d '\r' | tail -n +$((lines1 + 1)) | sort)" \
    "$(printf 'File Copy: %s\n' "${USER_LINKS[@]}" | sort)" "lines added to Install.log"

# Update.log: the templates stay in the first group; everything else moved to the new one.
UPDATE=$(text_of "$DATA/Update.log" | tr -d '\r')
STAMP2=$(hex_bytes "$DATA/Hidden/install_stamp")
check "the second run wrote the same install stamp" test "$STAMP1" != "$STAMP2"
check_eq "$(grep '^\*' <<<"$UPDATE")" "*$STAMP1"$'\n'"*$STAMP2" "stamp lines of Update.log"
group1=$(sed -n '2,/^\*/p' <<<"$UPDATE" | grep -v '^\*' | sort)
group2=$(sed -n "/^\\*$STAMP2\$/,\$p" <<<"$UPDATE" | tail -n +2 | sort)
check_eq "$group1" "$(text_of "$E2E_WORK/Update.log.1" | tr -d '\r' | grep -F '\Modèles de document\' | sort)" \
    "first group of Update.log"
check_eq "$(sed 's/\t!$//' <<<"$group2")" \
    "$(files_under "$DATA_WIN\\Public" | grep -vF '\Modèles de document\')" "second group of Update.log"

check "the help file of the first run is gone" test -f "$D/Velmorra.chm"
e2e_end
