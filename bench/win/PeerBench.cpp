// The setup program against an NSIS installer of the same files, each a whole process as a user
// meets it (mode "peer" of velmorra-bench).
//
// The setup is started and timed to its first page, driven untimed to the ready page, then timed
// again from Next to the associations page: start-up plus installation, without the user's reading.
// The NSIS installer runs silently and is timed from start to exit; so is the setup with "/S", a
// second pair beside the first. All install into the same folders, emptied after every run.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchStats.h"
#include "engine/ResConst.h"

namespace bench {
namespace {

const DWORD kPageTimeoutMs = 120000;

std::wstring Wide(const char* text)
{
    const int n = MultiByteToWideChar(1252, 0, text, -1, nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(1252, 0, text, -1, wide.data(), n);
    return wide;
}

// The text the system keeps for another process's window: no message to the setup's thread,
// which the polling would otherwise keep busy.
std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

struct Search {
    DWORD pid;
    std::wstring text;
    const wchar_t* cls;   // the pages bear their titles too: the title is the label of that text
    HWND found = nullptr;
};

BOOL CALLBACK FindChildWithText(HWND child, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (TextOf(child) != search->text || lstrcmpiW(cls, search->cls) != 0) return TRUE;
    search->found = child;
    return FALSE;
}

BOOL CALLBACK FindInTopLevel(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    EnumChildWindows(window, FindChildWithText, param);
    return search->found ? FALSE : TRUE;
}

// Until the control shows exactly this text; false after the timeout.
bool WaitForText(HWND control, const std::wstring& text)
{
    const DWORD start = GetTickCount();
    while (TextOf(control) != text) {
        if (GetTickCount() - start > kPageTimeoutMs) return false;
        Sleep(1);
    }
    return true;
}

// A control of this class in the process's visible windows, showing exactly this text; null
// after the timeout.
HWND WaitForControl(DWORD pid, const wchar_t* cls, const std::wstring& text)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{pid, text, cls};
        EnumWindows(FindInTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (GetTickCount() - start > kPageTimeoutMs) return nullptr;
        Sleep(1);
    }
}

std::string FolderOf(int csidl)
{
    char path[MAX_PATH] = {};
    return SHGetFolderPathA(nullptr, csidl, nullptr, 0, path) == S_OK ? std::string(path) : std::string();
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

size_t PeakWorkingSet(HANDLE process)
{
    using InfoFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    static HMODULE psapi = LoadLibraryA("psapi.dll");
    static auto info = psapi ? reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(psapi, "GetProcessMemoryInfo")))
                             : nullptr;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return info && info(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

struct Started {
    HANDLE process = nullptr;
    DWORD pid = 0;
    explicit operator bool() const { return process != nullptr; }
};

Started Start(const std::string& commandLine)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "bench: cannot start %s (%lu)\n", commandLine.c_str(), GetLastError());
        return {};
    }
    CloseHandle(info.hThread);
    return {info.hProcess, info.dwProcessId};
}

struct SetupRun {
    double startup = -1, installing = -1;
    size_t peak = 0;
};

void Stop(const Started& run)
{
    TerminateProcess(run.process, 0);
    WaitForSingleObject(run.process, INFINITE);
    CloseHandle(run.process);
}

SetupRun RunSetupProgram(const std::string& setup)
{
    SetupRun result;
    const auto start = Clock::now();
    const Started run = Start("\"" + setup + "\"");
    if (!run) return result;
    // The page title is one label whose text changes from page to page.
    HWND title = WaitForControl(run.pid, L"Static", Wide(PageTitles[0]));
    if (!title) {
        std::fprintf(stderr, "bench: the setup's first page did not come\n");
        Stop(run);
        return result;
    }
    const double startup = Seconds(start);
    HWND next = WaitForControl(run.pid, L"Button", L"&Suite >");
    for (int page = 1; page <= 4; ++page) {
        PostMessageW(next, BM_CLICK, 0, 0);
        if (!next || !WaitForText(title, Wide(PageTitles[page]))) {
            std::fprintf(stderr, "bench: the setup did not reach page %d\n", page);
            Stop(run);
            return result;
        }
    }
    const auto click = Clock::now();
    PostMessageW(next, BM_CLICK, 0, 0);
    if (WaitForText(title, Wide(PageTitles[6]))) {
        result.startup = startup;
        result.installing = Seconds(click);
        result.peak = PeakWorkingSet(run.process);
    } else {
        std::fprintf(stderr, "bench: the setup did not reach the associations page\n");
    }
    Stop(run);
    return result;
}

// A whole silent run, start to exit; -1 when it fails or outlasts the timeout.
double RunSilently(const std::string& installer, const char* who)
{
    const auto start = Clock::now();
    const Started run = Start("\"" + installer + "\" /S");
    if (!run) return -1;
    if (WaitForSingleObject(run.process, kPageTimeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "bench: %s /S did not end\n", who);
        Stop(run);
        return -1;
    }
    const double seconds = Seconds(start);
    DWORD code = 1;
    GetExitCodeProcess(run.process, &code);
    CloseHandle(run.process);
    if (code != 0) std::fprintf(stderr, "bench: %s /S ended with %lu\n", who, code);
    return code == 0 ? seconds : -1;
}

}  // namespace

// velmorra-bench install <VelmorraSetup.exe>: one installation left in place (what the NSIS
// installer is made of); prints the two folders it fills.
int InstallOnce(int argc, char** argv)
{
    if (argc < 3) return 2;
    const std::string folders[2] = {FolderOf(CSIDL_PROGRAM_FILES) + "\\Velmorra",
                                    FolderOf(CSIDL_COMMON_APPDATA) + "\\Velmorra"};
    for (const std::string& folder : folders) RemoveTree(folder);
    if (RunSetupProgram(argv[2]).startup < 0) return 1;
    for (const std::string& folder : folders) std::printf("%s\n", folder.c_str());
    return 0;
}

namespace {

struct PeerRun {
    std::string setup, nsis, label;
    int runs;
    std::vector<std::string> folders;
    bool failed = false;

    void Clean() const
    {
        for (const std::string& folder : folders) RemoveTree(folder);
    }

    double Nsis()
    {
        const double seconds = RunSilently(nsis, "the NSIS installer");
        Clean();
        if (seconds < 0) failed = true;
        return seconds;
    }
};

// The wizard driven from outside against NSIS's /S.
bool WizardAgainstNsis(PeerRun& peer)
{
    std::vector<double> startups, installings, peaks;
    auto setupSide = [&] {
        const SetupRun run = RunSetupProgram(peer.setup);
        peer.Clean();
        if (run.startup < 0) {
            peer.failed = true;
            return 0.0;
        }
        startups.push_back(run.startup);
        installings.push_back(run.installing);
        peaks.push_back(double(run.peak));
        return run.startup + run.installing;
    };
    auto nsisSide = [&] { return peer.Nsis(); };
    setupSide();   // warm-up: Wine's first start of each program costs more
    nsisSide();
    startups.clear();
    installings.clear();
    peaks.clear();
    const Pair pair = MedianPair(peer.runs, setupSide, nsisSide);
    if (peer.failed) return false;
    std::printf("peer %-5s setup %8.1f ms (start-up %.1f + Next to associations %.1f)  NSIS /S %8.1f ms  "
                "ratio %.3f  (median of %d)\n",
                peer.label.c_str(), pair.subject * 1e3, Median(startups) * 1e3, Median(installings) * 1e3,
                pair.baseline * 1e3, pair.Ratio(), peer.runs);
    std::printf("peer %-5s setup's peak working set %.1f MB\n", peer.label.c_str(), Median(peaks) / (1 << 20));
    std::fflush(stdout);
    return true;
}

// Silent against silent: both whole processes, start to exit. True when the setup is ahead.
bool SilentAgainstNsis(PeerRun& peer)
{
    auto setupSide = [&] {
        const double seconds = RunSilently(peer.setup, "VelmorraSetup.exe");
        peer.Clean();
        if (seconds < 0) peer.failed = true;
        return seconds;
    };
    auto nsisSide = [&] { return peer.Nsis(); };
    setupSide();
    nsisSide();
    if (peer.failed) return false;   // a setup without /S would wait out every run
    const Pair pair = MedianPair(peer.runs, setupSide, nsisSide);
    if (peer.failed) return false;
    const bool met = pair.Ratio() < 1.0;
    std::printf("peer %-5s VelmorraSetup.exe /S %8.1f ms  NSIS /S %8.1f ms  ratio %.3f  target < 1.00  %s  "
                "(median of %d)\n",
                peer.label.c_str(), pair.subject * 1e3, pair.baseline * 1e3, pair.Ratio(), met ? "met" : "MISSED",
                peer.runs);
    std::fflush(stdout);
    return met;
}

}  // namespace

// velmorra-bench peer <VelmorraSetup.exe> <nsis-setup.exe> <label> [runs]
int Peer(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: velmorra-bench peer <setup.exe> <nsis.exe> <label> [runs]\n");
        return 2;
    }
    PeerRun peer{argv[2], argv[3], argv[4], argc > 5 ? std::atoi(argv[5]) : 5,
                 {FolderOf(CSIDL_PROGRAM_FILES) + "\\Velmorra", FolderOf(CSIDL_COMMON_APPDATA) + "\\Velmorra"}};
    peer.Clean();
    if (!WizardAgainstNsis(peer)) return 1;
    return SilentAgainstNsis(peer) ? 0 : 1;
}

}  // namespace bench
