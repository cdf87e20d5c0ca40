#!/usr/bin/env bash
# A second installation onto a drive that fills up: replacing the program (an older, smaller
# one) fails, the question comes, and "A&bandonner" leaves every file there as it was, the old
# program and "Install.log" included, with no temporary file beside them. The drive is a small tmpfs; where mounting is
# not allowed the scenario is skipped (the host tests cover the same road over the fake machine).
source "$(dirname "$0")/lib/harness.sh"
e2e_begin full-disk

DISK=$E2E_WORK/disk
mkdir -p "$DISK"
# Room for the whole plan (the components page counts it all on the destination's drive).
if ! mount -t tmpfs -o size=24m tmpfs "$DISK" 2>/dev/null; then
    echo "   (full-disk: a tmpfs cannot be mounted here; skipped)"
    echo "PASS $E2E_NAME (skipped)"
    exit 0
fi
# Detached at once even while Wine still holds a file there, so the work folder can go.
trap 'umount -l "$DISK"; e2e_cleanup' EXIT

declare_drive F hd "$DISK"

DEST='F:\Velmorra'
D=$DISK/Velmorra

install_once() {
    setup_start "-d$DEST"
    next_to_page 0 4
}

install_once
install_from_ready
same_as_payload vlm.exe "$D/vlm.exe"
# An older, smaller program: writing the new one over it in place would destroy it half-way.
printf 'ancienne version' >"$D/vlm.exe"
BEFORE=$(cd "$D" && find . -type f -exec md5sum {} + | sort)

# The space was checked on the components page; the disk fills up while the ready page is shown.
install_once
dd if=/dev/zero of="$DISK/filler" bs=64k >/dev/null 2>&1
check_eq "$(df --output=avail "$DISK" | tail -1 | tr -d ' ')" 0 "free space on the full disk"
press "$NEXT"
expect_dialog Erreur 'A&bandonner|&Réessayer|I&gnorer' "Impossible de créer le fichier \"$DEST\\vlm.exe\".
Ce fichier est peut-être actuellement utilisé par une autre application." "error on the full disk"
answer 'A&bandonner'
setup_wait_exit 30 "$ABANDONED"
wine_idle
check_eq "$(cd "$D" && find . -type f -exec md5sum {} + | sort)" "$BEFORE" "files after abandoning on the full disk"
e2e_end
