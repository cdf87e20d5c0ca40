// What an installation keeps of itself: its log, the component bits and the size it takes.
#include "install/InstallRecord.h"

#include <vector>
#include "engine/ResConst.h"
#include "instutils/FileHelpers.h"
#include "instutils/PathText.h"
#include "instutils/SafeFiles.h"
#include "install/Settings.h"

void OpenInstallLog(InstallRecord& record, TAttachedFiles& files, const std::string& mainDir, bool portable)
{
    record.Log = InstallLog();
    record.FileName.clear();
    record.HandTo(files);
    if (!portable) {
        // Before anything is read or written there; a removable drive is left as it gives it.
        ProtectInstallFolder(mainDir, files.Shared, record.Log);
        record.FileName = JoinPath(mainDir, "Install.log");
        if (FileExists(record.FileName))
            record.Log.Load(record.FileName);   // what could be read stays; it never throws
    }
    record.Started = true;
}

void SaveInstallLogQuietly(const InstallRecord& record, SharedData& shared, bool portable)
{
    if (portable)
        return;
    record.Log.Save(record.FileName, shared);   // a log not written does not stop the program's end
}

uint32_t SavedComponentBits(uint32_t saved, uint8_t chosen)
{
    std::vector<bool> checked(8);
    for (int i = 1; i < 8; ++i)
        checked[size_t(i)] = (chosen >> i) & 1;
    return ComponentMask(saved, checked);
}

uint32_t InstalledKb(const TAttachedFiles& files, uint8_t chosen, const std::string& mainDir)
{
    uint64_t bytes = 0;
    for (int i = 0; i < 8; ++i)
        if ((chosen >> i) & 1)
            bytes += uint32_t(files.ComponentBytes(ComponentFileLists[i], mainDir));
    return uint32_t((bytes + 1023) / 1024);
}
