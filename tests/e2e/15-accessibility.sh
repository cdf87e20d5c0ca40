#!/usr/bin/env bash
# The component list read from outside as a screen reader reads it (Active Accessibility): on
# the components page the rows are check buttons named as the catalogue, all checked and the
# word processor's unavailable; Space on the second row changes that row's check and no other.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin accessibility

A11Y=$E2E_BUILD/a11yctl.exe
[ -f "$A11Y" ] || die "no $A11Y (build it: bash scripts/build.sh win)"
rows() { wine "$A11Y" rows "$WIZARD" 2>/dev/null | tr -d '\r'; }

LABEL="Désactivez les cases des composants que vous ne voulez pas installer ou mettre à jour (l'espace disque requis est affiché sur la droite) :"
expected() {  # states of the second row
    printf '%s\n' \
        "list"$'\t'"list"$'\t'"focused"$'\t'"$LABEL" \
        "1"$'\t'"checkbutton"$'\t'"mixed,unavailable"$'\t'"Traitement de texte Velmorra" \
        "2"$'\t'"checkbutton"$'\t'"$1"$'\t'"Aide d'Velmorra" \
        "3"$'\t'"checkbutton"$'\t'"checked"$'\t'"Vérificateur d'orthographe française" \
        "4"$'\t'"checkbutton"$'\t'"checked"$'\t'"Vérificateur d'orthographe anglaise" \
        "5"$'\t'"checkbutton"$'\t'"checked"$'\t'"Module de coupe de mots" \
        "6"$'\t'"checkbutton"$'\t'"checked"$'\t'"Modèles de document" \
        "7"$'\t'"checkbutton"$'\t'"checked"$'\t'"Collections d'inserts" \
        "8"$'\t'"checkbutton"$'\t'"checked"$'\t'"Module sonore de base"
}

setup_start
next_to_page 0 3
check_eq "$(rows)" "$(expected checked,selected,focused)" "the component list on entry"

xdotool key space
deadline=$((SECONDS + 10))
until [ "$(rows)" = "$(expected selected,focused)" ] || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
check_eq "$(rows)" "$(expected selected,focused)" "the component list after Space"

press "$CANCEL"
need ctl answer 'A&bandonner' 10 "no cancel question"
setup_wait_exit 30 "$ABANDONED"
e2e_end
