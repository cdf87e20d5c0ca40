#include <atomic>

#include "support/FakeMachineTest.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"

namespace {

using Lines = std::vector<std::string>;

class MakeFolderPathTest : public StandardMachineTest {
protected:
    InstallLog log;
};

TEST_F(MakeFolderPathTest, MakesParentsFirstAndLogsEachOnce) {
    MakeFolderPath("C:\\A\\B", sharedData, log);
    EXPECT_TRUE(machine.IsFolder("C:\\A\\B"));
    EXPECT_EQ(log.Lines(), (Lines{"Made Dir: C:\\A\\", "Made Dir: C:\\A\\B"}));
    MakeFolderPath("C:\\A\\B", sharedData, log);
    MakeFolderPath("c:\\a\\b\\", sharedData, log);
    EXPECT_EQ(log.Lines().size(), 2u);
}

TEST_F(MakeFolderPathTest, ExistingFoldersAreNeverLogged) {
    MakeFolderPath("C:\\Program Files\\Velmorra\\", sharedData, log);
    EXPECT_EQ(log.Lines(), Lines{"Made Dir: C:\\Program Files\\Velmorra\\"});
}

TEST_F(MakeFolderPathTest, MissingDriveLogsTheWholeWalk) {
    MakeFolderPath("Z:\\A\\", sharedData, log);
    EXPECT_EQ(log.Lines(), (Lines{"Made Dir: Z:", "Made Dir: Z:\\", "Made Dir: Z:\\A\\"}));
    EXPECT_FALSE(machine.Exists("Z:\\A"));
}

TEST_F(MakeFolderPathTest, RelativePathWalkEndsAtEmptyText) {
    machine.MakeFolder("C:\\Work");
    machine.SetCurrentDir("C:\\Work");
    MakeFolderPath("A\\B", sharedData, log);
    EXPECT_EQ(log.Lines(), (Lines{"Made Dir: A\\", "Made Dir: A\\B"}));
    EXPECT_TRUE(machine.IsFolder("C:\\Work\\A\\B"));
    EXPECT_EQ(machine.GetCurrentDir(), "C:\\Work");
}

TEST_F(MakeFolderPathTest, APathOfThousandsOfLevelsDoesNotExhaustTheStack) {
    NullRecorder none;   // twenty thousand "Made Dir: " lines are not what this is about
    MakeFolderPath(std::string(20000, '\\'), sharedData, none);
    EXPECT_EQ(machine.GetCurrentDir(), "C:\\");
}

class FolderExistsTest : public StandardMachineTest {};

TEST_F(FolderExistsTest, TrueOnlyForPlainPathsOfExistingFolders) {
    machine.PutFile("C:\\WINNT\\win.ini");
    EXPECT_TRUE(FolderExists("C:\\"));
    EXPECT_TRUE(FolderExists("C:"));
    EXPECT_TRUE(FolderExists("c:\\winnt"));
    EXPECT_TRUE(FolderExists("C:\\WINNT\\"));
    EXPECT_FALSE(FolderExists("C:\\WINNT\\..\\WINNT"));
    EXPECT_FALSE(FolderExists("C:\\.\\WINNT"));
    EXPECT_FALSE(FolderExists("C:/WINNT"));
    EXPECT_FALSE(FolderExists("C:\\\\WINNT"));
    EXPECT_FALSE(FolderExists("C:\\WINNT\\win.ini"));
    EXPECT_FALSE(FolderExists("C:\\Missing"));
    EXPECT_FALSE(FolderExists(""));
}

TEST_F(FolderExistsTest, LeavesCurrentDirectoryAsItWas) {
    machine.SetCurrentDir("C:\\WINNT");
    FolderExists("C:\\Program Files");
    FolderExists("C:\\Missing");
    EXPECT_EQ(machine.GetCurrentDir(), "C:\\WINNT");
    EXPECT_EQ(CurrentDirectory(), "C:\\WINNT\\");
}

// The folder test of the wizard's drive watch may run while the worker makes folders.
TEST_F(FolderExistsTest, TwoThreadsNeverSeeEachOthersCurrentDirectory) {
    machine.MakeFolder("C:\\A");
    machine.MakeFolder("C:\\B");
    std::atomic<int> wrong{0};
    auto probe = [&](const char* present, const char* absent) {
        return [&wrong, present, absent] {
            for (int i = 0; i < 2000; ++i) {
                if (!FolderExists(present)) ++wrong;
                if (FolderExists(absent)) ++wrong;
            }
        };
    };
    auto one = machine.StartThread(probe("C:\\A", "C:\\Missing"));
    auto two = machine.StartThread(probe("C:\\B", "C:\\Missing2"));
    one->Join();
    two->Join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(machine.GetCurrentDir(), "C:\\");
}

class PathTextTest : public StandardMachineTest {};

TEST_F(PathTextTest, WithTrailingBackslash) {
    auto with = [](std::string s) {
        WithTrailingBackslash(s);
        return s;
    };
    EXPECT_EQ(with("C:\\A/"), "C:\\A\\");
    EXPECT_EQ(with("C:\\"), "C:\\");
    EXPECT_EQ(with("C:\\A"), "C:\\A\\");
    EXPECT_EQ(with(""), "");
}

TEST_F(PathTextTest, JoinPath) {
    EXPECT_EQ(JoinPath("", "vlm.exe"), "vlm.exe");
    EXPECT_EQ(JoinPath("D:\\Apps\\Velmorra", "vlm.exe"), "D:\\Apps\\Velmorra\\vlm.exe");
    EXPECT_EQ(JoinPath("D:\\Apps\\Velmorra\\", "vlm.exe"), "D:\\Apps\\Velmorra\\vlm.exe");
}

TEST_F(PathTextTest, EscapeCaption) {
    EXPECT_EQ(EscapeCaption("-"), "- ");
    EXPECT_EQ(EscapeCaption("A&B"), "A&&B");
    EXPECT_EQ(EscapeCaption("&&"), "&&&&");
    EXPECT_EQ(EscapeCaption("--"), "--");
}

TEST_F(PathTextTest, DecimalTextWritesEverySixtyFourBitValue) {
    EXPECT_EQ(DecimalText(0), "0");
    EXPECT_EQ(DecimalText(-12), "-12");
    EXPECT_EQ(DecimalText(4294967296), "4294967296");
    EXPECT_EQ(DecimalText(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(DecimalText(INT64_MIN), "-9223372036854775808");
}

TEST_F(PathTextTest, EqualNoCaseFollowsWindows1252) {
    EXPECT_TRUE(EqualNoCase("c:\\données\\œuvre", "C:\\DONNÉES\\ŒUVRE"));
    EXPECT_FALSE(EqualNoCase("C:\\DONNEES", "C:\\DONNÉES"));
    EXPECT_FALSE(EqualNoCase("C:\\A", "C:\\A\\"));
}

TEST_F(PathTextTest, DrivePartAndFolderOf) {
    EXPECT_EQ(DrivePart("C:\\x"), "C:");
    EXPECT_EQ(DrivePart("\\\\srv\\share\\x\\y"), "\\\\srv\\share");
    EXPECT_EQ(DrivePart("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(DrivePart("x\\y"), "");
    EXPECT_EQ(FolderOf("C:\\A\\B"), "C:\\A\\");
    EXPECT_EQ(FolderOf("C:"), "C:");
    EXPECT_EQ(FolderOf("name"), "");
}

}  // namespace
