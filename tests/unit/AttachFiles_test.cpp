#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "ArchiveBuilder.h"
#include "engine/AttachFiles.h"
#include "engine/InstallThread.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "support/FakeMachine.h"
#include "support/ScriptedDialog.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kCannotCreate =
    "Impossible de créer le fichier \"C:\\Dest\\Licence.txt\".\rCe fichier est peut-être actuellement "
    "utilisé par une autre application.";

class ArchiveTest : public ::testing::Test {
protected:
    ArchiveTest()
    {
        machine.StandardSetup();
    }

    Lines Log() const { return log.Lines(); }
    // As the worker and the licence page extract: asking after each failure.
    bool Extract(TAttachedFiles& files, const TAttachedFile* entry, const std::string& name,
                 const std::string& target)
    {
        auto ask = [this](const std::string& text, int type, uint16_t buttons) { return questions.Ask(text, type, buttons); };
        return ExtractAsking(files, entry, name, target, ask);
    }

    FakeMachine machine;
    UseFakeMachine use{machine};
    QuestionService questions;
    ScriptedDialog dialog{questions, mrAbort};
    std::vector<DialogCall>& calls = dialog.calls;
    std::deque<int>& answers = dialog.answers;
    std::function<void()>& onDialog = dialog.onDialog;
    InstallLog log;
};

using ArchiveLoad = ArchiveTest;
using ArchiveExtract = ArchiveTest;

void ExpectRefused(const std::string& compressed)
{
    EXPECT_THROW(TAttachedFiles(reinterpret_cast<const uint8_t*>(compressed.data()), compressed.size()),
                 ArchiveError);
}

void ExpectRefusedRaw(const std::string& raw) { ExpectRefused(ArchiveBuilder::Compress(raw)); }

}  // namespace

TEST_F(ArchiveLoad, IndexesEveryRecordUpToTheEndOfTheData)
{
    ArchiveBuilder archive;
    archive.Add("vlm.exe", "MZ program", 38056.5).Add("Vide.txt", "", 38000.25).Add("Modèles de document\\A.vlt", "abc");
    auto files = archive.Open(&log);

    ASSERT_EQ(files->Entries.size(), 3u);
    EXPECT_EQ(files->DataSize, int32_t(archive.Raw().size()));
    const TAttachedFile& first = *files->Entries[0];
    EXPECT_EQ(first.Name, "vlm.exe");
    EXPECT_EQ(first.Size, 10);
    EXPECT_EQ(first.Date, 38056.5);
    EXPECT_EQ(first.DataOffset, 1 + 7 + 12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(files->Data()) + first.DataOffset, 10), "MZ program");
    EXPECT_EQ(files->Entries[1]->Size, 0);
    EXPECT_EQ(files->Entries[1]->Date, 38000.25);
    const TAttachedFile& last = *files->Entries[2];
    EXPECT_EQ(last.Name, "Modèles de document\\A.vlt");
    EXPECT_EQ(last.DataOffset + last.Size, files->DataSize);
    for (const auto& list : files->ComponentFiles) EXPECT_TRUE(list.empty());
    EXPECT_TRUE(files->PublicFiles.empty());
}

TEST_F(ArchiveLoad, ReadsANameOf255Bytes)
{
    const std::string name(251, 'n');
    auto files = ArchiveBuilder().Add(name + ".txt", "x").Add("b", "y").Open(&log);
    ASSERT_EQ(files->Entries.size(), 2u);
    EXPECT_EQ(files->Entries[0]->Name.size(), 255u);
    EXPECT_EQ(files->Entries[1]->Name, "b");
}

// Inflates to far more than five times the stream, so the buffer grows many times.
TEST_F(ArchiveLoad, GrowsTheBufferForHighlyCompressedData)
{
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); i += 4096) big[i] = char(i / 4096);
    auto files = ArchiveBuilder().Add("zeros.bin", big).Add("tail.txt", "end").Open(&log);
    ASSERT_EQ(files->Entries.size(), 2u);
    const TAttachedFile& zeros = *files->Entries[0];
    EXPECT_EQ(zeros.Size, int32_t(big.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(files->Data()) + zeros.DataOffset, big.size()), big);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(files->Data()) + files->Entries[1]->DataOffset, 3), "end");
}

TEST_F(ArchiveLoad, ReadsTheProgramsOwnResource)
{
    machine.SetResource("FILES", "FILES", ArchiveBuilder().Add("Licence.txt", "Texte").Compressed());
    TAttachedFiles files;
    ASSERT_EQ(files.Entries.size(), 1u);
    EXPECT_EQ(files.Entries[0]->Name, "Licence.txt");
}

TEST_F(ArchiveLoad, RefusesAMissingOrEmptyResource)
{
    EXPECT_THROW(TAttachedFiles(), ArchiveError);
    machine.SetResource("FILES", "FILES", "");
    EXPECT_THROW(TAttachedFiles(), ArchiveError);
}

TEST_F(ArchiveLoad, RefusesADamagedOrTruncatedStream)
{
    const std::string packed = ArchiveBuilder().Add("vlm.exe", std::string(5000, 'x') + "end").Compressed();
    ExpectRefused("not a zlib stream at all");
    ExpectRefused(packed.substr(0, packed.size() / 2));
    ExpectRefused(packed.substr(0, packed.size() - 1));   // Adler-32 trailer cut
    std::string flipped = packed;
    flipped[packed.size() - 2] ^= 0x55;                   // checksum mismatch
    ExpectRefused(flipped);
    try {
        TAttachedFiles files(reinterpret_cast<const uint8_t*>(flipped.data()), flipped.size());
        ADD_FAILURE() << "damaged stream accepted";
    } catch (const ArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("endommagés"), std::string::npos);
    }
}

TEST_F(ArchiveLoad, RefusesRecordsRunningPastTheEnd)
{
    const std::string good = ArchiveBuilder().Add("a.txt", "abc").Raw();
    ExpectRefusedRaw(good + "\x05" "ab");                                        // name cut
    ExpectRefusedRaw(good + ArchiveBuilder().Add("b.txt", "x").Raw().substr(0, 10));   // date cut
    ExpectRefusedRaw(ArchiveBuilder().AddRecord("b.txt", 38056.5, 10, "short").Raw());
    ExpectRefusedRaw(ArchiveBuilder().AddRecord("b.txt", 38056.5, -1, "").Raw());
    ExpectRefusedRaw(ArchiveBuilder().AddRecord("b.txt", 38056.5, INT32_MIN, "abc").Raw());
}

TEST_F(ArchiveLoad, RefusesNamesLeadingOutOfTheInstallFolder)
{
    for (const char* name : {"\\Windows\\evil.dll", "/etc/evil", "C:\\evil.exe", "C:evil.exe", "a.txt:stream",
                             "..\\evil.exe", "Modèles\\..\\..\\evil.exe", "a/../../evil", "a\\.. \\evil", "..."}) {
        SCOPED_TRACE(name);
        ExpectRefused(ArchiveBuilder().Add("ok.txt", "1").Add(name, "2").Compressed());
    }
    auto files = ArchiveBuilder().Add("a..b.txt", "1").Add(".profil\\x", "2").Open(&log);
    EXPECT_EQ(files->Entries.size(), 2u);
}

TEST_F(ArchiveExtract, ReplacesAnExistingFileWithTheEntryAndItsDate)
{
    machine.PutFile("C:\\Dest\\Licence.txt", "an older and longer licence text", Dos(2001, 1, 1));
    // 12:00:03.6: DOS time keeps even seconds only.
    auto files = ArchiveBuilder().Add("Licence.txt", "Texte", 38056.5 + 3.6 / 86400).Open(&log);

    EXPECT_TRUE(Extract(*files, nullptr, "Licence.txt", "C:\\Dest\\Licence.txt"));
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Licence.txt"), "Texte");
    EXPECT_EQ(machine.LastWrite("C:\\Dest\\Licence.txt"), Dos(2004, 3, 10, 12, 0, 2));
    EXPECT_EQ(Log(), Lines{"File Copy: C:\\Dest\\Licence.txt"});
    EXPECT_TRUE(calls.empty());
}

TEST_F(ArchiveExtract, DatesWithoutDosFormKeepTheWriteTime)
{
    machine.SetClock(2005, 6, 15, 14, 30, 20);
    auto files = ArchiveBuilder().Add("old.txt", "1", 27395.0).Add("late.txt", "2", 73417.0).Open(&log);
    EXPECT_TRUE(Extract(*files, nullptr, "old.txt", "C:\\Dest\\old.txt"));
    EXPECT_TRUE(Extract(*files, nullptr, "late.txt", "C:\\Dest\\late.txt"));
    EXPECT_EQ(machine.LastWrite("C:\\Dest\\old.txt"), Dos(2005, 6, 15, 14, 30, 20));
    EXPECT_EQ(machine.LastWrite("C:\\Dest\\late.txt"), Dos(2005, 6, 15, 14, 30, 20));
}

TEST_F(ArchiveExtract, AnEmptyEntryMakesAnEmptyFile)
{
    auto files = ArchiveBuilder().Add("Vide.txt", "").Open(&log);
    EXPECT_TRUE(Extract(*files, files->Entries[0].get(), "", "C:\\Dest\\Vide.txt"));
    EXPECT_TRUE(machine.IsFile("C:\\Dest\\Vide.txt"));
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Vide.txt"), "");
    EXPECT_EQ(machine.LastWrite("C:\\Dest\\Vide.txt"), Dos(2004, 3, 10, 12));
}

TEST_F(ArchiveExtract, MakesEachMissingFolderOnceAndLogsItBeforeTheFiles)
{
    auto files = ArchiveBuilder()
                     .Add("Collections d'inserts\\Cartes\\Noël.vci", "1")
                     .Add("Collections d'inserts\\Cartes\\Fête.vci", "2")
                     .Open(&log);
    for (const auto& entry : files->Entries)
        EXPECT_TRUE(Extract(*files, entry.get(), "", "C:\\Data\\" + entry->Name));
    EXPECT_EQ(Log(), (Lines{
                         "Made Dir: C:\\Data\\",
                         "Made Dir: C:\\Data\\Collections d'inserts\\",
                         "Made Dir: C:\\Data\\Collections d'inserts\\Cartes\\",
                         "File Copy: C:\\Data\\Collections d'inserts\\Cartes\\Noël.vci",
                         "File Copy: C:\\Data\\Collections d'inserts\\Cartes\\Fête.vci",
                     }));
    EXPECT_EQ(machine.FileBytes("C:\\Data\\Collections d'inserts\\Cartes\\Fête.vci"), "2");
}

TEST_F(ArchiveExtract, LooksNamesUpByCaseButNotBySpaces)
{
    auto files = ArchiveBuilder().Add("Licence.txt", "old").Add("licence.TXT", "new").Open(&log);
    EXPECT_TRUE(Extract(*files, nullptr, "LICENCE.TXT", "C:\\Dest\\Licence.txt"));
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Licence.txt"), "new");   // the last of equal names

    answers = {mrIgnore};
    EXPECT_TRUE(Extract(*files, nullptr, "Licence.txt ", "C:\\Other\\Licence.txt"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "Impossible de créer le fichier \"C:\\Other\\Licence.txt\".\rCe fichier est peut-être "
                             "actuellement utilisé par une autre application.");
    EXPECT_FALSE(machine.Exists("C:\\Other"));
}

TEST_F(ArchiveExtract, RetryAfterTheFileIsReleasedWritesAndLogsOnce)
{
    machine.HoldFile("C:\\Dest\\Licence.txt");
    answers = {mrRetry, mrRetry};
    onDialog = [this] {
        if (calls.size() == 2) machine.ReleaseFile("C:\\Dest\\Licence.txt");
    };
    auto files = ArchiveBuilder().Add("Licence.txt", "Texte").Open(&log);

    EXPECT_TRUE(Extract(*files, nullptr, "Licence.txt", "C:\\Dest\\Licence.txt"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, kCannotCreate);
    EXPECT_EQ(calls[0].type, mtError);
    EXPECT_EQ(calls[0].buttons, mbAbort | mbRetry | mbIgnore);
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Licence.txt"), "Texte");
    EXPECT_EQ(Log(), Lines{"File Copy: C:\\Dest\\Licence.txt"});
}

TEST_F(ArchiveExtract, IgnoreAndAbortLeaveTheFileUnwrittenAndUnlogged)
{
    machine.HoldFile("C:\\Dest\\Licence.txt");
    auto files = ArchiveBuilder().Add("Licence.txt", "Texte").Open(&log);

    answers = {mrIgnore};
    EXPECT_TRUE(Extract(*files, nullptr, "Licence.txt", "C:\\Dest\\Licence.txt"));
    answers = {mrAbort};
    EXPECT_FALSE(Extract(*files, nullptr, "Licence.txt", "C:\\Dest\\Licence.txt"));
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Licence.txt"), "held");
    EXPECT_TRUE(Log().empty());
}

TEST_F(ArchiveExtract, AShortWriteOnAFullDiskIsAFailure)
{
    machine.MakeFolder("C:\\Dest");
    machine.DriveAt("C:").full = true;
    answers = {mrIgnore};
    auto files = ArchiveBuilder().Add("Licence.txt", "Texte").Open(&log);
    EXPECT_TRUE(Extract(*files, nullptr, "Licence.txt", "C:\\Dest\\Licence.txt"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kCannotCreate);
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(machine.Children("C:\\Dest").empty());
}

TEST_F(ArchiveExtract, AFullDiskKeepsTheOldFileAndRetryWritesOnceSpaceIsFreed)
{
    machine.PutFile("C:\\Dest\\Licence.txt", "ancienne licence", Dos(2001, 1, 1));
    machine.DriveAt("C:").full = true;
    std::string seen;
    onDialog = [&] {
        seen = machine.FileBytes("C:\\Dest\\Licence.txt");
        machine.DriveAt("C:").full = false;
    };
    answers = {mrRetry};
    auto files = ArchiveBuilder().Add("Licence.txt", "Texte", 38056.5).Open(&log);
    EXPECT_TRUE(Extract(*files, nullptr, "Licence.txt", "C:\\Dest\\Licence.txt"));
    EXPECT_EQ(seen, "ancienne licence");
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Licence.txt"), "Texte");
    EXPECT_EQ(machine.LastWrite("C:\\Dest\\Licence.txt"), Dos(2004, 3, 10, 12));
    EXPECT_EQ(machine.Children("C:\\Dest"), Lines{"Licence.txt"});
}

TEST_F(ArchiveExtract, AJunctionAtTheSharedDataFolderIsPutToTheUser)
{
    const std::string shared = "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra";
    machine.MakeFolder("C:\\Piege");
    machine.MakeLink(shared, "C:\\Piege", true);
    answers = {mrIgnore, mrIgnore};
    auto files = ArchiveBuilder().Add("Public\\Basic.asn", "son").Add("Public\\Autre.asn", "son").Open(&log);
    EXPECT_TRUE(Extract(*files, nullptr, "Public\\Basic.asn", shared + "\\Public\\Basic.asn"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].buttons, mbAbort | mbRetry | mbIgnore);
    EXPECT_TRUE(machine.Children("C:\\Piege").empty());
    EXPECT_TRUE(Log().empty());

    // A link at the next file of a folder already found clean.
    machine.RemoveDir(shared);
    EXPECT_TRUE(Extract(*files, nullptr, "Public\\Basic.asn", shared + "\\Public\\Basic.asn"));
    machine.PutFile("C:\\Piege\\cible", "theirs");
    machine.MakeLink(shared + "\\Public\\Autre.asn", "C:\\Piege\\cible", false);
    EXPECT_TRUE(Extract(*files, nullptr, "Public\\Autre.asn", shared + "\\Public\\Autre.asn"));
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(machine.FileBytes("C:\\Piege\\cible"), "theirs");
}

TEST_F(ArchiveExtract, WritesNoLogLinesWhileTheLogIsSuspended)
{
    auto files = ArchiveBuilder().Add("Sous\\Licence.txt", "Texte").Open(&log);
    log.Suspend();
    EXPECT_TRUE(Extract(*files, nullptr, "Sous\\Licence.txt", "C:\\Tmp\\Sous\\Licence.txt"));
    log.Resume();
    EXPECT_TRUE(machine.IsFile("C:\\Tmp\\Sous\\Licence.txt"));
    EXPECT_TRUE(Log().empty());
}

// Before an installation runs (the licence page) nothing is there to keep the lines.
TEST_F(ArchiveExtract, WritesWithoutALogAndRecordsNothing)
{
    auto files = ArchiveBuilder().Add("Sous\\Licence.txt", "Texte").Open();
    EXPECT_TRUE(Extract(*files, nullptr, "Sous\\Licence.txt", "C:\\Tmp\\Sous\\Licence.txt"));
    EXPECT_TRUE(machine.IsFile("C:\\Tmp\\Sous\\Licence.txt"));
    EXPECT_TRUE(Log().empty());
}
