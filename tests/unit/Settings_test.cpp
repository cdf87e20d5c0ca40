#include <gtest/gtest.h>

#include "support/FakeMachineTest.h"
#include "install/Settings.h"
#include "install/Switches.h"

namespace {

const std::string kInstall = "Software\\Velmorra Word Processor\\Install";
const std::string kInternal = "Software\\Velmorra Word Processor\\Internal";
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor";
const RegRoot HKCU = RegRoot::CurrentUser;
const RegRoot HKLM = RegRoot::LocalMachine;

using SettingsRead = StandardMachineTest;
using SettingsWrite = StandardMachineTest;
using SettingsRegistryRules = StandardMachineTest;

}  // namespace

TEST_F(SettingsRead, FirstRunGivesTheDefaultsAndCreatesBothKeys)
{
    const SavedSettings s = ReadSettings({});

    EXPECT_EQ(s.MainDir, "C:\\Program Files\\Velmorra");
    EXPECT_EQ(s.SavedComps, 0x7FFFFFFFu);
    EXPECT_TRUE(s.InstallToAll);
    EXPECT_EQ(s.Extensions, "B");
    EXPECT_TRUE(s.Launch);
    EXPECT_EQ(s.LastRunVer, 0x7FFFFFFF);
    EXPECT_TRUE(machine.KeyExists(HKCU, kInstall));
    EXPECT_TRUE(machine.KeyExists(HKCU, kInternal));
}

TEST_F(SettingsRead, SavedValuesAreReadBack)
{
    machine.MakeFolder("C:\\Apps\\Velmorra");
    machine.WriteString(HKCU, kInstall, "MAINDIR", "C:\\Apps\\Velmorra");
    machine.WriteDword(HKCU, kInstall, "COMPS_FR (1.6.5.8)", 10);
    machine.WriteDword(HKCU, kInstall, "INSTALLTOALL", 0);
    machine.WriteString(HKCU, kInstall, "EXTENSIONS", "ABD");
    machine.WriteDword(HKCU, kInstall, "LAUNCH", 7);   // any non-zero number is checked
    machine.WriteDword(HKCU, kInternal, "LastRunVer", 20003999);

    const SavedSettings s = ReadSettings({});

    EXPECT_EQ(s.MainDir, "C:\\Apps\\Velmorra");
    EXPECT_EQ(s.SavedComps, 10u);
    EXPECT_FALSE(s.InstallToAll);
    EXPECT_EQ(s.Extensions, "ABD");
    EXPECT_TRUE(s.Launch);
    EXPECT_EQ(s.LastRunVer, 20003999);
}

TEST_F(SettingsRead, SavedFolderThatNoLongerExistsFallsBackToProgramFiles)
{
    machine.WriteString(HKCU, kInstall, "MAINDIR", "D:\\Gone");
    EXPECT_EQ(ReadSettings({}).MainDir, "C:\\Program Files\\Velmorra");
}

TEST_F(SettingsRead, NoProgramFilesFolderGivesTheBareProductName)
{
    machine.RemoveSpecialFolder(38);
    EXPECT_EQ(ReadSettings({}).MainDir, "Velmorra");
}

TEST_F(SettingsRead, EmptyExtensionsStayEmpty)
{
    machine.WriteString(HKCU, kInstall, "EXTENSIONS", "");
    EXPECT_EQ(ReadSettings({}).Extensions, "");
}

TEST_F(SettingsRead, ValueOfAnotherTypeReadsAsMissing)
{
    machine.WriteString(HKCU, kInstall, "COMPS_FR (1.6.5.8)", "10");
    machine.WriteDword(HKCU, kInstall, "EXTENSIONS", 0x41);
    machine.WriteValue(HKCU, kInstall, "LAUNCH", RegType::Dword, std::string("\0\0", 2));   // too short
    machine.WriteValue(HKCU, kInternal, "LastRunVer", RegType::Other, std::string(4, '\0'));

    const SavedSettings s = ReadSettings({});

    EXPECT_EQ(s.SavedComps, 0x7FFFFFFFu);
    EXPECT_EQ(s.Extensions, "B");
    EXPECT_TRUE(s.Launch);
    EXPECT_EQ(s.LastRunVer, 0x7FFFFFFF);
}

TEST_F(SettingsRead, StringIsReadUpToItsFirstZeroByte)
{
    machine.WriteValue(HKCU, kInstall, "EXTENSIONS", RegType::String, std::string("AC\0D\0", 5));
    EXPECT_EQ(ReadSettings({}).Extensions, "AC");
}

TEST_F(SettingsRead, DestinationSwitchOverridesTheSavedFolderUnchecked)
{
    machine.MakeFolder("C:\\Apps\\Velmorra");
    machine.WriteString(HKCU, kInstall, "MAINDIR", "C:\\Apps\\Velmorra");

    EXPECT_EQ(ReadSettings({"-dE:\\Velmorra", "-dF:\\x"}).MainDir, "E:\\Velmorra");
    EXPECT_EQ(ReadSettings({"-d"}).MainDir, "");
    EXPECT_EQ(ReadSettings({"-d E:\\ "}).MainDir, " E:\\ ");
    EXPECT_EQ(ReadSettings({"-DE:\\Velmorra"}).MainDir, "C:\\Apps\\Velmorra");
    EXPECT_EQ(ReadSettings({"x", "-dE:\\Velmorra"}).MainDir, "C:\\Apps\\Velmorra");
}

TEST_F(SettingsRead, DeniedRegistryGivesTheDefaults)
{
    machine.DenyRegistry(HKCU);
    const SavedSettings s = ReadSettings({});
    EXPECT_EQ(s.SavedComps, 0x7FFFFFFFu);
    EXPECT_EQ(s.Extensions, "B");
}

TEST_F(SettingsWrite, WritesTheInstallKeyAndTheUninstallEntry)
{
    SavedSettings s;
    s.MainDir = "C:\\Apps\\Velmorra";
    s.SavedComps = 0x7FFFFF0A;
    s.InstallToAll = false;
    s.Extensions = "";
    s.Launch = true;
    s.InstalledKb = 5321;

    WriteSettings(s, false);

    EXPECT_EQ(machine.ReadString(HKCU, kInstall, "MAINDIR"), "C:\\Apps\\Velmorra");
    EXPECT_EQ(machine.ReadDword(HKCU, kInstall, "COMPS_FR (1.6.5.8)"), 0x7FFFFF0Au);
    EXPECT_EQ(machine.ReadDword(HKCU, kInstall, "INSTALLTOALL"), 0u);
    EXPECT_EQ(machine.ReadString(HKCU, kInstall, "EXTENSIONS"), "");
    EXPECT_EQ(machine.ReadDword(HKCU, kInstall, "LAUNCH"), 1u);
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "DisplayName"), "Traitement de texte Velmorra");
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "UninstallString"), "\"C:\\Apps\\Velmorra\\vlm.exe\" -ui");
    // What Windows' list of programs and deployment tools read.
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "QuietUninstallString"), "\"C:\\Apps\\Velmorra\\vlm.exe\" -ui /S");
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "DisplayVersion"), "2.0.6.0");
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "Publisher"), "Velmorra");
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "DisplayIcon"), "C:\\Apps\\Velmorra\\vlm.exe");
    EXPECT_EQ(machine.ReadString(HKLM, kUninstall, "InstallLocation"), "C:\\Apps\\Velmorra");
    EXPECT_EQ(machine.ReadDword(HKLM, kUninstall, "EstimatedSize"), 5321u);
    EXPECT_EQ(machine.ReadDword(HKLM, kUninstall, "NoModify"), 1u);
    EXPECT_EQ(machine.ReadDword(HKLM, kUninstall, "NoRepair"), 1u);
    EXPECT_FALSE(machine.ReadValue(HKCU, kInternal, "LastRunVer"));
}

TEST_F(SettingsWrite, PortableWritesNoUninstallEntry)
{
    SavedSettings s;
    s.MainDir = "E:\\Velmorra";
    WriteSettings(s, true);

    EXPECT_EQ(machine.ReadString(HKCU, kInstall, "MAINDIR"), "E:\\Velmorra");
    EXPECT_FALSE(machine.KeyExists(HKLM, kUninstall));
}

TEST_F(SettingsWrite, UninstallEntryWithoutRightsIsSkippedSilently)
{
    machine.DenyRegistry(HKLM);
    SavedSettings s;
    s.MainDir = "C:\\Program Files\\Velmorra";
    WriteSettings(s, false);

    EXPECT_EQ(machine.ReadString(HKCU, kInstall, "MAINDIR"), "C:\\Program Files\\Velmorra");
    EXPECT_FALSE(machine.KeyExists(HKLM, kUninstall));
}

TEST(SettingsComponentMask, KeepsHighBitsAndTakesOnlyCheckedRows)
{
    // Rows 1 and 3 checked, row 0 (always grayed) counts as not checked.
    const std::vector<bool> rows = {false, true, false, true, false, false, false, false};
    EXPECT_EQ(ComponentMask(10, rows), 10u);
    EXPECT_EQ(ComponentMask(0x7FFFFFFF, rows), 0x7FFFFF0Au);
    EXPECT_EQ(ComponentMask(0x80000001, {}), 0x80000000u);
}

TEST(SettingsUninstallString, QuotesTheProgramWithOneBackslash)
{
    EXPECT_EQ(UninstallString("C:\\Apps\\Velmorra"), "\"C:\\Apps\\Velmorra\\vlm.exe\" -ui");
    EXPECT_EQ(UninstallString("C:\\Apps\\Velmorra\\"), "\"C:\\Apps\\Velmorra\\vlm.exe\" -ui");
}

TEST_F(SettingsRegistryRules, RelativePathsFollowTheOpenKeyAndBackslashStartsAtTheRoot)
{
    SettingsRegistry reg;
    reg.OpenKey("Software\\A");
    reg.OpenKey("B");               // relative to Software\A
    reg.WriteNumber("n", 1);
    reg.OpenKey("\\Software\\C");   // from the root
    reg.WriteNumber("n", 2);
    reg.CloseKey();
    reg.OpenKey("D");               // none open: from the root
    reg.WriteNumber("n", 3);

    EXPECT_EQ(machine.ReadDword(HKCU, "Software\\A\\B", "n"), 1u);
    EXPECT_EQ(machine.ReadDword(HKCU, "Software\\C", "n"), 2u);
    EXPECT_EQ(machine.ReadDword(HKCU, "D", "n"), 3u);
}

TEST_F(SettingsRegistryRules, SwitchingTheRootClosesTheKey)
{
    SettingsRegistry reg;
    reg.OpenKey("Software\\A");
    reg.SetRoot(HKLM);
    reg.WriteNumber("lost", 1);     // no key open: nothing written anywhere
    reg.OpenKey("Software\\B");
    reg.WriteNumber("n", 1);

    EXPECT_FALSE(machine.ReadValue(HKCU, "Software\\A", "lost"));
    EXPECT_EQ(machine.ReadDword(HKLM, "Software\\B", "n"), 1u);
}

// --- The command line

TEST(Switches, EverySwitchInAnyOrderAndCase)
{
    const Switches s = ParseSwitches({"/log=C:\\run.log", "/assoc=RTF,docx", "/Components=help,Spell-EN,sound",
                                      "/currentuser", "/launch", "/d=C:\\Apps\\Velmorra", "/s"});
    EXPECT_EQ(s.Problem, "");
    EXPECT_TRUE(s.Silent && s.CurrentUser && s.Launch);
    EXPECT_FALSE(s.Help);
    EXPECT_EQ(*s.Destination, "C:\\Apps\\Velmorra");
    EXPECT_EQ(*s.Components, 0x8B);   // the word processor always comes
    EXPECT_EQ(*s.Associations, (AssocBoxes{true, false, false, true}));
    EXPECT_EQ(s.LogFile, "C:\\run.log");

    const Switches none = ParseSwitches({});
    EXPECT_FALSE(none.Silent || none.Destination || none.Components || none.Associations || none.CurrentUser);
    EXPECT_TRUE(ParseSwitches({"/?"}).Help);
    // Empty lists: no optional component, no association.
    EXPECT_EQ(*ParseSwitches({"/COMPONENTS="}).Components, 1);
    EXPECT_EQ(*ParseSwitches({"/ASSOC="}).Associations, (AssocBoxes{}));
}

TEST(Switches, QuotedAndSpacedFoldersAndTheOldDashD)
{
    EXPECT_EQ(*ParseSwitches({"/D=\"C:\\Program Files\\Velmorra\""}).Destination, "C:\\Program Files\\Velmorra");
    // Unquoted, the runtime splits the folder at its spaces: the pieces join again.
    const Switches split = ParseSwitches({"/S", "/D=C:\\Program", "Files\\Mon", "Velmorra", "/LAUNCH"});
    EXPECT_EQ(*split.Destination, "C:\\Program Files\\Mon Velmorra");
    EXPECT_TRUE(split.Launch);
    EXPECT_EQ(*ParseSwitches({"/D=\\\\serveur\\partage\\Velmorra"}).Destination, "\\\\serveur\\partage\\Velmorra");
    // "-d" keeps its meaning as the first argument only, whatever it holds.
    const Switches dashD = ParseSwitches({"-dE:\\Velmorra", "/S"});
    EXPECT_EQ(*dashD.Destination, "E:\\Velmorra");
    EXPECT_TRUE(dashD.Silent);
    for (const char* ignored : {"-dE:\\Velmorra", "-DC:\\Ailleurs", "fichier"}) {
        const Switches s = ParseSwitches({"/S", ignored});
        EXPECT_EQ(s.Problem, "");
        EXPECT_FALSE(s.Destination) << ignored;
    }
}

TEST(Switches, TheFirstBadValueIsNamedAndASwitchNotReadOnlyInSilent)
{
    for (const char* bad : {"/D=relatif", "/D=C:relatif", "/D=", "/COMPONENTS=app,tout", "/COMPONENTS=help,,sound",
                            "/ASSOC=pdf", "/LOG="}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(ParseSwitches({"/S", bad, "/Y"}).Problem, bad);
        EXPECT_EQ(ParseSwitches({"/Y", bad}).Problem, bad);
        EXPECT_NE(UsageText(bad).find(bad), std::string::npos);
    }
    // Not read: the wizard goes past it, a /S anywhere names it, as it names the first problem.
    for (const char* unknown : {"/X", "/SILENT", "/S=1", "/LAUNCH=oui", "/D"}) {
        SCOPED_TRACE(unknown);
        EXPECT_TRUE(ParseSwitches({unknown, "/LAUNCH"}).Launch && ParseSwitches({unknown}).Problem.empty());
        EXPECT_EQ(ParseSwitches({unknown, "/ASSOC=pdf", "/S"}).Problem, unknown);
        EXPECT_EQ(ParseSwitches({"/ASSOC=pdf", unknown, "/S"}).Problem, "/ASSOC=pdf");
    }
    EXPECT_EQ(UsageText("").find("incorrecte"), std::string::npos);
}
