#include "support/FakeMachineTest.h"
#include "instutils/InstallLog.h"
#include "instutils/StringSet.h"

namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

class InstallLogTest : public StandardMachineTest {
protected:
    InstallLogTest() { CreateInstallLog(); }
};

TEST_F(InstallLogTest, AddLogLineSkipsLinesEqualWithoutRegardToCase) {
    AddLogLine("made dir: c:\\a\\é\\");
    AddLogLine("Made Dir: C:\\A\\É\\");
    AddLogLine("Made Dir: C:\\A\\E\\");
    EXPECT_EQ(*InstallLog, (Lines{"made dir: c:\\a\\é\\", "Made Dir: C:\\A\\E\\"}));
}

TEST_F(InstallLogTest, SuspensionNests) {
    SuspendLog();
    SuspendLog();
    AddLogLine("File Copy: C:\\a");
    ResumeLog();
    AddLogLine("File Copy: C:\\b");
    ResumeLog();
    AddLogLine("File Copy: C:\\c");
    EXPECT_EQ(*InstallLog, Lines{"File Copy: C:\\c"});
}

TEST(StringSet, KeepsEveryDistinctKeyOnceThroughItsGrowthAndClears) {
    StringSet set;
    EXPECT_FALSE(set.Contains(""));
    EXPECT_TRUE(set.Insert(""));
    for (int i = 0; i < 5000; ++i) EXPECT_TRUE(set.Insert("File Copy: C:\\" + std::to_string(i)));
    for (int i = 0; i < 5000; i += 7) EXPECT_FALSE(set.Insert("File Copy: C:\\" + std::to_string(i)));
    EXPECT_TRUE(set.Contains(""));
    EXPECT_TRUE(set.Contains("File Copy: C:\\4999"));
    EXPECT_FALSE(set.Contains("File Copy: C:\\5000"));
    set.Clear();
    EXPECT_FALSE(set.Contains("File Copy: C:\\1"));
    EXPECT_TRUE(set.Insert("File Copy: C:\\1"));
}

TEST(InstallLogWithoutLog, AddLogLineDoesNothing) {
    FakeMachine machine;
    UseFakeMachine use(machine);
    AddLogLine("File Copy: C:\\a");
    EXPECT_EQ(InstallLog, nullptr);
}

TEST(SplitLines, BreaksAtCrLfOrCrLfAndStopsAtNul) {
    EXPECT_EQ(SplitLines("A\rB\nC\r\nD"), (Lines{"A", "B", "C", "D"}));
    EXPECT_EQ(SplitLines("A\r\n\r\nB\r\n"), (Lines{"A", "", "B"}));
    EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("A\r\nB\0C\r\nD"s), (Lines{"A", "B"}));
    EXPECT_EQ(SplitLines(""), Lines{});
}

TEST_F(InstallLogTest, SaveEndsEveryLineWithCrLfAndFlushesBothTheNewFileAndItsReplacement) {
    AddLogLine("Made Dir: C:\\V\\");
    AddLogLine("File Copy: C:\\V\\vlm.exe");
    SaveInstallLog("C:\\Install.log");
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"), "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\vlm.exe\r\n");
    EXPECT_TRUE(machine.IsFlushed("C:\\Install.log"));
    SaveInstallLog("C:\\Install.log");
    EXPECT_TRUE(machine.IsFlushed("C:\\Install.log"));
}

TEST_F(InstallLogTest, LoadedLinesStayUnique) {
    machine.PutFile("C:\\Install.log", "Made Dir: C:\\V\\\nFile Copy: C:\\V\\a\r\n");
    LoadInstallLog("C:\\Install.log");
    AddLogLine("FILE COPY: c:\\v\\A");
    AddLogLine("File Copy: C:\\V\\b");
    EXPECT_EQ(*InstallLog, (Lines{"Made Dir: C:\\V\\", "File Copy: C:\\V\\a", "File Copy: C:\\V\\b"}));
}

// Zeros where a power loss kept the size but not the data: never an empty history.
TEST_F(InstallLogTest, ALogHoldingNulBytesIsMergedWithWhatCanStillBeRead) {
    machine.PutFile("C:\\Install.log", std::string(64, '\0'));
    LoadInstallLog("C:\\Install.log");
    EXPECT_TRUE(InstallLog->empty());
    AddLogLine("File Copy: C:\\V\\new.txt");
    machine.PutFile("C:\\Install.log", "Made Dir: C:\\V\\\r\nFile Cop\0\0\0\0\r\nFile Copy: C:\\V\\old.txt\r\n"s);
    SaveInstallLog("C:\\Install.log");
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"),
              "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\nFile Copy: C:\\V\\new.txt\r\n");
}

TEST_F(InstallLogTest, LogFileFailuresAreSwallowed) {
    AddLogLine("File Copy: C:\\a");
    LoadInstallLog("C:\\Missing.log");
    EXPECT_EQ(*InstallLog, Lines{"File Copy: C:\\a"});
    machine.LockFile("C:\\Install.log");
    SaveInstallLog("C:\\Install.log");
    EXPECT_FALSE(machine.Exists("C:\\Install.log"));
}

// A log that could not be read holds history that this run's lines alone would throw away.
TEST_F(InstallLogTest, AnUnreadableEarlierLogIsKeptOrMergedButNeverReplaced) {
    machine.PutFile("C:\\Install.log", "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\n");
    machine.DenyReading("C:\\Install.log");
    LoadInstallLog("C:\\Install.log");
    AddLogLine("File Copy: C:\\V\\new.txt");
    AddLogLine("made dir: c:\\v\\");
    SaveInstallLog("C:\\Install.log");
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"), "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\n");

    machine.DenyReading("C:\\Install.log", false);
    SaveInstallLog("C:\\Install.log");
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"),
              "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\nFile Copy: C:\\V\\new.txt\r\n");
}

TEST_F(InstallLogTest, AFullDiskKeepsTheEarlierLog) {
    machine.PutFile("C:\\Install.log", "File Copy: C:\\a\r\n");
    LoadInstallLog("C:\\Install.log");
    AddLogLine("File Copy: C:\\b");
    machine.DriveAt("C").full = true;
    SaveInstallLog("C:\\Install.log");
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"), "File Copy: C:\\a\r\n");
}

}  // namespace
