#include "wizard/MessageTexts.h"

#include "instutils/SafeFiles.h"

const char* const kMsgLicenceRefused =
    "L'installation de ce programme est liée à l'acceptation de l'ensemble des termes\r"
    "du Contrat de Licence du traitement de texte Velmorra.\r"
    "Voulez-vous vraiment annuler l'installation d'Velmorra ?";

const char* const kMsgConfirmCancel =
    "L'installation n'est pas terminée !\r\r"
    "Si vous interrompez le programme d'installation maintenant,\r"
    "Velmorra ne sera pas correctement installé.\r\r"
    "Vous pourrez relancer ce programme plus tard\r"
    "afin de terminer l'installation d'Velmorra.\r\r"
    "Pour poursuivre l'installation maintenant,\r"
    "cliquez sur \"Non\".\r\r"
    "Pour interrompre l'installation,\r"
    "cliquez sur \"Abandonner\".";

const char* const kMsgNoTempFolder =
    "Windows n'indique ni le dossier des fichiers temporaires ni le dossier Mes documents :\r"
    "l'installation ne peut pas avoir lieu.";

const char* const kMsgTempUnnameable =
    "Windows nomme le dossier temporaire avec des caractères que l'installation ne peut pas écrire, "
    "et ce dossier n'a pas de nom court :\rl'installation ne peut pas avoir lieu.";

const char* const kMsgOutOfMemory =
    "La mémoire disponible ne suffit pas pour poursuivre l'installation.\r"
    "Fermez d'autres applications, puis réessayez.";
const char* const kMsgSessionEndRefused =
    "Installation de Velmorra en cours : veuillez attendre la fin de la copie des fichiers.";

namespace {
const char* const kCaptions[4] = {"Avertissement", "Erreur", "Information", "Confirmation"};
const char* const kButtons[8] = {"&Oui", "&Non", "OK", "Annuler", "A&bandonner", "&Réessayer", "I&gnorer", "To&ut"};
const int kResults[8] = {6, 7, 1, 2, 3, 4, 5, 8};

bool Has(uint16_t buttons, int bit) { return (buttons >> bit) & 1; }
}  // namespace

const char* DialogCaption(int type)
{
    return type >= 0 && type < 4 ? kCaptions[type] : "";
}

const char* ButtonCaption(int bit)
{
    return bit >= 0 && bit < 8 ? kButtons[bit] : "";
}

int ButtonResult(int bit)
{
    return bit >= 0 && bit < 8 ? kResults[bit] : 0;
}

int DefaultButtonBit(uint16_t buttons)
{
    if (Has(buttons, 2)) return 2;
    if (Has(buttons, 0)) return 0;
    return -1;
}

int CancelButtonBit(uint16_t buttons)
{
    if (Has(buttons, 3)) return 3;
    if (Has(buttons, 1)) return 1;
    if (Has(buttons, 2)) return 2;
    return -1;   // Esc presses nothing rather than a button that is not there
}

std::string DisplayText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}
