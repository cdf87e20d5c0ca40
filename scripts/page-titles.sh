# shellcheck shell=bash
# The wizard's page titles, by page number: what the scripts that drive it wait for.
PAGE_TITLES=(
    "Merci de faire confiance à Velmorra"
    "Accord de Licence"
    "Choix du dossier d'installation"
    "Choix des composants à installer"
    "L'installation peut commencer"
    "Installation"
    "Types de document à associer à Velmorra"
    "Installation terminée"
)
