// What the program's rules rely on from the operating system, checked the same way over the
// fake machine and over the real calls.
#include <algorithm>
#include <atomic>
#include <vector>

#include "MachineContract.h"

namespace {

bool Write(const std::string& path, const std::string& bytes, FileShare share = FileShare::None) {
    return Sys().WriteNewFile(path, bytes.data(), bytes.size(), share);
}

std::string Read(const std::string& path) {
    std::string bytes = "(unread)";
    Sys().ReadWholeFile(path, bytes);
    return bytes;
}

const FoundFile* FindByName(const std::vector<FoundFile>& found, const std::string& name) {
    for (const FoundFile& entry : found)
        if (entry.name == name) return &entry;
    return nullptr;
}

}  // namespace

// ---- files ------------------------------------------------------------------

TEST_F(MachineContract, WrittenBytesReadBackExactlyAndReplaceAnOlderFile) {
    const std::string file = scratch + "data.bin";
    const std::string first("long content\0with a zero byte", 29);
    ASSERT_TRUE(Write(file, first));
    EXPECT_EQ(first, Read(file));
    ASSERT_TRUE(Write(file, "short", FileShare::Read));
    EXPECT_EQ("short", Read(file));
    ASSERT_TRUE(Write(file, ""));
    EXPECT_EQ("", Read(file));

    EXPECT_TRUE(Sys().DeleteFileAt(file));
    std::string bytes;
    EXPECT_FALSE(Sys().ReadWholeFile(file, bytes));
    EXPECT_FALSE(Sys().DeleteFileAt(file));
}

// (Over a read-only file too, on Windows; Wine run as root writes it: that case stays with the fake.)
TEST_F(MachineContract, WritesFailInAMissingFolderAndWhileAnotherProgramHoldsTheFile) {
    EXPECT_FALSE(Write(scratch + "missing\\file.txt", "x"));

    const std::string held = scratch + "held.txt";
    ASSERT_TRUE(Write(held, "old"));
    {
        std::shared_ptr<void> other = machine->HoldFile(held);
        EXPECT_FALSE(Write(held, "new"));
    }
    EXPECT_TRUE(Write(held, "new"));
}

TEST_F(MachineContract, ANewFileNeverTakesAnExistingNameAndAMoveReplacesOne) {
    const std::string file = scratch + "Install.log";
    ASSERT_TRUE(Sys().CreateNewFile(file, "old", 3, FileShare::None, 0x32EF0000));
    EXPECT_FALSE(Sys().CreateNewFile(file, "x", 1, FileShare::None, 0));
    EXPECT_EQ("old", Read(file));
    // A name that ends in a separator is a folder's: no file is made under the name before it.
    EXPECT_FALSE(Sys().CreateNewFile(scratch + "Dossier \\", "x", 1, FileShare::None, 0));
    EXPECT_TRUE(Sys().FindFiles(scratch + "Dossier*").empty());
    uint32_t dos = 0;
    ASSERT_TRUE(Sys().GetLastWriteDos(file, dos));
    EXPECT_EQ(0x32EF0000u, dos);

    ASSERT_TRUE(Sys().CreateNewFile(scratch + "swap.tmp", "new", 3, FileShare::None, 0));
    EXPECT_TRUE(Sys().MoveReplacing(scratch + "swap.tmp", file));
    EXPECT_EQ("new", Read(file));
    EXPECT_TRUE(Sys().FindFiles(scratch + "swap.tmp").empty());
}

// Relative to a held folder's handle; a file with a second name is neither read nor logged to.
TEST_F(MachineContract, EntriesOfAHeldFolderGoThroughItsHandleAndHardLinksAreRefused) {
    std::unique_ptr<HeldFolder> held = Sys().HoldFolder(scratch.substr(0, scratch.size() - 1));
    ASSERT_TRUE(held);
    std::unique_ptr<HeldFolder> sub = Sys().MakeFolderIn(*held, "Sous");
    ASSERT_TRUE(sub && !Sys().MakeFolderIn(*held, "Sous"));
    EXPECT_TRUE(Sys().CreateNewFileIn(*sub, "a.txt", "abc", 3, FileShare::Read, 0, Durability::Flushed));
    EXPECT_FALSE(Sys().CreateNewFileIn(*sub, "a.txt", "x", 1, FileShare::None, 0, Durability::Cached));
    std::string bytes;
    EXPECT_EQ(ReadOutcome::Read, Sys().ReadPlainFile(scratch + "Sous\\a.txt", bytes));
    EXPECT_EQ("abc", bytes);
    machine->MakeHardLink(scratch + "b.txt", scratch + "Sous\\a.txt");
    EXPECT_EQ(ReadOutcome::Refused, Sys().ReadPlainFile(scratch + "b.txt", bytes));
    EXPECT_FALSE(Sys().OpenLogFile(scratch + "b.txt"));
    for (EntryKind kind : {EntryKind::Folder, EntryKind::Link})
        EXPECT_EQ(DeleteOutcome::Refused, Sys().DeleteEntryIn(*sub, "a.txt", kind));
    EXPECT_EQ(DeleteOutcome::Deleted, Sys().DeleteEntryIn(*sub, "a.txt", EntryKind::File));
    EXPECT_EQ(DeleteOutcome::Missing, Sys().DeleteEntryIn(*sub, "a.txt", EntryKind::File));
    sub.reset();
    EXPECT_TRUE(Sys().HoldFolderIn(*held, "Sous") != nullptr);
    EXPECT_EQ(DeleteOutcome::Deleted, Sys().DeleteEntryIn(*held, "Sous", EntryKind::Folder));

    ASSERT_TRUE(Write(scratch + "run.log", "an older run"));
    std::unique_ptr<OpenedFile> log = Sys().OpenLogFile(scratch + "run.log");
    ASSERT_TRUE(log);
    EXPECT_TRUE(log->Append("one\r\n") && log->Append("two\r\n") && log->Flush());
    log.reset();
    EXPECT_EQ("one\r\ntwo\r\n", Read(scratch + "run.log"));
}

TEST_F(MachineContract, EnumerationGivesNamesAttributesAndTheStoredCase) {
    ASSERT_TRUE(Sys().CreateDir(scratch + "Sub"));
    ASSERT_TRUE(Write(scratch + "Plain.txt", "a"));
    ASSERT_TRUE(Write(scratch + "locked.txt", "b"));
    ASSERT_TRUE(Write(scratch + "hidden.txt", "c"));
    machine->SetAttributes(scratch + "locked.txt", kAttrReadOnly);
    machine->SetAttributes(scratch + "hidden.txt", kAttrHidden);

    const std::vector<FoundFile> found = Sys().FindFiles(scratch + "*.*");
    EXPECT_EQ(6u, found.size());
    EXPECT_NE(nullptr, FindByName(found, "."));
    EXPECT_NE(nullptr, FindByName(found, ".."));
    ASSERT_NE(nullptr, FindByName(found, "Sub"));
    EXPECT_TRUE(FindByName(found, "Sub")->attributes & kAttrDirectory);
    ASSERT_NE(nullptr, FindByName(found, "locked.txt"));
    EXPECT_TRUE(FindByName(found, "locked.txt")->attributes & kAttrReadOnly);
    ASSERT_NE(nullptr, FindByName(found, "hidden.txt"));
    EXPECT_TRUE(FindByName(found, "hidden.txt")->attributes & kAttrHidden);
    ASSERT_NE(nullptr, FindByName(found, "Plain.txt"));
    EXPECT_FALSE(FindByName(found, "Plain.txt")->attributes & (kAttrDirectory | kAttrReadOnly | kAttrHidden));

    // Written through another case: the same file, under the name it was made with.
    ASSERT_TRUE(Write(scratch + "PLAIN.TXT", "xy"));
    EXPECT_EQ("xy", Read(scratch + "plain.txt"));
    const std::vector<FoundFile> one = Sys().FindFiles(scratch + "PLAIN.TXT");
    ASSERT_EQ(1u, one.size());
    EXPECT_EQ("Plain.txt", one[0].name);
    EXPECT_TRUE(Sys().FindFiles(scratch + "absent.txt").empty());
    EXPECT_TRUE(Sys().FindFiles(scratch + "Sub\\").empty());
    const std::vector<FoundFile> root = Sys().FindFiles(scratch.substr(0, 3) + "*.*");
    EXPECT_FALSE(root.empty());
    EXPECT_EQ(nullptr, FindByName(root, "."));   // a drive's root lists no dots
}

TEST_F(MachineContract, DosTimesRoundTripAtTwoSecondsAndZeroLeavesTheTimeAlone) {
    const std::string file = scratch + "dated.txt";
    ASSERT_TRUE(Write(file, "x"));
    const uint32_t leapEvening = 0x305DBF7D;   // 2004-02-29 23:59:58
    ASSERT_TRUE(Sys().SetLastWriteDos(file, leapEvening));
    uint32_t read = 0;
    ASSERT_TRUE(Sys().GetLastWriteDos(file, read));
    EXPECT_EQ(leapEvening, read);

    EXPECT_FALSE(Sys().SetLastWriteDos(file, 0));
    ASSERT_TRUE(Sys().GetLastWriteDos(file, read));
    EXPECT_EQ(leapEvening, read);
    EXPECT_FALSE(Sys().SetLastWriteDos(scratch + "absent.txt", leapEvening));
}

// ---- folders ----------------------------------------------------------------

TEST_F(MachineContract, FoldersAreMadeOnceAndRemovedOnlyWhenEmpty) {
    const std::string folder = scratch + "Made";
    EXPECT_TRUE(Sys().CreateDir(folder));
    EXPECT_FALSE(Sys().CreateDir(folder));
    ASSERT_TRUE(Write(folder + "\\f.txt", "x"));
    EXPECT_FALSE(Sys().RemoveDir(folder));
    ASSERT_TRUE(Sys().DeleteFileAt(folder + "\\f.txt"));
    EXPECT_TRUE(Sys().RemoveDir(folder));
    EXPECT_TRUE(Sys().FindFiles(folder).empty());
}

TEST_F(MachineContract, CurrentDirectoryReadsBackInPlainFormAndStaysOnFailure) {
    const std::string before = Sys().GetCurrentDir();
    ASSERT_TRUE(Sys().CreateDir(scratch + "Here"));
    ASSERT_TRUE(Sys().SetCurrentDir(scratch + "Here\\"));
    EXPECT_EQ(scratch + "Here", Sys().GetCurrentDir());
    ASSERT_TRUE(Sys().SetCurrentDir(scratch + "Here/\\..\\Here\\."));
    EXPECT_EQ(scratch + "Here", Sys().GetCurrentDir());
    ASSERT_TRUE(Sys().SetCurrentDir(scratch + "HERE"));
    EXPECT_EQ(scratch + "HERE", Sys().GetCurrentDir());   // in the caller's case
    ASSERT_TRUE(Sys().SetCurrentDir(".."));
    EXPECT_EQ(scratch.substr(0, scratch.size() - 1), Sys().GetCurrentDir());
    EXPECT_FALSE(Sys().SetCurrentDir(scratch + "Nowhere"));
    EXPECT_EQ(scratch.substr(0, scratch.size() - 1), Sys().GetCurrentDir());
    int missing = 25;   // a letter no drive has
    while (missing > 2 && (Sys().LogicalDrives() >> missing & 1)) --missing;
    EXPECT_FALSE(Sys().SetCurrentDir(std::string(1, char('A' + missing)) + ":\\"));
    EXPECT_EQ(scratch.substr(0, scratch.size() - 1), Sys().GetCurrentDir());
    ASSERT_TRUE(Sys().SetCurrentDir(before));
}

TEST_F(MachineContract, AHeldFolderStaysAndEntriesAreDeletedThroughTheirOwnHandle) {
    const std::string folder = scratch + "Held", file = folder + "\\f.txt";
    ASSERT_TRUE(Sys().CreateDir(folder));
    ASSERT_TRUE(Write(file, "f"));
    {
        std::unique_ptr<HeldFolder> held = Sys().HoldFolder(folder);
        ASSERT_NE(nullptr, held);
        EXPECT_EQ(nullptr, Sys().HoldFolder(file));
        EXPECT_EQ(DeleteOutcome::Refused, Sys().DeleteEntryNoLink(file, true));
        EXPECT_EQ(DeleteOutcome::Deleted, Sys().DeleteEntryNoLink(file, false));
        EXPECT_EQ(DeleteOutcome::Missing, Sys().DeleteEntryNoLink(file, false));
        EXPECT_FALSE(Sys().MoveReplacing(folder, scratch + "Moved"));
        EXPECT_NE(DeleteOutcome::Deleted, Sys().DeleteEntryNoLink(folder, true));
        EXPECT_FALSE(Sys().RemoveDir(folder));
    }
    EXPECT_EQ(DeleteOutcome::Refused, Sys().DeleteEntryNoLink(folder, false));
    EXPECT_EQ(DeleteOutcome::Deleted, Sys().DeleteEntryNoLink(folder, true));
    EXPECT_EQ(nullptr, Sys().HoldFolder(folder));
    EXPECT_NE(Sys().RandomNumber(), Sys().RandomNumber());
}

// ---- text -------------------------------------------------------------------

TEST_F(MachineContract, CasingFollowsTheWindows1252Letters) {
    std::string text = "Modèles à œuvre ÿ \xD7\xF7\x9A\xDF";
    Sys().UpperCase(text);
    EXPECT_EQ("MODÈLES À ŒUVRE Ÿ \xD7\xF7\x8A\xDF", text);
    Sys().LowerCase(text);
    EXPECT_EQ("modèles à œuvre ÿ \xD7\xF7\x9A\xDF", text);
    std::string empty;
    Sys().UpperCase(empty);
    EXPECT_EQ("", empty);
}

TEST_F(MachineContract, ComparisonsIgnoreCaseOnlyWhenAsked) {
    EXPECT_EQ(0, Sys().CompareIgnoreCase("Made Dir: C:\\Élan\\", "made dir: c:\\élan\\"));
    EXPECT_NE(0, Sys().CompareIgnoreCase("Made Dir: C:\\A", "Made Dir: C:\\A\\"));
    EXPECT_NE(0, Sys().CompareIgnoreCase("e", "é"));
    EXPECT_LT(Sys().CompareIgnoreCase("", "a"), 0);
    EXPECT_NE(0, Sys().CompareLocale("abc", "ABC"));
    EXPECT_EQ(0, Sys().CompareLocale("abc", "abc"));
    EXPECT_LT(Sys().CompareLocale("apple", "Banana"), 0);   // letters before case
    EXPECT_LT(Sys().CompareLocale("é", "f"), 0);
    EXPECT_FALSE(Sys().IsDbcsSystem());
}

// ---- registry ---------------------------------------------------------------

TEST_F(MachineContract, OpeningCreatesTheKeyAndValuesKeepTheirRawBytes) {
    const std::string path = machine->ScratchKey() + "\\Install";
    {
        std::unique_ptr<RegistryKey> key = Sys().OpenOrCreateKey(RegRoot::CurrentUser, path);
        ASSERT_NE(nullptr, key);
        RegType type = RegType::None;
        std::string bytes;
        EXPECT_FALSE(key->Query("MAINDIR", type, bytes));
        key->SetString("MAINDIR", "D:\\Apps\\Velmorra é");
        key->SetString("EMPTY", "");
        key->SetDword("COMPS_FR (1.6.5.8)", 0x7FFFFF0A);
    }
    EXPECT_NE(nullptr, Sys().OpenExistingKey(RegRoot::CurrentUser, machine->ScratchKey()));
    std::string upper = path;   // key names ignore case
    Sys().UpperCase(upper);
    EXPECT_NE(nullptr, Sys().OpenExistingKey(RegRoot::CurrentUser, upper));
    std::unique_ptr<RegistryKey> key = Sys().OpenExistingKey(RegRoot::CurrentUser, path);
    ASSERT_NE(nullptr, key);
    RegType type = RegType::None;
    std::string bytes;
    ASSERT_TRUE(key->Query("maindir", type, bytes));
    EXPECT_EQ(RegType::String, type);
    EXPECT_EQ(std::string("D:\\Apps\\Velmorra é\0", 19), bytes);   // stored with its zero byte
    ASSERT_TRUE(key->Query("EMPTY", type, bytes));
    EXPECT_EQ(std::string("\0", 1), bytes);
    ASSERT_TRUE(key->Query("comps_fr (1.6.5.8)", type, bytes));
    EXPECT_EQ(RegType::Dword, type);
    EXPECT_EQ(std::string("\x0A\xFF\xFF\x7F", 4), bytes);

    key.reset();
    EXPECT_FALSE(Sys().DeleteRegistryKey(RegRoot::CurrentUser, machine->ScratchKey(), false));   // has a sub-key
    EXPECT_FALSE(Sys().DeleteRegistryKey(RegRoot::CurrentUser, path, true));                      // holds values
    EXPECT_TRUE(Sys().DeleteRegistryKey(RegRoot::CurrentUser, path, false));
    EXPECT_EQ(nullptr, Sys().OpenExistingKey(RegRoot::CurrentUser, path));
}

// ---- threads ----------------------------------------------------------------

TEST_F(MachineContract, AThreadRunsItsBodyOffTheMainThreadAndIsJoined) {
    std::atomic<bool> release{false};
    std::atomic<bool> onMain{true};
    std::unique_ptr<Thread> thread = Sys().StartThread([&] {
        onMain = Sys().IsMainThread();
        while (!release) Sys().SleepMs(1);
    });
    ASSERT_NE(nullptr, thread);
    EXPECT_FALSE(thread->Finished());
    release = true;
    thread->Join();
    EXPECT_TRUE(thread->Finished());
    EXPECT_FALSE(onMain);
    EXPECT_TRUE(Sys().IsMainThread());
}

TEST_F(MachineContract, TheLockIsReentrantAndKeepsTwoThreadsApart) {
    std::unique_ptr<Lock> lock = Sys().NewLock();
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            lock->Acquire();
            lock->Acquire();
            lock->Release();
            long seen = counter;
            if (i % 1000 == 0) Sys().SleepMs(0);   // give the other thread a chance to interleave
            counter = seen + 1;
            lock->Release();
        }
    };
    std::unique_ptr<Thread> first = Sys().StartThread(work);
    std::unique_ptr<Thread> second = Sys().StartThread(work);
    first->Join();
    second->Join();
    EXPECT_EQ(40000, counter);
}
