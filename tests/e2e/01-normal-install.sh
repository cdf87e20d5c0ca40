#!/usr/bin/env bash
# A first installation with every component and the default choices, walked page by page;
# then the files, their dates, the data folders, the registry, the logs, the shortcuts, the
# association command and the launch of the installed program.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin normal-install

setup_start
check_eq "$(button_enabled "$BACK")" hidden "Back on the welcome page"
next_to_page 0 1
check "the licence shown is not the payload's Licence.txt" \
    cmp -s <(edit_text | tr -d '\r'; echo) <(text_of "$PAYLOAD/Licence.txt" | tr -d '\r')
check_eq "$(checkbox "J'&accepte l'Accord de licence ci-dessus dans son intégralité.")" 1 "licence box at first"
next_to_page 1 2
PROGRAM_FILES=$(special_folder 38)
DEST="$PROGRAM_FILES\\Velmorra"
check_eq "$(edit_text)" "$DEST" "default destination"
next_to_page 2 4
check_eq "$(checkbox 'Installer pour &tous les utilisateurs de cet ordinateur')" 1 "all-users box at first"
press "$NEXT"
wait_page 6
check_eq "$(controls | awk -F'\t' '$2 == "Button" && $6 ~ /^Documents/ { printf "%s", $5 }')" 0100 \
    "association boxes at first (RTF, COD, DOC, DOCX)"
press "$NEXT"
wait_page 7
check_eq "$(button_enabled "$CANCEL")" 0 "Cancel on the last page"
check_eq "$(checkbox '&Lancer Traitement de texte Velmorra tout de suite')" 1 "launch box at first"

D=$(unix_path "$DEST")
VLM="\"$DEST\\vlm.exe\""
check "no association command \"$VLM -assoc adpr_cod\"" wait_line "$D/vlm-starts.log" "$VLM -assoc adpr_cod"

press "$FINISH"
need ctl wait Velmorra 20 "the installed word processor was not launched"
ctl close Velmorra
setup_wait_exit
wine_idle
check_eq "$(tr -d '\r' <"$D/vlm-starts.log")" "$VLM -assoc adpr_cod"$'\n'"$VLM" "starts of the installed program"
check_eq "$(tr -d '\r' <"$D/vlm-cwd.log")" "$DEST"$'\n'"$DEST" "current folders of the installed program's starts"

# Files and dates.
DATA_WIN="$(special_folder 35)\\Velmorra"
DATA=$(unix_path "$DATA_WIN")
PUBLIC=$DATA/Public
while IFS= read -r name; do
    case $name in
    vlm.exe | Licence.txt | Velmorra.chm | "Coupe de mots.dat") same_as_payload "$name" "$D/$name" ;;
    Basic.asn | "Modèles de document/"* | "Collections d'inserts/"*) same_as_payload "$name" "$PUBLIC/$name" ;;
    *.asc | *.zlx | *.tlx | *.cache) same_as_payload "$name" "$PUBLIC/Orthographe/$name" ;;
    *) fail "payload file $name has no place in this test" ;;
    esac
done < <(payload_files)
same_as_payload "English (American).cache" "$PUBLIC/Orthographe/English (British).cache"
check_eq "$(cat "$DATA/Velmorra.ini")" "$VELMORRA_INI" "Velmorra.ini"
check_eq "$(stat -c %s "$DATA/Velmorra.ini")" 82 "size of Velmorra.ini"
check "install_stamp is not the installation's date-time" stamp_is_now "$DATA/Hidden/install_stamp"

# Registry.
check_eq "$(reg_values HKCU "$INSTALL_KEY" | sort)" "$(printf '%s\n' \
    'COMPS_FR (1.6.5.8)=dword:2147483646' 'EXTENSIONS=sz:B' 'INSTALLTOALL=dword:1' 'LAUNCH=dword:1' \
    "MAINDIR=sz:$DEST")" "Install key"
check "no Internal key" reg_values HKCU "$INTERNAL_KEY"
check_eq "$(uninstall_values | grep -v '^EstimatedSize=' | sort)" "$(printf '%s\n' \
    'DisplayName=sz:Traitement de texte Velmorra' "UninstallString=sz:$VLM -ui" "QuietUninstallString=sz:$VLM -ui /S" \
    'DisplayVersion=sz:2.0.6.0' 'Publisher=sz:Velmorra' "DisplayIcon=sz:$DEST\\vlm.exe" "InstallLocation=sz:$DEST" \
    'NoModify=dword:1' 'NoRepair=dword:1' | sort)" "uninstall entry"
# The KB the components take, as the component page counts them.
check "EstimatedSize is over 100 KB" test "$(uninstall_values | sed -n 's/^EstimatedSize=dword://p')" -gt 100

# Install.log: the program's files and the shortcuts, each once; the data under Public not.
PROGRAMS="$(special_folder 23)\\$LINK_NAME"
DESKTOP="$(special_folder 25)\\$LINK_NAME"
LOG=$D/Install.log
check "Install.log lines do not all end with CR LF" crlf_lines "$LOG"
check_eq "$(duplicate_lines "$LOG")" "" "duplicate lines in Install.log"
check_eq "$(text_of "$LOG" | tr -d '\r' | grep -v '^Made Dir: ' | sort)" "$(printf 'File Copy: %s\n' \
    "$DEST\\vlm.exe" "$DEST\\Licence.txt" "$DEST\\Velmorra.chm" "$DEST\\Coupe de mots.dat" \
    "$DATA_WIN\\Public\\Basic.asn" "$PROGRAMS" "$DESKTOP" | sort)" "File Copy lines of Install.log"
made=$(text_of "$LOG" | tr -d '\r' | grep -n -m1 -xF -e "Made Dir: $DEST" -e "Made Dir: $DEST\\" | cut -d: -f1)
copied=$(text_of "$LOG" | tr -d '\r' | grep -n -m1 -xF "File Copy: $DEST\\vlm.exe" | cut -d: -f1)
if [ -z "$made" ] || [ -z "$copied" ] || [ "$made" -gt "$copied" ]; then
    fail "Install.log has no \"Made Dir: $DEST\" line before vlm.exe"
fi
check "Install.log has no \"Made Dir: $DATA_WIN\\Hidden\\\"" grep -qxF "Made Dir: $DATA_WIN\\Hidden\\" <(text_of "$LOG" | tr -d '\r')
check_eq "$(text_of "$LOG" | tr -d '\r' | grep -F "Made Dir: $DATA_WIN\\Public")" "" \
    "folders made while logging is suspended"

# Update.log: the stamp, then every file under Public, the kept-if-present ones marked.
UPDATE=$DATA/Update.log
check "Update.log lines do not all end with CR LF" crlf_lines "$UPDATE"
check_eq "$(head -n 1 "$UPDATE" | tr -d '\r')" "*$(hex_bytes "$DATA/Hidden/install_stamp")" "stamp line of Update.log"
check_eq "$(text_of "$UPDATE" | tr -d '\r' | tail -n +2 | sed 's/\t!$//' | sort)" \
    "$(files_under "$DATA_WIN\\Public")" \
    "files listed in Update.log"
for marked in French.asc persodicfr.tlx "English (British).cache" userdicen.tlx; do
    check "Update.log does not mark $marked" grep -qxF "$DATA_WIN\\Public\\Orthographe\\$marked"$'\t!\r' "$UPDATE"
done
for plain in français.zlx us.zlx; do
    check "Update.log does not list $plain unmarked" grep -qxF "$DATA_WIN\\Public\\Orthographe\\$plain" <(text_of "$UPDATE" | tr -d '\r')
done

# Shortcuts for all users.
for link in "$PROGRAMS" "$DESKTOP"; do
    check_eq "$(ctl lnk "$link" | tr -d '\r')" "$(printf '%s\n' "target=$DEST\\vlm.exe" "dir=$DEST" \
        "desc=$LINK_DESC" "args=")" "shortcut $link"
done
for csidl in 2 16; do
    check "a shortcut for the current user (folder $csidl)" test ! -e "$(unix_path "$(special_folder $csidl)\\$LINK_NAME")"
done

check_eq "$(reg_value HKCU 'Software\Classes\.cod' @)" Velmorra.Document "COD documents registered by the program"
check_eq "$(find "$WINEPREFIX/drive_c" -name '~Installation*' | head -3)" "" "temporary files left"
e2e_end
