#include "engine/ResConst.h"

const char* const ComponentNames[8] = {
    "Traitement de texte Velmorra",
    "Aide d'Velmorra",
    "Vérificateur d'orthographe française",
    "Vérificateur d'orthographe anglaise",
    "Module de coupe de mots",
    "Modèles de document",
    "Collections d'inserts",
    "Module sonore de base",
};

// One archive name per line; a line ending in a backslash stands for a whole folder.
const char* const ComponentFileLists[8] = {
    "vlm.exe\rLicence.txt",
    "Velmorra.chm",
    "French.asc\rfrançais.zlx\rpersodicfr.tlx",
    "English (American).asc\rEnglish (British).asc\renglish.zlx\rus.zlx\ruk.zlx\ruserdicen.tlx\r"
    "English (American).cache",
    "Coupe de mots.dat",
    "Modèles de document\\",
    "Collections d'inserts\\",
    "Basic.asn",
};

const char* const PageTitles[8] = {
    "Merci de faire confiance à Velmorra",
    "Accord de Licence",
    "Choix du dossier d'installation",
    "Choix des composants à installer",
    "L'installation peut commencer",
    "Installation",
    "Types de document à associer à Velmorra",
    "Installation terminée",
};
