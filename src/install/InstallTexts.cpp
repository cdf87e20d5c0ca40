#include "install/InstallTexts.h"

#include "install/Destination.h"
#include "instutils/SafeFiles.h"

const char* const kMsgAppRunning =
    "Un exemplaire du traitement de texte Velmorra est en cours d'exécution sur votre système.\r"
    "Veuillez fermer tous les exemplaires du traitement de texte Velmorra actuellement ouverts\r"
    "avant de cliquer sur le bouton \"OK\" ci-dessous.";

std::string DestinationProblemText(const DestCheck& check)
{
    const std::string quoted = "« " + check.part + " »";
    switch (check.problem) {
    case DestProblem::None:
        return std::string();
    case DestProblem::NotFullPath:
        return "Le dossier d'installation doit être un chemin complet, qui commence par une lettre de lecteur\r"
               "(par exemple C:\\Velmorra) ou par un partage réseau (\\\\serveur\\partage\\Velmorra).";
    case DestProblem::DriveRelative:
        return quoted + " n'est pas un chemin complet : il manque une barre oblique inverse\r"
               "après « " + check.part.substr(0, 2) + " » (par exemple " + check.part.substr(0, 2) + "\\Velmorra).";
    case DestProblem::ParentPart:
        return "Le dossier d'installation ne peut pas contenir « .. » : indiquez le chemin complet du dossier.";
    case DestProblem::ControlChar:
        return "Le dossier d'installation contient un caractère de contrôle, qu'un nom de dossier ne peut pas contenir.";
    case DestProblem::ForbiddenChar:
        return "Le caractère " + quoted + " ne peut pas figurer dans un nom de dossier.\r"
               "Les caractères < > : \" / | ? * sont interdits.";
    case DestProblem::ReservedName:
        return quoted + " est un nom réservé par Windows et ne peut pas servir de nom de dossier.";
    case DestProblem::EndsWithDotOrSpace:
        return "Le nom de dossier " + quoted + " ne peut pas se terminer par un point ou une espace.";
    case DestProblem::TooLong:
        return "Le chemin du dossier d'installation est trop long : il doit compter au plus " +
               DecimalText(static_cast<int64_t>(check.maxLength)) + " caractères.";
    }
    return std::string();
}
