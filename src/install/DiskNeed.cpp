#include "install/DiskNeed.h"

#include "engine/AttachFiles.h"
#include "engine/ResConst.h"
#include "instutils/DiskSpace.h"
#include "instutils/PathText.h"
#include "platform/Platform.h"

DiskSpaceView DiskSpaceFor(int32_t need, const std::string& mainDir)
{
    std::string root = DrivePart(mainDir);
    WithTrailingBackslash(root);
    uint64_t free = 0;
    const bool known = !root.empty() && Sys().FreeBytesForUser(root, free);
    if (!known) free = 0;

    DiskSpaceView view;
    view.Required = FormatSize(need);
    view.Available = FormatSize(static_cast<int64_t>(free));
    view.Enough = known && static_cast<int64_t>(free) >= static_cast<int64_t>(need);
    return view;
}

int32_t ChosenBytes(const TAttachedFiles& files, uint8_t chosen, const std::string& mainDir)
{
    uint32_t sum = 0;
    for (int i = 0; i < 8; ++i)
        if ((chosen >> i) & 1)
            sum += static_cast<uint32_t>(files.ComponentBytes(ComponentFileLists[i], mainDir));
    return static_cast<int32_t>(sum);
}
