// velmorra-demo-payload <folder> [scale]: writes the demo product's files, the same bytes and
// dates at every run; scale (default 1) multiplies every generated file's size, names unchanged.
// Names on disk are UTF-8 (the packer converts them); texts inside
// the files are Windows-1252, as the word processor's own files are.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utime.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// This file is compiled to Windows-1252 literals; u8 literals keep names in UTF-8.
std::string Utf8(std::u8string_view s) {
    return std::string(s.begin(), s.end());
}

size_t scale = 1;

size_t Scaled(size_t bytes) {
    return bytes * scale;
}

class Rng {
public:
    explicit Rng(const std::string& seed) {
        state_ = 1469598103934665603ull;  // FNV-1a of the seed
        for (unsigned char c : seed)
            state_ = (state_ ^ c) * 1099511628211ull;
    }
    uint64_t Next() {  // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }

private:
    uint64_t state_;
};

const char* const kWords[] = {
    "le", "la", "les", "un", "une", "des", "du", "de", "et", "ou", "mais", "donc", "car", "pour",
    "avec", "sans", "dans", "sur", "sous", "entre", "chez", "vers", "après", "avant", "très",
    "document", "texte", "page", "paragraphe", "lettre", "modèle", "police", "marge", "colonne",
    "tableau", "image", "cadre", "note", "titre", "chapitre", "ligne", "mot", "phrase", "style",
    "fichier", "dossier", "imprimante", "écran", "fenêtre", "menu", "bouton", "clavier", "souris",
    "correcteur", "dictionnaire", "orthographe", "grammaire", "césure", "accent", "virgule",
    "rédaction", "rapport", "réunion", "client", "facture", "adresse", "signature", "date",
    "écrire", "lire", "corriger", "imprimer", "enregistrer", "ouvrir", "fermer", "copier",
    "coller", "insérer", "choisir", "modifier", "aligner", "centrer", "souligner", "numéroter",
    "simple", "rapide", "clair", "précis", "élégant", "pratique", "léger", "complet", "propre",
    "nouveau", "ancien", "premier", "dernier", "grand", "petit", "long", "court", "français",
    "chaque", "toute", "notre", "votre", "leur", "cette", "ces", "il", "elle", "nous", "vous",
    "est", "sont", "était", "sera", "peut", "doit", "fait", "donne", "reste", "garde", "montre",
    "aussi", "encore", "toujours", "jamais", "souvent", "ensemble", "ainsi", "enfin", "déjà",
    "matin", "soir", "semaine", "année", "été", "hiver", "printemps", "automne", "fête", "cœur",
    "maison", "bureau", "école", "ville", "village", "jardin", "rivière", "forêt", "montagne",
};
const size_t kWordCount = sizeof kWords / sizeof kWords[0];

const char* const kSyllables[] = {
    "ba", "be", "ca", "ce", "cha", "che", "da", "dé", "fa", "fi", "ga", "gou", "la", "lé", "li",
    "lo", "ma", "mé", "mi", "mo", "na", "né", "ni", "no", "pa", "pé", "pra", "pro", "ra", "ré",
    "ri", "ro", "sa", "se", "si", "so", "ta", "té", "ti", "to", "tra", "tré", "va", "vé", "vi",
    "vo", "ment", "tion", "eau", "ette", "ière", "age", "eur", "oir", "ain", "on", "an", "in",
};
const size_t kSyllableCount = sizeof kSyllables / sizeof kSyllables[0];

std::string Prose(Rng& rng, size_t bytes) {
    std::string out;
    while (out.size() < bytes) {
        const size_t sentences = 3 + rng.Below(4);
        for (size_t s = 0; s < sentences; ++s) {
            const size_t words = 6 + rng.Below(11);
            for (size_t w = 0; w < words; ++w) {
                std::string word = kWords[rng.Below(kWordCount)];
                if (w == 0 && word[0] >= 'a' && word[0] <= 'z')
                    word[0] = static_cast<char>(word[0] - 'a' + 'A');
                out += word;
                out += (w + 1 == words) ? ". " : (rng.Below(9) == 0 ? ", " : " ");
            }
        }
        out += "\r\n\r\n";
    }
    out.resize(bytes);
    return out;
}

std::string WordList(Rng& rng, size_t bytes) {
    std::vector<std::string> words;
    size_t total = 0;
    while (total < bytes) {
        std::string word;
        const size_t parts = 2 + rng.Below(3);
        for (size_t p = 0; p < parts; ++p)
            word += kSyllables[rng.Below(kSyllableCount)];
        total += word.size() + 2;
        words.push_back(word);
    }
    std::sort(words.begin(), words.end());
    std::string out;
    for (const std::string& w : words)
        out += w + "\r\n";
    out.resize(bytes);
    return out;
}

std::string RandomBytes(Rng& rng, size_t bytes) {
    std::string out(bytes, '\0');
    for (size_t i = 0; i < bytes; i += 8) {
        const uint64_t v = rng.Next();
        for (size_t k = 0; k < 8 && i + k < bytes; ++k)
            out[i + k] = static_cast<char>(v >> (8 * k));
    }
    return out;
}

// Blocks of noise (pictures, sounds, packed dictionaries) among blocks of text.
std::string Mixed(Rng& rng, size_t bytes, unsigned noisePercent, const std::string& header) {
    std::string out = header;
    while (out.size() < bytes) {
        const size_t block = 2048 + rng.Below(6144);
        out += rng.Below(100) < noisePercent ? RandomBytes(rng, block) : Prose(rng, block);
    }
    out.resize(bytes);
    return out;
}

std::string Rtf(Rng& rng, const std::string& title, size_t bytes) {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Times New Roman;}{\\f1 Arial;}}\r\n";
    out += "{\\info{\\title " + title + "}{\\author Velmorra}}\r\n";
    out += "\\paperw11906\\paperh16838\\margl1418\\margr1418\\margt1418\\margb1418\r\n";
    out += "\\pard\\qc\\f1\\fs32\\b " + title + "\\b0\\par\r\n\\pard\\f0\\fs24 ";
    const std::string body = Prose(rng, bytes > out.size() + 8 ? bytes - out.size() - 8 : 16);
    for (char c : body)
        out += c == '\n' ? std::string("\\par\n") : std::string(1, c);
    out += "\\par\r\n}";
    return out;
}

const char kLicence[] =
    // One line per paragraph: the licence box wraps them to its width.
    "CONTRAT DE LICENCE DU TRAITEMENT DE TEXTE VELMORRA\r\n"
    "(version de démonstration)\r\n"
    "\r\n"
    "Veuillez lire attentivement ce contrat avant d'installer le logiciel. En installant, en "
    "copiant ou en utilisant le traitement de texte Velmorra, vous acceptez d'être lié par les "
    "termes du présent contrat. Si vous ne les acceptez pas, n'installez pas le logiciel.\r\n"
    "\r\n"
    "1. Objet\r\n"
    "Le présent contrat vous accorde le droit non exclusif d'installer et d'utiliser le "
    "traitement de texte Velmorra, ses dictionnaires, ses modèles de document et ses collections "
    "d'inserts (ci-après « le logiciel ») sur les ordinateurs dont vous avez l'usage.\r\n"
    "\r\n"
    "2. Copies\r\n"
    "Vous pouvez faire des copies du logiciel à des fins de sauvegarde. Chaque copie doit "
    "conserver les mentions de propriété qui figurent sur l'original.\r\n"
    "\r\n"
    "3. Restrictions\r\n"
    "Vous ne pouvez ni louer, ni prêter, ni vendre le logiciel, ni le modifier, ni le décompiler, "
    "sauf dans les limites permises par la loi.\r\n"
    "\r\n"
    "4. Vos documents\r\n"
    "Les documents que vous rédigez avec le logiciel vous appartiennent. Les modèles et les "
    "inserts fournis peuvent être librement repris dans vos documents.\r\n"
    "\r\n"
    "5. Garantie\r\n"
    "Le logiciel est fourni « en l'état ». L'éditeur ne garantit pas qu'il répondra à vos besoins "
    "ni qu'il fonctionnera sans interruption ni erreur.\r\n"
    "\r\n"
    "6. Responsabilité\r\n"
    "Dans la mesure permise par la loi, l'éditeur ne saurait être tenu pour responsable des "
    "dommages indirects, pertes de données ou manques à gagner résultant de l'utilisation du "
    "logiciel. Pensez à enregistrer régulièrement votre travail.\r\n"
    "\r\n"
    "7. Durée\r\n"
    "Ce contrat prend effet à l'installation et dure tant que vous utilisez le logiciel. Il prend "
    "fin si vous en enfreignez les termes ; vous devez alors détruire toutes les copies du "
    "logiciel.\r\n"
    "\r\n"
    "8. Droit applicable\r\n"
    "Le présent contrat est régi par le droit français.\r\n"
    "\r\n"
    "Merci d'avoir choisi Velmorra, le traitement de texte compact, rapide, puissant, et par "
    "dessus tout pratique.\r\n";

struct Folder {
    const char8_t* name;
    std::vector<const char8_t*> files;
};

const std::vector<Folder> kTemplates = {
    {u8"Correspondance", {u8"Lettre personnelle", u8"Lettre à en-tête", u8"Lettre de réclamation",
                          u8"Lettre de motivation", u8"Carte de vœux", u8"Faire-part", u8"Invitation"}},
    {u8"Administratif", {u8"Attestation sur l'honneur", u8"Procuration", u8"Demande de congé",
                         u8"Résiliation d'abonnement", u8"Compte rendu de réunion", u8"Note de service"}},
    {u8"Commerce", {u8"Devis", u8"Facture", u8"Bon de commande", u8"Relance de paiement", u8"Avoir",
                    u8"Fiche produit"}},
    {u8"Rapports", {u8"Rapport annuel", u8"Rapport de stage", u8"Mémoire", u8"Thèse", u8"Sommaire"}},
    {u8"CV", {u8"CV classique", u8"CV moderne", u8"CV créatif", u8"Lettre de candidature"}},
    {u8"Divers", {u8"Recette de cuisine", u8"Menu de fête", u8"Affichette", u8"Calendrier",
                  u8"Liste de courses", u8"Étiquettes", u8"Fax"}},
};

// Insert collections: sub-folder, name stem, how many numbered inserts.
struct Collection {
    const char8_t* folder;
    const char8_t* stem;
    int count;
};

const std::vector<Collection> kCollections = {
    {u8"Cadres", u8"Cadre", 18},
    {u8"Bordures", u8"Bordure", 14},
    {u8"Puces", u8"Puce", 16},
    {u8"Symboles", u8"Symbole", 12},
    {u8"Cliparts/Animaux", u8"Animal", 12},
    {u8"Cliparts/Fêtes", u8"Fête", 12},
    {u8"Cliparts/Bureau", u8"Bureau", 10},
    {u8"Formules/Politesse", u8"Formule de politesse", 10},
    {u8"Formules/Salutations", u8"Salutation", 8},
};

class Writer {
public:
    explicit Writer(fs::path root) : root_(std::move(root)) {}

    void Write(const std::string& relative, const std::string& bytes) {
        const fs::path file = root_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw std::runtime_error(file.string() + ": cannot be written");
        // 2024-03-15 10:20:30 local, then 7 min 42 s apart: even seconds, as DOS times keep them.
        std::tm tm{};
        tm.tm_year = 124;
        tm.tm_mon = 2;
        tm.tm_mday = 15;
        tm.tm_hour = 10;
        tm.tm_min = 20;
        tm.tm_sec = 30 + static_cast<int>(count_) * 462;
        tm.tm_isdst = -1;
        const std::time_t when = std::mktime(&tm);
        utimbuf times{when, when};
        if (utime(file.c_str(), &times) != 0)
            throw std::runtime_error(file.string() + ": cannot set its time");
        ++count_;
        total_ += bytes.size();
    }

    size_t count() const { return count_; }
    size_t total() const { return total_; }

private:
    fs::path root_;
    size_t count_ = 0;
    size_t total_ = 0;
};

void WriteProgramFiles(Writer& w) {
    w.Write("Licence.txt", kLicence);
    Rng help("Velmorra.chm");
    w.Write("Velmorra.chm", Mixed(help, Scaled(1600000), 55, "Aide du traitement de texte Velmorra (démonstration)\r\n"));
    Rng hyph("Coupe de mots.dat");
    w.Write("Coupe de mots.dat", Mixed(hyph, Scaled(420000), 55, "Coupure des mots, français\r\n"));
    Rng sound("Basic.asn");
    w.Write("Basic.asn", Mixed(sound, Scaled(650000), 85, "Velmorra sound scheme: Basic\r\n"));
}

void WriteSpelling(Writer& w) {
    struct Dict {
        const char8_t* name;
        size_t bytes;
        int kind;  // 0 word list, 1 packed dictionary, 2 cache
    };
    const Dict dicts[] = {
        {u8"French.asc", 220000, 0},         {u8"français.zlx", 2100000, 1},
        {u8"persodicfr.tlx", 2000, 0},       {u8"English (American).asc", 160000, 0},
        {u8"English (British).asc", 150000, 0}, {u8"english.zlx", 1500000, 1},
        {u8"us.zlx", 320000, 1},             {u8"uk.zlx", 310000, 1},
        {u8"userdicen.tlx", 1500, 0},        {u8"English (American).cache", 480000, 2},
    };
    for (const Dict& d : dicts) {
        const std::string name = Utf8(d.name);
        Rng rng(name);
        if (d.kind == 0)
            w.Write(name, WordList(rng, Scaled(d.bytes)));
        else
            w.Write(name, Mixed(rng, Scaled(d.bytes), d.kind == 1 ? 80 : 50, "VLMDICT\r\n"));
    }
}

void WriteTemplates(Writer& w) {
    const std::string root = Utf8(u8"Modèles de document/");
    for (const Folder& folder : kTemplates) {
        for (const char8_t* file : folder.files) {
            const std::string relative = root + Utf8(folder.name) + "/" + Utf8(file) + ".vmt";
            Rng rng(relative);
            w.Write(relative, Rtf(rng, "Modèle Velmorra", Scaled(8000 + rng.Below(32000))));
        }
    }
}

void WriteInserts(Writer& w) {
    const std::string root = Utf8(u8"Collections d'inserts/");
    for (const Collection& c : kCollections) {
        for (int i = 1; i <= c.count; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, " %02d", i);
            const std::string relative = root + Utf8(c.folder) + "/" + Utf8(c.stem) + number + ".vin";
            Rng rng(relative);
            w.Write(relative, Mixed(rng, Scaled(8000 + rng.Below(32000)), 70, "VLMINSERT\r\n"));
        }
    }
    Rng rng("index");
    w.Write(root + "Index.txt", Prose(rng, Scaled(6000)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && (scale = std::strtoul(argv[2], nullptr, 10)) == 0)) {
        std::fprintf(stderr, "usage: velmorra-demo-payload <folder> [scale]\n");
        return 2;
    }
    try {
        Writer w(argv[1]);
        WriteProgramFiles(w);
        WriteSpelling(w);
        WriteTemplates(w);
        WriteInserts(w);
        std::printf("velmorra-demo-payload: %zu files, %zu bytes in %s\n", w.count(), w.total(), argv[1]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmorra-demo-payload: %s\n", e.what());
        return 1;
    }
}
