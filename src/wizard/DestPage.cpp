#include "wizard/DestPage.h"

#include <cstdint>
#include "instutils/PathText.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"
#include "wizard/FileCtrl.h"

void DriveWatchTick(TDriveComboBox& drives) {
    uint32_t mask = Sys().LogicalDrives();
    if (mask == drives.DriveMask) return;
    std::string shown = drives.SelectedText();
    uint32_t old = drives.DriveMask;
    drives.RebuildRows(mask);

    if (static_cast<int32_t>(mask) < static_cast<int32_t>(old)) {
        int bit = static_cast<unsigned char>(drives.CurrentDrive) - 'a';
        if (bit >= 0 && bit < 32 && (mask & (1u << bit))) {
            drives.SelectRowWithText(shown);
            return;
        }
        // The shown drive has gone: back to the Program Files drive, if there is one.
        std::string programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
        if (programFiles.empty() || !IsAsciiLetter(programFiles[0])) return;
        Sys().LowerCase(programFiles);
        drives.SelectDrive(programFiles[0]);
        return;
    }
    for (int n = 2; n <= 25; ++n) {
        if ((mask & (1u << n)) && !(old & (1u << n))) {
            drives.SelectDrive(static_cast<char>('a' + n));
            return;
        }
    }
}
