#include "support/FakeMachineTest.h"
#include "instutils/InstallLog.h"
#include "instutils/StringSet.h"

namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

class InstallLogTest : public StandardMachineTest {
protected:
    InstallLog log;
};

TEST_F(InstallLogTest, AddSkipsLinesEqualWithoutRegardToCase) {
    log.Add("made dir: c:\\a\\é\\");
    log.Add("Made Dir: C:\\A\\É\\");
    log.Add("Made Dir: C:\\A\\E\\");
    EXPECT_EQ(log.Lines(), (Lines{"made dir: c:\\a\\é\\", "Made Dir: C:\\A\\E\\"}));
}

TEST_F(InstallLogTest, SuspensionNests) {
    log.Suspend();
    log.Suspend();
    log.Add("File Copy: C:\\a");
    log.Resume();
    log.Add("File Copy: C:\\b");
    log.Resume();
    log.Add("File Copy: C:\\c");
    EXPECT_EQ(log.Lines(), Lines{"File Copy: C:\\c"});
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

TEST(SplitLines, BreaksAtCrLfOrCrLfAndStopsAtNul) {
    EXPECT_EQ(SplitLines("A\rB\nC\r\nD"), (Lines{"A", "B", "C", "D"}));
    EXPECT_EQ(SplitLines("A\r\n\r\nB\r\n"), (Lines{"A", "", "B"}));
    EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("A\r\nB\0C\r\nD"s), (Lines{"A", "B"}));
    EXPECT_EQ(SplitLines(""), Lines{});
}

TEST_F(InstallLogTest, SaveEndsEveryLineWithCrLfAndFlushesBothTheNewFileAndItsReplacement) {
    log.Add("Made Dir: C:\\V\\");
    log.Add("File Copy: C:\\V\\vlm.exe");
    log.Save("C:\\Install.log", sharedData);
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"), "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\vlm.exe\r\n");
    EXPECT_TRUE(machine.IsFlushed("C:\\Install.log"));
    log.Save("C:\\Install.log", sharedData);
    EXPECT_TRUE(machine.IsFlushed("C:\\Install.log"));
}

TEST_F(InstallLogTest, LoadedLinesStayUnique) {
    machine.PutFile("C:\\Install.log", "Made Dir: C:\\V\\\nFile Copy: C:\\V\\a\r\n");
    log.Load("C:\\Install.log");
    log.Add("FILE COPY: c:\\v\\A");
    log.Add("File Copy: C:\\V\\b");
    EXPECT_EQ(log.Lines(), (Lines{"Made Dir: C:\\V\\", "File Copy: C:\\V\\a", "File Copy: C:\\V\\b"}));
}

// Zeros where a power loss kept the size but not the data: never an empty history.
TEST_F(InstallLogTest, ALogHoldingNulBytesIsMergedWithWhatCanStillBeRead) {
    machine.PutFile("C:\\Install.log", std::string(64, '\0'));
    log.Load("C:\\Install.log");
    EXPECT_TRUE(log.Lines().empty());
    log.Add("File Copy: C:\\V\\new.txt");
    machine.PutFile("C:\\Install.log", "Made Dir: C:\\V\\\r\nFile Cop\0\0\0\0\r\nFile Copy: C:\\V\\old.txt\r\n"s);
    log.Save("C:\\Install.log", sharedData);
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"),
              "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\nFile Copy: C:\\V\\new.txt\r\n");
}

TEST_F(InstallLogTest, LogFileFailuresAreSwallowed) {
    log.Add("File Copy: C:\\a");
    log.Load("C:\\Missing.log");
    EXPECT_EQ(log.Lines(), Lines{"File Copy: C:\\a"});
    machine.LockFile("C:\\Install.log");
    EXPECT_FALSE(log.Save("C:\\Install.log", sharedData));
    EXPECT_FALSE(machine.Exists("C:\\Install.log"));
}

// A log that could not be read holds history that this run's lines alone would throw away.
TEST_F(InstallLogTest, AnUnreadableEarlierLogIsKeptOrMergedButNeverReplaced) {
    machine.PutFile("C:\\Install.log", "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\n");
    machine.DenyReading("C:\\Install.log");
    log.Load("C:\\Install.log");
    log.Add("File Copy: C:\\V\\new.txt");
    log.Add("made dir: c:\\v\\");
    log.Save("C:\\Install.log", sharedData);
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"), "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\n");

    machine.DenyReading("C:\\Install.log", false);
    log.Save("C:\\Install.log", sharedData);
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"),
              "Made Dir: C:\\V\\\r\nFile Copy: C:\\V\\old.txt\r\nFile Copy: C:\\V\\new.txt\r\n");
}

TEST_F(InstallLogTest, AFullDiskKeepsTheEarlierLog) {
    machine.PutFile("C:\\Install.log", "File Copy: C:\\a\r\n");
    log.Load("C:\\Install.log");
    log.Add("File Copy: C:\\b");
    machine.DriveAt("C").full = true;
    log.Save("C:\\Install.log", sharedData);
    EXPECT_EQ(machine.FileBytes("C:\\Install.log"), "File Copy: C:\\a\r\n");
}

}  // namespace
