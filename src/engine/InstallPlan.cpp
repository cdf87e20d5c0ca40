#include "engine/InstallPlan.h"

#include <algorithm>
#include <bit>
#include <climits>

#include "engine/Questions.h"
#include "instutils/DateTime.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/TextError.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

namespace {

const char* const kSoundSettings =
    "[\\Software\\Velmorra Word Processor\\Sounds\\General Settings]\r\nSoundScheme=Basic.asn";

bool EndsWithBackslash(const std::string& text) { return !text.empty() && text.back() == '\\'; }

// A link planted in the shared data folder is worth telling; any other failure stays quiet.
void WriteDataFile(const std::string& path, const std::string& bytes, SharedData& shared,
                   const QuestionService& questions)
{
    if (WriteTextFile(path, bytes, shared) == WriteOutcome::Refused)
        questions.Ask(LinkRefusedText(path), mtError, mbOK);
}

int32_t Clamp32(int64_t value) { return static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX)); }

// The 8 bytes of a double, lowest first, as the installed program reads them back.
std::string LittleEndianBytes(double value)
{
    uint64_t bits = std::bit_cast<uint64_t>(value);
    std::string bytes(8, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
    return bytes;
}

}  // namespace

void TAttachedFiles::ClearComponentFiles(int component) { ComponentFiles.at(size_t(component)).clear(); }

bool TAttachedFiles::AddFilesByName(const std::string& name, const std::string& folder, TInstallMode mode,
                                    int component)
{
    auto& list = ComponentFiles.at(size_t(component));
    const TInstallMode effective = ForceOverwrite ? Always : mode;
    const bool wholeFolder = EndsWithBackslash(name);
    bool planned = false;
    std::string publicPrefix;   // looked up once, when the first file is planned
    for (const auto& entry : Entries) {
        if (wholeFolder ? !StartsWithNoCase(entry->Name, name) : !EqualNoCase(entry->Name, name)) continue;

        const std::string target = FullTarget ? folder : JoinPath(folder, entry->Name);
        const bool keepExisting = effective != Always && FileExists(target) &&
                                  (effective == IfAbsent || FileModifiedTime(target) == entry->Date);
        if (!keepExisting) {
            auto file = std::make_unique<TFileToInstall>();
            file->Entry = entry.get();
            file->TargetPath = target;
            file->Logged = !Log || !Log->Suspended();
            list.push_back(std::move(file));
            planned = true;
            // Looked up directly: the update list names the shared public folder, whatever the plan used.
            if (publicPrefix.empty())
                publicPrefix = JoinPath(SpecialFolder(CSIDL_COMMON_APPDATA), "Velmorra\\Public\\");
            if (StartsWithNoCase(target, publicPrefix)) PublicFiles.push_back(mode == IfAbsent ? target + "\t!" : target);
        }
        if (!wholeFolder) break;
    }
    return planned;
}

int32_t TAttachedFiles::PlannedBytes() const
{
    int64_t total = 0;
    for (const auto& list : ComponentFiles)
        for (const auto& file : list) total += file->Entry->Size;
    return Clamp32(total);
}

int32_t TAttachedFiles::ComponentBytes(const std::string& fileList, const std::string& destFolder) const
{
    const std::vector<std::string> lines = SplitLines(fileList);
    // Asking the drive moves the current directory there and back: once per list, not per file.
    const int32_t cluster = ClusterSize(destFolder);
    int64_t total = 0;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const bool wholeFolder = EndsWithBackslash(*line);
        for (auto entry = Entries.rbegin(); entry != Entries.rend(); ++entry) {
            const TAttachedFile& e = **entry;
            if (wholeFolder ? !StartsWithNoCase(e.Name, *line) : !EqualNoCase(e.Name, *line)) continue;
            if (e.Size > 0) total += RoundUpToClusterSize(cluster, e.Size);
            if (!wholeFolder) break;
        }
    }
    return Clamp32(total);
}

const char* const kNoDataFolderText =
    "Windows n'indique ni le dossier des données communes à tous les utilisateurs\r"
    "ni le dossier Mes documents : l'installation ne peut pas avoir lieu.";

std::string SharedDataRoot()
{
    std::string folder = SpecialFolder(CSIDL_COMMON_APPDATA);
    if (folder.empty()) folder = SpecialFolder(CSIDL_PERSONAL);
    return folder;
}

std::string DataFolder(const PlanChoices& choices, int role, SharedData& shared, Recorder& recorder)
{
    std::string folder;
    if (choices.IsPortable) {
        folder = choices.MainDir;
        WithTrailingBackslash(folder);
        if (role == SpellingFolder) folder += "Orthographe\\";
    } else if (role == SharedDataFolder) {
        folder = SharedDataRoot();
        // Never a relative "Velmorra" in whatever the current folder is.
        if (folder.empty()) throw TextError(kNoDataFolderText);
        WithTrailingBackslash(folder);
        folder += "Velmorra";
    } else if (role == HiddenDataFolder) {
        folder = DataFolder(choices, SharedDataFolder, shared, recorder) + "Hidden";
    } else if (role == PublicDataFolder) {
        folder = DataFolder(choices, SharedDataFolder, shared, recorder) + "Public";
    } else {
        folder = DataFolder(choices, PublicDataFolder, shared, recorder) + "Orthographe\\";
    }
    if (!folder.empty()) {
        WithTrailingBackslash(folder);
        MakeFolderPath(folder, shared, recorder);
    }
    return folder;
}

std::string LinkRefusedText(const std::string& file)
{
    return "Impossible de créer le fichier " + file +
           ".\rLe dossier des données partagées passe par un lien (jonction ou lien symbolique) "
           "qui pourrait mener ailleurs : rien n'y a été écrit.";
}

std::string DestFile(const std::string& mainDir, const std::string& name) { return JoinPath(mainDir, name); }

namespace {

// The folder of the one request inside it is the whole target path.
class FullTargetRequest {
public:
    explicit FullTargetRequest(TAttachedFiles& files) : files_(files) { files_.FullTarget = true; }
    ~FullTargetRequest() { files_.FullTarget = false; }
    FullTargetRequest(const FullTargetRequest&) = delete;
    FullTargetRequest& operator=(const FullTargetRequest&) = delete;
private:
    TAttachedFiles& files_;
};

bool Chosen(const PlanChoices& choices, int component) { return (choices.ChosenComps >> component) & 1; }

void PlanSpellingFiles(TAttachedFiles& files, const PlanChoices& c)
{
    auto spelling = [&] { return DataFolder(c, SpellingFolder, files.Shared, files.Records()); };
    if (Chosen(c, 2)) {
        files.AddFilesByName("French.asc", spelling(), IfAbsent, 2);
        files.AddFilesByName("français.zlx", spelling(), IfChanged, 2);
        files.AddFilesByName("persodicfr.tlx", spelling(), IfAbsent, 2);
    }
    if (Chosen(c, 3)) {
        files.AddFilesByName("English (American).asc", spelling(), IfAbsent, 3);
        files.AddFilesByName("English (American).cache", spelling(), IfAbsent, 3);
        files.AddFilesByName("English (British).asc", spelling(), IfAbsent, 3);
        // The British speller starts from a copy of the American cache.
        {
            FullTargetRequest whole(files);
            files.AddFilesByName("English (American).cache", spelling() + "English (British).cache", IfAbsent, 3);
        }
        files.AddFilesByName("english.zlx", spelling(), IfChanged, 3);
        files.AddFilesByName("us.zlx", spelling(), IfChanged, 3);
        files.AddFilesByName("uk.zlx", spelling(), IfChanged, 3);
        files.AddFilesByName("userdicen.tlx", spelling(), IfAbsent, 3);
    }
}

void WriteSoundSettings(TAttachedFiles& files, const PlanChoices& c, const QuestionService& questions)
{
    const std::string iniFile = DataFolder(c, SharedDataFolder, files.Shared, files.Records()) + "Velmorra.ini";
    // A portable copy keeps the user's own sound settings.
    if (c.IsPortable && FileExists(iniFile)) return;
    WriteDataFile(iniFile, kSoundSettings, files.Shared, questions);
}

}  // namespace

double BuildInstallPlan(TAttachedFiles& files, const PlanChoices& c, const QuestionService& questions)
{
    for (int component = 0; component < 8; ++component) files.ClearComponentFiles(component);
    files.ForceOverwrite = !c.IsPortable;
    auto data = [&](int role) { return DataFolder(c, role, files.Shared, files.Records()); };

    files.AddFilesByName("vlm.exe", c.MainDir, IfChanged, 0);
    files.AddFilesByName("Licence.txt", c.MainDir, IfChanged, 0);
    Sys().DeleteFileAt(DestFile(c.MainDir, "Velmorra.exe"));   // left by older versions
    if (Chosen(c, 1)) files.AddFilesByName("Velmorra.chm", c.MainDir, IfChanged, 1);
    {
        LogSuspension quiet(files.Log);
        PlanSpellingFiles(files, c);
    }
    if (Chosen(c, 4)) files.AddFilesByName("Coupe de mots.dat", c.MainDir, IfChanged, 4);
    {
        LogSuspension quiet(files.Log);
        if (Chosen(c, 5))
            files.AddFilesByName("Modèles de document\\", data(PublicDataFolder), IfAbsent, 5);
        // Versions before 2.0.4 did not install the collections on their own.
        if (Chosen(c, 6) || c.LastRunVer < 20004000)
            files.AddFilesByName("Collections d'inserts\\", data(PublicDataFolder), IfAbsent, 6);
    }
    if (Chosen(c, 7)) files.AddFilesByName("Basic.asn", data(PublicDataFolder), IfChanged, 7);

    if (Chosen(c, 7)) WriteSoundSettings(files, c, questions);
    if (c.IsPortable) return 0;
    const double stamp = NowDateTime();
    WriteDataFile(data(HiddenDataFolder) + "install_stamp", LittleEndianBytes(stamp), files.Shared, questions);
    return stamp;
}
