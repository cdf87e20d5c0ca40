#include <gtest/gtest.h>

#include "support/FakeMachineTest.h"
#include "wizard/CompPage.h"

namespace {

// Three components as the form fills them: row 0 grayed, the others ticked.
class CompPageTest : public StandardMachineTest {
protected:
    CompPageTest() {
        for (int i = 0; i < 3; ++i) {
            rows.Add("Composant " + std::to_string(i));
            rows.SetState(i, cbChecked);
        }
        rows.SetState(0, cbGrayed);
        rows.SetValue(0, 3 * 1048576);
        rows.SetValue(1, 1048576);
        rows.SetValue(2, 512 * 1024);
        rows.OnClickCheck = [this] { KeepFirstComponent(rows, compIds, [this] { ++updates; }); };
        rows.OnRowChanged = [this](int row) { repainted.push_back(row); };
    }

    CheckListModel rows;
    std::vector<int> compIds{0, 1, 2};
    int updates = 0;
    std::vector<int> repainted;
};

using ComponentCheckList = CompPageTest;

TEST_F(ComponentCheckList, UserToggleTicksAnUncheckedRowAndClearsATickedOne) {
    rows.Toggle(1);
    EXPECT_EQ(rows.State(1), cbUnchecked);
    rows.Toggle(1);
    EXPECT_EQ(rows.State(1), cbChecked);
    EXPECT_EQ(updates, 2);
}

TEST_F(ComponentCheckList, StateSetFromCodeRepaintsTheRowWithoutClickCheck) {
    repainted.clear();
    rows.SetState(2, cbUnchecked);
    EXPECT_EQ(repainted, std::vector<int>{2});
    EXPECT_EQ(updates, 0);
}

TEST_F(ComponentCheckList, FirstComponentStaysGrayedAndTheTotalsAreNotRecomputed) {
    rows.Toggle(0);
    EXPECT_EQ(rows.State(0), cbGrayed);
    rows.Toggle(0);
    EXPECT_EQ(rows.State(0), cbGrayed);
    EXPECT_EQ(updates, 0);
}

TEST_F(ComponentCheckList, FirstRowOfAnotherComponentCanBeCleared) {
    compIds = {1, 0, 2};
    rows.Toggle(0);
    EXPECT_EQ(rows.State(0), cbUnchecked);
    EXPECT_EQ(updates, 1);
}

TEST_F(ComponentCheckList, RowsOutOfRangeAreIgnored) {
    rows.Toggle(7);
    rows.SetState(-1, cbChecked);
    rows.Select(9);
    EXPECT_EQ(rows.State(7), cbUnchecked);
    EXPECT_EQ(rows.Text(7), "");
    EXPECT_EQ(rows.Selected(), -1);
    EXPECT_EQ(updates, 0);
}

using ComponentDiskSpace = CompPageTest;

TEST_F(ComponentDiskSpace, NeedCountsTheGrayedAndTickedRowsOnly) {
    rows.SetState(2, cbUnchecked);
    DiskSpaceView view = ComputeDiskSpace(rows, "C:\\Program Files\\Velmorra");
    EXPECT_EQ(view.Required, "4 Mo");
    EXPECT_EQ(view.Available, "10 240 Mo");
    EXPECT_TRUE(view.Enough);
}

TEST_F(ComponentDiskSpace, FreeSpaceEqualToTheNeedIsEnough) {
    machine.AddDrive('E', kDriveRemovable, 512, 4 * 1048576 + 512 * 1024);
    DiskSpaceView view = ComputeDiskSpace(rows, "E:\\Velmorra");
    EXPECT_EQ(view.Required, "4 608 Ko");
    EXPECT_EQ(view.Available, "4 608 Ko");
    EXPECT_TRUE(view.Enough);
}

TEST_F(ComponentDiskSpace, OneByteShortIsNotEnough) {
    machine.AddDrive('E', kDriveRemovable, 512, 4 * 1048576 + 512 * 1024 - 1);
    EXPECT_FALSE(ComputeDiskSpace(rows, "E:\\Velmorra").Enough);
}

TEST_F(ComponentDiskSpace, FailedFreeSpaceQueryCountsAsNoSpace) {
    machine.DriveAt("C").freeSpaceFails = true;
    rows.SetState(1, cbUnchecked);
    rows.SetState(2, cbUnchecked);
    rows.SetValue(0, 0);   // even a need of nothing is not met
    DiskSpaceView view = ComputeDiskSpace(rows, "C:\\Program Files\\Velmorra");
    EXPECT_EQ(view.Available, "0 Ko");
    EXPECT_FALSE(view.Enough);
}

TEST_F(ComponentDiskSpace, NetworkDestinationIsMeasuredOnItsShare) {
    machine.AddShare("\\\\Serveur\\Partage").freeBytes = 1048576;
    DiskSpaceView view = ComputeDiskSpace(rows, "\\\\Serveur\\Partage\\Velmorra");
    EXPECT_EQ(view.Available, "1 Mo");
    EXPECT_FALSE(view.Enough);
}

TEST_F(ComponentDiskSpace, RowSizeIsRoundedUpToTheDestinationClusters) {
    machine.AddDrive('E', kDriveRemovable, 32768);
    EXPECT_EQ(RowSizeText(1, "E:\\Velmorra"), "32 Ko");   // the folder need not exist yet
    EXPECT_EQ(RowSizeText(65536, "E:\\Velmorra"), "64 Ko");
    EXPECT_EQ(RowSizeText(0, "C:\\Program Files"), "0 Ko");
}

}  // namespace
