#include "setup/Startup.h"

#include <exception>
#include <memory>
#include <new>

#include "engine/AttachFiles.h"
#include "instutils/FileHelpers.h"
#include "platform/Platform.h"
#include "setup/Silent.h"
#include "install/Switches.h"

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

int RunWithArchive(StartupHost& host, const Switches& switches)
{
    RunLog log(switches.Silent ? switches.LogFile : std::string());
    auto reader = std::make_unique<TAttachedFiles>();
    AttachedFiles = reader.get();
    int exitCode;
    try {
        if (switches.Silent) {
            exitCode = RunSilentInstall(switches, log);
        } else {
            host.RunWizard();
            exitCode = host.FinishAfterWizard();
        }
    } catch (...) {
        // A worker may still be reading the archive; it goes with the process.
        reader.release();
        throw;
    }
    AttachedFiles = nullptr;
    reader.reset();
    // The run's temporary files go here, where an error still reaches start-up's boundary.
    // What stays is said in /S; the wizard's user has seen the end already.
    const std::vector<std::string> staying = DeleteTempItems();
    if (switches.Silent) EndRunLog(log, staying, exitCode);
    return exitCode;
}

// Start-up's own failures; in /S nothing is shown.
int StartupFailed(bool silent, const char* text, unsigned icon, int exitCode)
{
    if (!silent)
        Sys().ShowMessageBox(text, kApplicationTitle, icon);
    return exitCode;
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
    const Switches switches = ParseSwitches(host.Arguments());
    if (!RunningOnSupportedSystem()) {
        // No caption: the system's own.
        if (!switches.Silent)
            Sys().ShowMessageBox(kUnsupportedSystemText, "", kIconExclamation);
        return kExitUnsupportedSystem;
    }
    if (switches.Help || !switches.Problem.empty()) {
        const int code = switches.Problem.empty() ? kExitFinished : kExitBadParameter;
        if (switches.Silent)
            LogUsage(switches.LogFile, UsageText(switches.Problem), code);
        else
            host.ShowUsage(UsageText(switches.Problem));
        return code;
    }
    // Two copies would write over each other's logs and temporary files.
    if (AnotherCopyRuns(Sys().ClaimGuard("VelmorraSetup"), Sys().UserSid()))
        return StartupFailed(switches.Silent, kAlreadyRunningText, kIconExclamation, kExitAlreadyRunning);
    host.SetApplicationIcon();
    host.SetApplicationTitle(kApplicationTitle);
    try {
        return RunWithArchive(host, switches);
    } catch (const std::bad_alloc&) {
        // The runtime's own text is English and says nothing to the user.
        return StartupFailed(switches.Silent, kOutOfMemoryText, kIconError, kExitOutOfMemory);
    } catch (const std::exception& error) {
        return StartupFailed(switches.Silent, error.what(), kIconError, kExitFailure);
    }
}
