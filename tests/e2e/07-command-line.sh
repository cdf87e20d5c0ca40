#!/usr/bin/env bash
# The "-d" switch over saved settings: "-D" is not the switch, and switches the program does not
# read ("/X", "/D" without "=") leave the wizard to come up; "-d" followed by a folder with a
# space wins over MAINDIR and later arguments. The saved components (with bits beyond the
# eight kept), the empty list of document types and an old last-run version are read back.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin command-line

mkdir -p "$(unix_path 'C:\Ancien')"
reg_add() { wine reg add "HKCU\\$1" /v "$2" "${@:3}" /f >/dev/null 2>&1 || die "cannot preset $2"; }
reg_add "$INSTALL_KEY" MAINDIR /d 'C:\Ancien'
reg_add "$INSTALL_KEY" 'COMPS_FR (1.6.5.8)' /t REG_DWORD /d 65546     # bits 1, 3 and 16
reg_add "$INSTALL_KEY" EXTENSIONS /d ''
reg_add "$INTERNAL_KEY" LastRunVer /t REG_DWORD /d 20003999
SAVED=$(reg_values HKCU "$INSTALL_KEY")

# "-D" is not the switch: the saved folder; cancelled before copying, nothing is saved.
setup_start '-DC:\Ailleurs' /X /D 'C:\Ailleurs'
next_to_page 0 2
check_eq "$(edit_text)" 'C:\Ancien' "destination with -D, /X and /D without ="
press "$CANCEL"
answer 'A&bandonner'
setup_wait_exit 30 "$ABANDONED"
check_eq "$(reg_values HKCU "$INSTALL_KEY")" "$SAVED" "Install key after cancelling"

DEST='C:\Mes logiciels\Velmorra'
D=$(unix_path "$DEST")
VLM="\"$DEST\\vlm.exe\""
setup_start "-d$DEST" '-dC:\Autre'
next_to_page 0 2
check_eq "$(edit_text)" "$DEST" "destination with -d"
next_to_page 2 4
press "$NEXT"
wait_page 6
check_eq "$(controls | awk -F'\t' '$2 == "Button" && $6 ~ /^Documents/ { printf "%s", $5 }')" 0000 \
    "association boxes with an empty saved list"
next_to_page 6 7
check "no association command \"$VLM -assoc adpr\"" wait_line "$D/vlm-starts.log" "$VLM -assoc adpr"
finish_without_launch

check_eq "$(reg_values HKCU "$INSTALL_KEY" | sort)" "$(printf '%s\n' \
    'COMPS_FR (1.6.5.8)=dword:65546' 'EXTENSIONS=sz:' 'INSTALLTOALL=dword:1' 'LAUNCH=dword:0' \
    "MAINDIR=sz:$DEST")" "Install key"
check_eq "$(uninstall_values | grep '^UninstallString=')" "UninstallString=sz:$VLM -ui" "uninstall command"
check_eq "$(find "$(unix_path 'C:\Ancien')" -mindepth 1)" "" "files in the saved folder"
check_eq "$(find "$(unix_path 'C:\Autre')" 2>/dev/null)" "" "files in the second argument's folder"

# Components 0, 1 and 3 as saved, and the insert collections for an old last-run version.
DATA=$(unix_path "$(special_folder 35)\\Velmorra\\Public")
same_as_payload vlm.exe "$D/vlm.exe"
same_as_payload Velmorra.chm "$D/Velmorra.chm"
same_as_payload us.zlx "$DATA/Orthographe/us.zlx"
same_as_payload "Collections d'inserts/Index.txt" "$DATA/Collections d'inserts/Index.txt"
for absent in "$D/Coupe de mots.dat" "$DATA/Orthographe/French.asc" \
    "$DATA/Modèles de document" "$DATA/Basic.asn"; do
    check "${absent#$WINEPREFIX/} of a component not chosen was installed" test ! -e "$absent"
done
e2e_end
