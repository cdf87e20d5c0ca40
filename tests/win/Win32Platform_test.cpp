// The real platform on real files, Wine's registry and real windows.
#include <atomic>
#include <exception>
#include <string>
#include <vector>

#include "RealMachine.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"

// After FileHelpers.h, whose CSIDL constants the shell header would otherwise turn into macros.
#include <shlobj.h>

namespace {

uint32_t PackDos(const SYSTEMTIME& t)
{
    uint32_t date = ((t.wYear - 1980u) << 9) | (t.wMonth << 5) | t.wDay;
    uint32_t time = (t.wHour << 11) | (t.wMinute << 5) | (t.wSecond / 2);
    return (date << 16) | time;
}

bool IsFolder(const std::string& path)
{
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path)
{
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// ---- files ------------------------------------------------------------------

using RealFiles = RealMachineTest;

TEST_F(RealFiles, AReplacementIsSwappedInWholeOrNotAtAll)
{
    const std::string file = scratch + "Install.log";
    FolderHold hold(sharedData);
    EXPECT_EQ(WriteOutcome::Written, WriteWholeFile(hold, file, "old", 3, FileShare::None));

    HANDLE other = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(WriteOutcome::Failed, WriteWholeFile(hold, file, "new", 3, FileShare::None));
    ::CloseHandle(other);
    std::string read;
    ASSERT_TRUE(Sys().ReadWholeFile(file, read));
    EXPECT_EQ("old", read);

    EXPECT_EQ(WriteOutcome::Written, WriteWholeFile(hold, file, "new", 3, FileShare::None, 0x32EF0000, Durability::Flushed));
    ASSERT_TRUE(Sys().ReadWholeFile(file, read));
    EXPECT_EQ("new", read);
    uint32_t dos = 0;
    ASSERT_TRUE(Sys().GetLastWriteDos(file, dos));
    EXPECT_EQ(0x32EF0000u, dos);
    EXPECT_EQ(1u, Sys().FindFiles(scratch + "*.*").size() - 2);   // no temporary left beside it
}

// ---- file times -------------------------------------------------------------

using RealFileTimes = RealMachineTest;

TEST_F(RealFileTimes, DosTimeIsTheLocalWallClockTime)
{
    // Today's date, so that the zone's bias now and at that moment agree.
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    now.wSecond &= ~1;
    now.wMilliseconds = 0;
    const std::string file = scratch + "local.txt";
    ASSERT_TRUE(Sys().WriteNewFile(file, "x", 1, FileShare::None));
    ASSERT_TRUE(Sys().SetLastWriteDos(file, PackDos(now)));

    HANDLE handle = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    FILETIME written;
    ASSERT_TRUE(::GetFileTime(handle, nullptr, nullptr, &written));
    ::CloseHandle(handle);
    SYSTEMTIME universal, local;
    ASSERT_TRUE(::FileTimeToSystemTime(&written, &universal));
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local));
    EXPECT_EQ(now.wYear, local.wYear);
    EXPECT_EQ(now.wMonth, local.wMonth);
    EXPECT_EQ(now.wDay, local.wDay);
    EXPECT_EQ(now.wHour, local.wHour);
    EXPECT_EQ(now.wMinute, local.wMinute);
    EXPECT_EQ(now.wSecond, local.wSecond);
}

// ---- folders ----------------------------------------------------------------

using RealFolders = RealMachineTest;

TEST_F(RealFolders, FolderTestsSeeTheRealFileSystem)
{
    EXPECT_TRUE(FolderExists(scratch));
    EXPECT_TRUE(FolderExists("C:\\"));
    EXPECT_FALSE(FolderExists(scratch + "Nowhere"));
    ASSERT_TRUE(Sys().CreateDir(scratch + "Sub"));
    EXPECT_TRUE(FolderExists(scratch + "Sub"));
    EXPECT_FALSE(FolderExists(scratch + "Sub\\..\\Sub"));   // read back in its plain form
    std::string temp;
    ASSERT_EQ(PathAnswer::Found, Sys().TempPath(temp));
    EXPECT_EQ('\\', temp.back());
    EXPECT_TRUE(FolderExists(temp));
}

// "Łukasz": Windows-1252 has no "Ł"; best fit would read "Lukasz", another folder's name.
TEST_F(RealFolders, ANameOutsideTheCodePageIsListedByItsShortNameNeverByALookAlike)
{
    ASSERT_TRUE(::CreateDirectoryW((std::wstring(scratch.begin(), scratch.end()) + L"\x0141ukasz").c_str(), nullptr));
    std::vector<FoundFile> found = Sys().FindFiles(scratch + "*.*");
    ASSERT_EQ(3u, found.size()) << "no short name given";   // ".", ".." and the folder
    EXPECT_NE(std::string::npos, found[2].name.find('~'));
    EXPECT_TRUE(FolderExists(scratch + found[2].name));
}

TEST_F(RealFolders, MakeFolderPathCreatesEveryMissingParent)
{
    InstallLog log;
    MakeFolderPath(scratch + "A\\B\\C", sharedData, log);
    EXPECT_TRUE(IsFolder(scratch + "A\\B\\C"));
    EXPECT_EQ((std::vector<std::string>{"Made Dir: " + scratch + "A\\", "Made Dir: " + scratch + "A\\B\\",
                                        "Made Dir: " + scratch + "A\\B\\C"}),
              log.Lines());
}

TEST_F(RealFolders, DeleteFolderTreeRemovesATreeButLeavesOneHoldingAReadOnlyFile)
{
    ASSERT_TRUE(Sys().CreateDir(scratch + "Plain"));
    ASSERT_TRUE(Sys().CreateDir(scratch + "Plain\\Deep"));
    ASSERT_TRUE(Sys().WriteNewFile(scratch + "Plain\\Deep\\a.txt", "a", 1, FileShare::None));
    ASSERT_TRUE(Sys().WriteNewFile(scratch + "Plain\\b.txt", "b", 1, FileShare::None));
    DeleteFolderTree(scratch + "Plain");
    EXPECT_FALSE(IsFolder(scratch + "Plain"));

    ASSERT_TRUE(Sys().CreateDir(scratch + "Kept"));
    ASSERT_TRUE(Sys().CreateDir(scratch + "Kept\\Deep"));
    ASSERT_TRUE(Sys().WriteNewFile(scratch + "Kept\\Deep\\ro.txt", "r", 1, FileShare::None));
    ASSERT_TRUE(Sys().WriteNewFile(scratch + "Kept\\other.txt", "o", 1, FileShare::None));
    ::SetFileAttributesA((scratch + "Kept\\Deep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    DeleteFolderTree(scratch + "Kept\\");
    EXPECT_TRUE(IsFile(scratch + "Kept\\Deep\\ro.txt"));
    EXPECT_FALSE(IsFile(scratch + "Kept\\other.txt"));
}

// ---- threads ----------------------------------------------------------------

using RealThreads = RealMachineTest;

TEST_F(RealThreads, AnExceptionEndsOnlyItsThread)
{
    std::unique_ptr<Thread> thread = Sys().StartThread([] { throw std::runtime_error("worker failed"); });
    ASSERT_NE(nullptr, thread);
    thread->Join();
    EXPECT_TRUE(thread->Finished());
}

// ---- drives -----------------------------------------------------------------

using RealDrives = RealMachineTest;

TEST_F(RealDrives, TheSystemDriveIsFixedWithAGeometryAndFreeSpace)
{
    EXPECT_TRUE(Sys().LogicalDrives() & (1u << 2));
    EXPECT_EQ(kDriveFixed, Sys().DriveType("C:\\"));
    EXPECT_EQ(kDriveFixed, DriveTypeOf("C:\\Program Files\\Velmorra"));
    EXPECT_FALSE(IsRemovableDrive("C:\\Program Files\\Velmorra"));

    std::string label = "unset";
    uint32_t flags = 0;
    EXPECT_TRUE(Sys().VolumeInfo("C:\\", label, flags));
    EXPECT_NE("unset", label);

    uint32_t sectors = 0, bytes = 0;
    ASSERT_TRUE(Sys().DiskGeometry("C:\\", sectors, bytes));
    EXPECT_GT(sectors * bytes, 0u);
    ASSERT_TRUE(Sys().SetCurrentDir(scratch));
    EXPECT_TRUE(Sys().DiskGeometry("", sectors, bytes));
    EXPECT_GT(ClusterSize(scratch + "Not made yet\\"), 0);

    uint64_t free = 0;
    EXPECT_TRUE(Sys().FreeBytesForUser("C:\\", free));
    EXPECT_GT(free, 0u);
}

TEST_F(RealDrives, ALocalDriveHasNoNetworkConnection)
{
    std::string remote = "unset";
    EXPECT_FALSE(Sys().NetworkConnection("C:", remote));
    EXPECT_EQ("unset", remote);
}

TEST_F(RealDrives, ADriveDeclaredFloppyIsRemovable)
{
    // tests/win/run.sh declares it in a fresh prefix.
    const std::string letter = EnvironmentText("VELMORRA_TEST_REMOVABLE_DRIVE");
    if (letter.empty()) GTEST_SKIP() << "VELMORRA_TEST_REMOVABLE_DRIVE is not set";
    const std::string root = letter.substr(0, 1) + ":\\";
    EXPECT_EQ(kDriveRemovable, Sys().DriveType(root));
    EXPECT_TRUE(IsRemovableDrive(root + "Velmorra"));
}

// ---- shell ------------------------------------------------------------------

using RealShell = RealMachineTest;

TEST_F(RealShell, SpecialFoldersAnswerWithAbsolutePathsWithoutTrailingBackslash)
{
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS,
                      CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES}) {
        const std::string path = SpecialFolder(csidl);
        SCOPED_TRACE(csidl);
        ASSERT_GT(path.size(), 3u);
        EXPECT_EQ(':', path[1]);
        EXPECT_NE('\\', path.back());
    }
    EXPECT_NE(std::string::npos, SpecialFolder(CSIDL_PROGRAM_FILES).find("Program Files"));
    EXPECT_EQ("", SpecialFolder(0x7F));   // no such folder
}

TEST_F(RealShell, AShortcutReadsBackWithItsTargetFolderAndDescription)
{
    InstallLog log;
    const std::string link = scratch + "Menu\\Traitement de texte Velmorra.lnk";
    const std::string target = scratch + "Velmorra\\vlm.exe";
    ASSERT_TRUE(Sys().CreateDir(scratch + "Velmorra"));
    ASSERT_TRUE(Sys().WriteNewFile(target, "MZ", 2, FileShare::None));
    CreateShortcut(link, target, scratch + "Velmorra", "Traitement de texte Velmorra", sharedData, log);
    ASSERT_TRUE(IsFile(link));
    EXPECT_EQ((std::vector<std::string>{"Made Dir: " + scratch + "Menu\\", "File Copy: " + link}), log.Lines());

    IShellLinkA* shellLink = nullptr;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                             reinterpret_cast<void**>(&shellLink))));
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    std::wstring wideLink(link.begin(), link.end());
    EXPECT_TRUE(SUCCEEDED(file->Load(wideLink.c_str(), STGM_READ)));
    char text[MAX_PATH] = {};
    shellLink->GetPath(text, MAX_PATH, nullptr, 0);
    EXPECT_TRUE(EqualNoCase(target, text)) << text;
    shellLink->GetWorkingDirectory(text, MAX_PATH);
    EXPECT_TRUE(EqualNoCase(scratch + "Velmorra", text)) << text;
    shellLink->GetDescription(text, MAX_PATH);
    EXPECT_STREQ("Traitement de texte Velmorra", text);
    file->Release();
    shellLink->Release();
}

// ---- windows and processes --------------------------------------------------

using RealWindows = RealMachineTest;

// A second copy finds the first one's guard and learns that it belongs to the Administrators
// or to this user; what is not known is never taken for another copy.
TEST(RealGuard, ASecondClaimFindsTheFirstAndItsOwner)
{
    Win32Platform first, second;
    const std::string name = "VelmorraSetupTest" + std::to_string(::GetCurrentProcessId());
    const std::string user = first.UserSid();
    EXPECT_EQ(0u, user.rfind("S-1-5-", 0)) << user;
    EXPECT_TRUE(first.ClaimGuard(name).held);
    const GuardClaim claim = second.ClaimGuard(name);
    EXPECT_FALSE(claim.held);
    EXPECT_TRUE(claim.ownerSid == "S-1-5-32-544" || claim.ownerSid == user) << claim.ownerSid;
}

TEST_F(RealWindows, AWindowIsFoundByItsPropertyAndTheWalkStopsWhenAsked)
{
    HWND window = ::CreateWindowExA(0, "STATIC", "vlm stand-in", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    ::SetPropA(window, "1.x Tessalvorn", reinterpret_cast<HANDLE>(1));

    bool found = false;
    Sys().EnumTopLevelWindows([&](uintptr_t w) {
        found = Sys().WindowHasProperty(w, "1.x Tessalvorn");
        return !found;
    });
    EXPECT_TRUE(found);

    int visited = 0;
    Sys().EnumTopLevelWindows([&](uintptr_t) { return ++visited < 1; });
    EXPECT_EQ(1, visited);

    ::RemovePropA(window, "1.x Tessalvorn");
    EXPECT_FALSE(Sys().WindowHasProperty(reinterpret_cast<uintptr_t>(window), "1.x Tessalvorn"));
    ::DestroyWindow(window);
}

TEST_F(RealWindows, AnExceptionInTheVisitCrossesBackOverTheSystemWalk)
{
    HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_THROW(Sys().EnumTopLevelWindows([](uintptr_t) -> bool { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    ::DestroyWindow(window);
}
