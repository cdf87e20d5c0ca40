#include "install/Switches.h"

#include <cstddef>

const char* const kComponentKeys[8] = {"app", "help", "spell-fr", "spell-en", "hyphen", "templates", "inserts", "sound"};

namespace {

const char* const kAssocKeys[4] = {"rtf", "cod", "doc", "docx"};

std::string AsciiUpper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

std::string Unquoted(const std::string& value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

// The comma-separated items of a value, each looked up among keys (case-insensitive); false
// when one is unknown. An empty value has no items.
template <size_t N>
bool KeyBits(const std::string& value, const char* const (&keys)[N], uint32_t& bits)
{
    bits = 0;
    size_t start = 0;
    while (start < value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        const std::string item = AsciiUpper(value.substr(start, end - start));
        size_t key = 0;
        while (key < N && AsciiUpper(keys[key]) != item)
            ++key;
        if (key == N)
            return false;
        bits |= 1u << key;
        start = end + 1;
    }
    return true;
}

bool IsFullPath(const std::string& path)
{
    const bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
                       path[1] == ':' && path[2] == '\\';
    return drive || path.compare(0, 2, "\\\\") == 0;
}

enum class Taken { Yes, BadValue, Unknown };

// Applies one switch. Unknown: a name, or a form ("/D" without "=", "/S=1"), the program does
// not read.
Taken TakeSwitch(const std::string& name, const std::string& value, bool hasValue, Switches& s)
{
    uint32_t bits = 0;
    if (!hasValue) {
        if (name == "/S") s.Silent = true;
        else if (name == "/?") s.Help = true;
        else if (name == "/CURRENTUSER") s.CurrentUser = true;
        else if (name == "/LAUNCH") s.Launch = true;
        else return Taken::Unknown;
        return Taken::Yes;
    }
    bool good = true;
    if (name == "/D") {
        if ((good = IsFullPath(value))) s.Destination = value;
    } else if (name == "/COMPONENTS") {
        if ((good = KeyBits(value, kComponentKeys, bits))) s.Components = uint8_t(bits | 1);   // the word processor always comes
    } else if (name == "/ASSOC") {
        if ((good = KeyBits(value, kAssocKeys, bits)))
            s.Associations = AssocBoxes{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
    } else if (name == "/LOG") {
        if ((good = !value.empty())) s.LogFile = value;
    } else {
        return Taken::Unknown;
    }
    return good ? Taken::Yes : Taken::BadValue;
}

}  // namespace

Switches ParseSwitches(const std::vector<std::string>& args)
{
    Switches s;
    std::string firstBad, firstUnknown;
    bool unknownFirst = false;
    size_t i = 0;
    // The wizard's own "-d<folder>" keeps its meaning as the first argument.
    if (!args.empty() && args[0].compare(0, 2, "-d") == 0)
        s.Destination = args[i++].substr(2);
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // The wizard has always ignored other arguments ("-D...", a second "-d...").
        if (arg.empty() || arg[0] != '/')
            continue;
        const size_t equals = arg.find('=');
        const std::string name = AsciiUpper(arg.substr(0, equals));
        std::string value = equals == std::string::npos ? std::string() : Unquoted(arg.substr(equals + 1));
        if (name == "/D")
            while (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '/')
                value += " " + args[++i];
        // Read on past a problem: a later /S still decides how it is told.
        const Taken taken = TakeSwitch(name, value, equals != std::string::npos, s);
        if (taken == Taken::Unknown && firstUnknown.empty()) {
            firstUnknown = arg;
            unknownFirst = firstBad.empty();
        } else if (taken == Taken::BadValue && firstBad.empty()) {
            firstBad = arg;
        }
    }
    // Without /S the wizard has always gone past what it does not read; a bad value is named.
    s.Problem = s.Silent && unknownFirst ? firstUnknown : firstBad;
    return s;
}

std::string UsageText(const std::string& problem)
{
    std::string text = problem.empty() ? std::string() : "Option ou valeur incorrecte : " + problem + "\r\r";
    return text +
           "Options du programme d'installation :\r"
           "/S : installation silencieuse, sans fenêtre ni question\r"
           "/D=dossier : dossier d'installation (chemin complet)\r"
           "/COMPONENTS=clés : composants, séparés par des virgules : app, help, spell-fr, spell-en, "
           "hyphen, templates, inserts, sound\r"
           "/ASSOC=ext : documents associés : rtf, cod, doc, docx (vide : aucun)\r"
           "/CURRENTUSER : raccourcis pour l'utilisateur actuel seulement\r"
           "/LAUNCH : démarrer le traitement de texte à la fin\r"
           "/LOG=fichier : journal de l'installation\r"
           "/? : cette aide";
}
