// The stand-in word processor's removal ("vlm.exe -ui") over the fake machine: an installation
// laid out as the setup program leaves it, then removed.
#include <gtest/gtest.h>

#include "support/FakeMachineTest.h"
#include "Remover.h"

namespace {

const std::string kDest = "C:\\Program Files\\Velmorra";
const std::string kProgram = kDest + "\\vlm.exe";
const std::string kData = "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra";
const std::string kTemp = "C:\\Documents and Settings\\Jean\\Local Settings\\Temp";
const std::string kPrivate = kTemp + "\\~vlm5EED0001.tmp";   // the fake's first random number
const std::string kCopy = kPrivate + "\\vlm.exe";
const std::string kLinks[] = {
    "C:\\Documents and Settings\\All Users\\Menu Démarrer\\Programmes\\Traitement de texte Velmorra.lnk",
    "C:\\Documents and Settings\\All Users\\Bureau\\Traitement de texte Velmorra.lnk"};
const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor";
const std::string kCommandKey = "Software\\Classes\\Velmorra.Document\\shell\\open\\command";

class Remover : public StandardMachineTest {
protected:
    Remover() {
        for (const char* name : {"vlm.exe", "Licence.txt", "Exemples\\Lettre.cod", "vlm-starts.log"})
            machine.PutFile(kDest + "\\" + name, "x");
        machine.PutFile(kData + "\\Public\\Basic.asn");
        machine.PutFile(kData + "\\Public\\Orthographe\\French.asc");   // left unlogged
        machine.PutFile(kData + "\\Hidden\\install_stamp");             // left unlogged
        machine.PutFile(kData + "\\Update.log");
        for (const std::string& link : kLinks) machine.PutFile(link);
        // Parents first, as the setup writes them.
        log = {"Made Dir: " + kDest,
               "File Copy: " + kProgram,
               "File Copy: " + kDest + "\\Licence.txt",
               "Made Dir: " + kDest + "\\Exemples\\",
               "File Copy: " + kDest + "\\Exemples\\Lettre.cod",
               "File Copy: " + kData + "\\Public\\Basic.asn",
               "Made Dir: " + kData + "\\Hidden\\",
               "File Copy: " + kLinks[0],
               "File Copy: " + kLinks[1]};

        machine.WriteString(RegRoot::CurrentUser, "Software\\Velmorra Word Processor\\Install", "MAINDIR", kDest);
        machine.WriteDword(RegRoot::CurrentUser, "Software\\Velmorra Word Processor\\Internal", "LastRunVer", 1);
        machine.WriteString(RegRoot::LocalMachine, kUninstallKey, "UninstallString", "\"" + kProgram + "\" -ui");
        machine.WriteString(RegRoot::CurrentUser, kCommandKey, "", "\"" + kProgram + "\" \"%1\"");
        machine.WriteString(RegRoot::CurrentUser, "Software\\Classes\\.cod", "", "Velmorra.Document");
        machine.WriteString(RegRoot::CurrentUser, "Software\\Classes\\.rtf", "", "Autre.Document");
        machine.SetMessageBoxAnswer(6);   // "&Oui"
    }

    void WriteLog() {
        std::string text;
        for (const std::string& line : log) text += line + "\r\n";
        machine.PutFile(kDest + "\\Install.log", text);
    }

    // Both steps, as on the real machine: the installed program, then its copy.
    int Remove(const std::string& switches = "") {
        WriteLog();
        machine.SetModuleFileName(kProgram);
        const int first = RemoveAsAsked(switches);
        if (machine.StartedPrograms().empty()) return first;
        machine.SetModuleFileName(kCopy);
        const int code = RemoveAsAsked(switches + " \"" + kProgram + "\"");
        EXPECT_EQ(machine.StarterReleasedWith(), std::optional<uint32_t>(code));
        return code;
    }

    bool KeyExists(RegRoot root, const std::string& key) { return machine.KeyExists(root, key); }

    std::vector<std::string> log;
};

TEST_F(Remover, RemovesWhatTheLogNamesFilesFirstThenFoldersDeepestFirst) {
    Remove();

    ASSERT_EQ(machine.StartedPrograms().size(), 1u);
    EXPECT_EQ(machine.StartedPrograms()[0].commandLine, "\"" + kCopy + "\" -ui \"" + kProgram + "\"");
    // The copy's private folder goes; its file, moved out, goes when the copy ends.
    EXPECT_FALSE(machine.Exists(kPrivate));
    EXPECT_EQ(machine.Children(kTemp), std::vector<std::string>{"~vlm5EED0002.tmp"});
    EXPECT_FALSE(machine.Exists(kDest));   // Exemples first, then the destination
    for (const std::string& link : kLinks) EXPECT_FALSE(machine.Exists(link));
    EXPECT_FALSE(machine.Exists(kData + "\\Public\\Basic.asn"));
    // What the installation left unlogged stays, and keeps its folder.
    EXPECT_TRUE(machine.IsFile(kData + "\\Public\\Orthographe\\French.asc"));
    EXPECT_TRUE(machine.IsFile(kData + "\\Hidden\\install_stamp"));
    EXPECT_TRUE(machine.IsFile(kData + "\\Update.log"));

    EXPECT_FALSE(KeyExists(RegRoot::CurrentUser, "Software\\Velmorra Word Processor"));
    EXPECT_FALSE(KeyExists(RegRoot::LocalMachine, kUninstallKey));
    EXPECT_FALSE(KeyExists(RegRoot::CurrentUser, "Software\\Classes\\Velmorra.Document"));
    EXPECT_FALSE(KeyExists(RegRoot::CurrentUser, "Software\\Classes\\.cod"));
    EXPECT_EQ(machine.ReadString(RegRoot::CurrentUser, "Software\\Classes\\.rtf", ""), "Autre.Document");

    ASSERT_EQ(machine.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.MessageBoxes()[0].text,
              "Voulez-vous vraiment supprimer Traitement de texte Velmorra et tous ses composants ?");
    EXPECT_TRUE(machine.DeletedAtRestart().empty());
}

TEST_F(Remover, KeepsFoldersNotEmptyAndSkipsEveryOtherPlace) {
    machine.PutFile(kDest + "\\Mon document.cod", "à garder");
    machine.PutFile("C:\\WINNT\\system.ini");
    machine.PutFile("C:\\Documents and Settings\\Jean\\Mes documents\\Lettre.cod");
    log.push_back("File Copy: C:\\WINNT\\system.ini");
    log.push_back("File Copy: " + kDest + "\\..\\..\\WINNT\\system.ini");
    log.push_back("File Copy: " + kDest + "\\Exemples\\...\\..\\..\\..\\WINNT\\system.ini");
    log.push_back("File Copy: " + kDest + "/../../Documents and Settings/Jean/Mes documents/Lettre.cod");
    log.push_back("File Copy: " + kData + "\\Hidden\\..\\..\\..\\..\\WINNT\\system.ini");
    log.push_back("Made Dir: C:\\WINNT\\");
    log.push_back("Made Dir: C:\\Program Files\\");
    Remove();

    EXPECT_TRUE(machine.IsFile("C:\\WINNT\\system.ini"));
    EXPECT_TRUE(machine.IsFile("C:\\Documents and Settings\\Jean\\Mes documents\\Lettre.cod"));
    EXPECT_TRUE(machine.IsFolder("C:\\Program Files"));
    EXPECT_EQ(machine.Children(kDest), std::vector<std::string>{"Mon document.cod"});
}

TEST_F(Remover, AHeldFileIsReportedAtTheEndAndNothingElseStops) {
    machine.LockFile(kDest + "\\Licence.txt");
    Remove();

    EXPECT_EQ(machine.Children(kDest), std::vector<std::string>{"Licence.txt"});
    EXPECT_FALSE(machine.Exists(kLinks[1]));
    EXPECT_FALSE(KeyExists(RegRoot::LocalMachine, kUninstallKey));
    ASSERT_EQ(machine.MessageBoxes().size(), 2u);
    EXPECT_EQ(machine.MessageBoxes()[1].caption, "Avertissement");
    EXPECT_NE(machine.MessageBoxes()[1].text.find("\r" + kDest + "\\Licence.txt\r"), std::string::npos);
}

TEST_F(Remover, NonOrAnUnreadableLogRemovesNothing) {
    const auto before = machine.AllPaths();
    machine.SetModuleFileName(kProgram);
    WriteLog();
    machine.SetMessageBoxAnswer(7);   // "&Non"
    EXPECT_EQ(RemoveAsAsked(""), 1602);
    machine.DeleteFileAt(kDest + "\\Install.log");
    machine.SetMessageBoxAnswer(6);
    EXPECT_EQ(RemoveAsAsked(""), 1603);
    EXPECT_EQ(RemoveAsAsked("/s"), 1603);   // silently

    EXPECT_TRUE(machine.StartedPrograms().empty());
    EXPECT_EQ(machine.AllPaths(), before);
    EXPECT_TRUE(KeyExists(RegRoot::LocalMachine, kUninstallKey));
    ASSERT_EQ(machine.MessageBoxes().size(), 3u);
    EXPECT_EQ(machine.MessageBoxes()[2].caption, "Erreur");
    EXPECT_EQ(machine.MessageBoxes()[2].text, "Le journal d'installation \"" + kDest +
                                                  "\\Install.log\" ne peut pas être lu.\rRien n'a été supprimé.");
}

TEST_F(Remover, WhatAnotherInstallationTookOverStays) {
    const std::string other = "D:\\Velmorra\\vlm.exe";
    machine.AddDrive('D');
    machine.PutFile(other);
    machine.WriteString(RegRoot::LocalMachine, kUninstallKey, "UninstallString", "\"" + other + "\" -ui");
    machine.WriteString(RegRoot::CurrentUser, kCommandKey, "", "\"" + other + "\" \"%1\"");
    Remove();

    EXPECT_TRUE(KeyExists(RegRoot::LocalMachine, kUninstallKey));
    EXPECT_EQ(machine.ReadString(RegRoot::CurrentUser, "Software\\Classes\\.cod", ""), "Velmorra.Document");
    EXPECT_TRUE(KeyExists(RegRoot::CurrentUser, kCommandKey));
}

TEST_F(Remover, WithoutARunningCopyTheProgramGoesAtRestart) {
    machine.SetStartProgramResult(false);
    WriteLog();
    machine.SetModuleFileName(kProgram);
    RemoveAsAsked("");

    EXPECT_FALSE(machine.Exists(kPrivate));
    EXPECT_EQ(machine.DeletedAtRestart(), std::vector<std::string>{kProgram});
    EXPECT_EQ(machine.Children(kDest), std::vector<std::string>{"vlm.exe"});
    EXPECT_FALSE(machine.Exists(kLinks[0]));
}

// Links made after the installation by whoever owns a folder of it: never followed, reported.
TEST_F(Remover, LinksPlantedAfterTheInstallationAreRefusedAndTheirTargetsKept) {
    machine.PutFile("C:\\Cible\\Basic.asn", "cible");
    machine.PutFile("C:\\Cible\\Lettre.cod", "cible");
    machine.PutFile("C:\\WINNT\\system.ini", "systeme");
    machine.DeleteFileAt(kData + "\\Public\\Orthographe\\French.asc");
    machine.RemoveDir(kData + "\\Public\\Orthographe");
    machine.DeleteFileAt(kData + "\\Public\\Basic.asn");
    machine.RemoveDir(kData + "\\Public");
    machine.MakeLink(kData + "\\Public", "C:\\Cible", true);
    machine.DeleteFileAt(kDest + "\\Exemples\\Lettre.cod");
    machine.RemoveDir(kDest + "\\Exemples");
    machine.MakeLink(kDest + "\\Exemples", "C:\\Cible", true);
    machine.DeleteFileAt(kDest + "\\Licence.txt");
    machine.MakeLink(kDest + "\\Licence.txt", "C:\\WINNT\\system.ini", false);

    EXPECT_EQ(Remove("/S"), 32);
    EXPECT_EQ(machine.Children("C:\\Cible"), (std::vector<std::string>{"Basic.asn", "Lettre.cod"}));
    EXPECT_EQ(machine.FileBytes("C:\\WINNT\\system.ini"), "systeme");
    EXPECT_TRUE(machine.IsLink(kData + "\\Public"));
    EXPECT_TRUE(machine.IsLink(kDest + "\\Licence.txt"));
    EXPECT_EQ(machine.Children(kDest), (std::vector<std::string>{"Exemples", "Licence.txt"}));
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST_F(Remover, HeldEntriesAreReportedAndSilentRemovalsAnswerWithExitCodes) {
    machine.LockFile(kDest + "\\Licence.txt");
    machine.MakeLink(kDest + "\\Exemples\\Lettre.cod", "C:\\WINNT\\system.ini", false);
    EXPECT_EQ(Remove(), 32);
    const std::string report = machine.MessageBoxes().back().text;
    EXPECT_NE(report.find("\r" + kDest + "\\Licence.txt\r"), std::string::npos);
    EXPECT_NE(report.find("\r" + kDest + "\\Exemples\\Lettre.cod\r"), std::string::npos);

    machine.SetCopyCode(32);
    machine.PutFile(kProgram, "x");
    WriteLog();
    machine.SetModuleFileName(kProgram);
    EXPECT_EQ(RemoveAsAsked("/S"), 32);   // the copy's code
    EXPECT_EQ(machine.StartedPrograms().back().commandLine, "\"" + kTemp + "\\~vlm5EED0003.tmp\\vlm.exe\" -ui /S \"" + kProgram + "\"");
    for (const char* bad : {"/X", "/S /S=1", "-q", "\"unclosed"}) EXPECT_EQ(RemoveAsAsked(bad), 87) << bad;
    EXPECT_EQ(RemoveAsAsked("\"C:\\WINNT\\notepad.exe\""), 87);
}

// A per-machine installation removed without the rights it needs starts again with them.
TEST_F(Remover, WithoutAdministratorRightsThePerMachineRemovalAsksForThem) {
    machine.SetVersion(2, 6);
    WriteLog();
    machine.SetModuleFileName(kProgram);
    EXPECT_EQ(RemoveAsAsked("/S"), 0);
    ASSERT_EQ(machine.StartedPrograms().size(), 1u);
    EXPECT_EQ(machine.StartedPrograms()[0].commandLine, "\"" + kProgram + "\" -ui /RUNAS /S");
    EXPECT_TRUE(machine.IsFile(kDest + "\\Licence.txt"));   // the restarted one does the work

    machine.SetElevationRefused(true);
    EXPECT_EQ(RemoveAsAsked(""), 1602);
    EXPECT_NE(machine.MessageBoxes().back().text.find("droits d'administrateur"), std::string::npos);
    EXPECT_EQ(RemoveAsAsked("/RUNAS /S"), 0);   // never twice: the copy runs
    EXPECT_EQ(machine.StartedPrograms().back().application, kCopy);
}

}  // namespace
