#include "setup/Startup.h"

#include <exception>
#include <memory>
#include <new>

#include "engine/AttachFiles.h"
#include "platform/Platform.h"

const char* const kApplicationTitle = "Installation du traitement de texte Velmorra";
const char* const kUnsupportedSystemText = "Ce programme nécessite Windows 2000 ou un système Windows plus récent.";
const char* const kOutOfMemoryText =
    "La mémoire disponible ne suffit pas pour préparer l'installation.\r"
    "Fermez d'autres applications, puis lancez à nouveau le programme d'installation.";
const char* const kAlreadyRunningText =
    "Le programme d'installation de Velmorra est déjà en cours d'exécution. "
    "Terminez l'installation en cours avant de le relancer.";

namespace {

enum : unsigned { kIconError = 0x10, kIconExclamation = 0x30 };
enum : unsigned { kPlatformNt = 2 };

bool RunningOnSupportedSystem()
{
    unsigned platformId = 0, major = 0;
    return Sys().GetVersion(platformId, major) && IsSupportedSystem(platformId, major);
}

void RunWithArchive(StartupHost& host)
{
    auto reader = std::make_unique<TAttachedFiles>();
    AttachedFiles = reader.get();
    try {
        host.RunWizard();
        host.FinishAfterWizard();
    } catch (...) {
        // A worker may still be reading the archive; it goes with the process.
        reader.release();
        throw;
    }
    AttachedFiles = nullptr;
    reader.reset();   // also removes the temporary files
}

}  // namespace

bool IsSupportedSystem(unsigned platformId, unsigned major)
{
    return platformId == kPlatformNt && major > 4;
}

bool AnotherCopyRuns(const GuardClaim& claim, const std::string& userSid)
{
    if (claim.held) return false;
    const std::string& owner = claim.ownerSid;
    return owner == "S-1-5-32-544" || owner == "S-1-5-18" || (!userSid.empty() && owner == userSid);
}

int RunSetup(StartupHost& host)
{
    host.PrepareSystem();
    if (!RunningOnSupportedSystem()) {
        // No caption: the system's own.
        Sys().ShowMessageBox(kUnsupportedSystemText, "", kIconExclamation);
        return 0;
    }
    // Two copies would write over each other's logs and temporary files.
    if (AnotherCopyRuns(Sys().ClaimGuard("VelmorraSetup"), Sys().UserSid())) {
        Sys().ShowMessageBox(kAlreadyRunningText, kApplicationTitle, kIconExclamation);
        return 0;
    }
    host.SetApplicationIcon();
    host.SetApplicationTitle(kApplicationTitle);
    try {
        RunWithArchive(host);
    } catch (const std::bad_alloc&) {
        // The runtime's own text is English and says nothing to the user.
        Sys().ShowMessageBox(kOutOfMemoryText, kApplicationTitle, kIconError);
        return 1;
    } catch (const std::exception& error) {
        Sys().ShowMessageBox(error.what(), kApplicationTitle, kIconError);
        return 1;
    }
    return 0;
}
