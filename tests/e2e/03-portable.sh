#!/usr/bin/env bash
# A portable installation onto a removable drive, named with "-d": everything in the
# destination, no association page, no uninstall entry, logs or shortcuts; the launch still
# happens. A second run over it keeps what the user may have changed.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin portable

STICK=$E2E_WORK/stick
declare_drive E floppy "$STICK"
DEST='E:\Velmorra'
D=$STICK/Velmorra

setup_start "-d$DEST"
next_to_page 0 2
check_eq "$(edit_text)" "$DEST" "destination from -d"
next_to_page 2 4
check_eq "$(checkbox 'Installer pour &tous les utilisateurs de cet ordinateur')" hidden "all-users box"
press "$NEXT"
wait_page 7
check_eq "$(checkbox '&Lancer Traitement de texte Velmorra tout de suite')" 1 "launch box"
press "$FINISH"
need ctl wait Velmorra 20 "the word processor was not launched from the drive"
ctl close Velmorra
setup_wait_exit
wine_idle
check_eq "$(tr -d '\r' <"$D/vlm-starts.log")" "\"$DEST\\vlm.exe\"" "starts of the installed program (no association)"

while IFS= read -r name; do
    case $name in
    *.asc | *.zlx | *.tlx | *.cache) same_as_payload "$name" "$D/Orthographe/$name" ;;
    *) same_as_payload "$name" "$D/$name" ;;
    esac
done < <(payload_files)
same_as_payload "English (American).cache" "$D/Orthographe/English (British).cache"
check_eq "$(cat "$D/Velmorra.ini")" "$VELMORRA_INI" "Velmorra.ini"
check_eq "$(cd "$STICK" && find . \( -name install_stamp -o -name Install.log -o -name Update.log \
    -o -name Hidden -o -name Public \))" "" "made on the drive"
check "a shared data folder was made" test ! -e "$(unix_path "$(special_folder 35)\\Velmorra")"

check_eq "$(reg_values HKCU "$INSTALL_KEY" | sort)" "$(printf '%s\n' \
    'COMPS_FR (1.6.5.8)=dword:2147483646' 'EXTENSIONS=sz:B' 'INSTALLTOALL=dword:1' 'LAUNCH=dword:1' \
    "MAINDIR=sz:$DEST")" "Install key"
check_eq "$(uninstall_values)" "" "uninstall entry"
for csidl in 2 16 23 25; do
    check "a shortcut in folder $csidl" test ! -e "$(unix_path "$(special_folder $csidl)\\$LINK_NAME")"
done

# Over the first: what exists is kept unless its date differs from the archive's.
echo mine >"$D/Orthographe/French.asc"
echo mine >"$D/Velmorra.ini"
touch -d '2001-02-03 04:05:06' "$D/Orthographe/français.zlx"
written=$(stat -c %Y "$D/Orthographe/us.zlx")
echo mine >"$D/Orthographe/us.zlx"
touch -d "@$written" "$D/Orthographe/us.zlx"
rm "$D/Basic.asn"

setup_start "-d$DEST"
next_to_page 0 4
press "$NEXT"
wait_page 7
finish_without_launch

check_eq "$(cat "$D/Orthographe/French.asc")" mine "French.asc, kept when present"
check_eq "$(cat "$D/Velmorra.ini")" mine "Velmorra.ini, kept when present"
check_eq "$(cat "$D/Orthographe/us.zlx")" mine "us.zlx, kept with the archive's date"
same_as_payload français.zlx "$D/Orthographe/français.zlx"
same_as_payload Basic.asn "$D/Basic.asn"
check_eq "$(reg_value HKCU "$INSTALL_KEY" LAUNCH)" 0 "LAUNCH after the second run"
check_eq "$(tr -d '\r' <"$D/vlm-starts.log" | wc -l)" 1 "starts of the installed program after the second run"
e2e_end
