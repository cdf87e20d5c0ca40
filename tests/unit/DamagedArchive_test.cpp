// Archives that the packer never writes, as a damaged download could hold them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ArchiveBuilder.h"
#include "engine/AttachFiles.h"
#include "engine/InstallThread.h"
#include "instutils/InstallLog.h"
#include "support/FakeMachine.h"

namespace {

class DamagedArchive : public ::testing::Test {
protected:
    DamagedArchive()
    {
        machine.StandardSetup();
    }

    FakeMachine machine;
    UseFakeMachine use{machine};
    InstallLog log;
};

// The system cuts a path at a NUL, so the file written would not be the one checked and logged.
TEST_F(DamagedArchive, RefusesANameHoldingANulByte)
{
    const std::string name("..\0x.txt", 8);
    const std::string packed = ArchiveBuilder().Add("ok.txt", "1").Add(name, "2").Compressed();
    EXPECT_THROW(TAttachedFiles(reinterpret_cast<const uint8_t*>(packed.data()), packed.size()), ArchiveError);
}

TEST_F(DamagedArchive, DatesNoCalendarHoldsKeepTheWriteTime)
{
    machine.SetClock(2005, 6, 15, 14, 30, 20);
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        double date;
    } cases[] = {{"huge", 1e300}, {"minus-huge", -1e300}, {"inf", inf}, {"minus-inf", -inf},
                 {"nan", std::nan("")}, {"year-7375", 2e6}};
    ArchiveBuilder archive;
    for (const auto& c : cases) archive.Add(c.name, "x", c.date);
    auto files = archive.Open(&log);
    for (const auto& entry : files->Entries) {
        SCOPED_TRACE(entry->Name);
        const std::string target = "C:\\Dest\\" + entry->Name;
        EXPECT_TRUE(files->ExtractFile(entry.get(), "", target));
        EXPECT_EQ(machine.LastWrite(target), Dos(2005, 6, 15, 14, 30, 20));
    }
}

}  // namespace
