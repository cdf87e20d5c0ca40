// The setup program against NSIS installers of the same files, each a whole process as a user
// meets it (mode "peer" of velmorra-bench), and the time from "&Terminer" to its end (mode
// "finish").
//
// The setup is started and timed to its first page, driven untimed to the ready page, then timed
// again from Next to the associations page: start-up plus installation, without the user's reading.
// Two NSIS installers run silently, timed from start to exit: one that only copies the files, and
// one that does what the setup's "/S" does (settings, uninstall entry, uninstaller, shortcuts,
// running-copy check, association command). The setup with "/S" is timed against both too. All
// install into the same folders, emptied after every run, in rounds that take each side in turn.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <functional>
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
    // Each page bears its title too, hidden with its page: only what is shown counts.
    if (!IsWindowVisible(child) || TextOf(child) != search->text || lstrcmpiW(cls, search->cls) != 0) return TRUE;
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

// A click the button takes: a disabled one drops it, and one that comes while the wizard is
// still setting its page up may be lost with the focus moves.
void Click(HWND button)
{
    const DWORD start = GetTickCount();
    while (button && !IsWindowEnabled(button) && GetTickCount() - start < kPageTimeoutMs) Sleep(1);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(button, WM_NULL, 0, 0, SMTO_NORMAL, kPageTimeoutMs, &answer);
    PostMessageW(button, BM_CLICK, 0, 0);
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
        Click(next);
        if (!next || !WaitForControl(run.pid, L"Static", Wide(PageTitles[page]))) {
            std::fprintf(stderr, "bench: the setup did not reach page %d\n", page);
            Stop(run);
            return result;
        }
    }
    const auto click = Clock::now();
    Click(next);
    if (WaitForControl(run.pid, L"Static", Wide(PageTitles[6]))) {
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

// Both shortcuts of an installation for all users.
std::vector<std::string> Shortcuts()
{
    std::vector<std::string> links;
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY})
        links.push_back(FolderOf(csidl) + "\\Traitement de texte Velmorra.lnk");
    return links;
}

struct PeerRun {
    std::string setup, copyOnly, sameWork, label;
    int runs;
    std::vector<std::string> folders;
    bool failed = false;

    void Clean() const
    {
        for (const std::string& folder : folders) RemoveTree(folder);
        for (const std::string& link : Shortcuts()) DeleteFileA(link.c_str());
    }

    double Nsis(const std::string& installer)
    {
        const double seconds = RunSilently(installer, "the NSIS installer");
        Clean();
        if (seconds < 0) failed = true;
        return seconds;
    }
};

// Each side once per round, the order turned round by round so that no side always finds the
// caches another warmed; the median of each.
std::vector<double> MedianRounds(int runs, const std::vector<std::function<double()>>& sides)
{
    std::vector<std::vector<double>> times(sides.size());
    for (int round = 0; round < runs; ++round)
        for (size_t k = 0; k < sides.size(); ++k) {
            const size_t side = (k + size_t(round)) % sides.size();
            times[side].push_back(sides[side]());
        }
    std::vector<double> medians;
    for (const auto& t : times) medians.push_back(Median(t));
    return medians;
}

struct Ratios {
    double subject, copyOnly, sameWork;
};

void PrintNsisSides(const Ratios& r)
{
    std::printf("  NSIS /S copy only %8.1f ms ratio %.3f  same work %8.1f ms ratio %.3f", r.copyOnly * 1e3,
                r.subject / r.copyOnly, r.sameWork * 1e3, r.subject / r.sameWork);
}

// The wizard driven from outside against both NSIS installers' /S. True when it is ahead of the
// same work (required on the large payload only).
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
    const std::vector<std::function<double()>> sides = {
        setupSide, [&] { return peer.Nsis(peer.copyOnly); }, [&] { return peer.Nsis(peer.sameWork); }};
    MedianRounds(1, sides);   // warm-up: Wine's first start of each program costs more
    startups.clear();
    installings.clear();
    peaks.clear();
    const std::vector<double> m = MedianRounds(peer.runs, sides);
    if (peer.failed) return false;
    const Ratios r{m[0], m[1], m[2]};
    const bool required = peer.label == "large", met = r.subject < r.sameWork;
    std::printf("peer %-5s setup %8.1f ms (start-up %.1f + Next to associations %.1f)", peer.label.c_str(),
                r.subject * 1e3, Median(startups) * 1e3, Median(installings) * 1e3);
    PrintNsisSides(r);
    std::printf("  %s  (median of %d)\n", required ? (met ? "target < 1.00 met" : "target < 1.00 MISSED") : "",
                peer.runs);
    std::printf("peer %-5s setup's peak working set %.1f MB\n", peer.label.c_str(), Median(peaks) / (1 << 20));
    std::fflush(stdout);
    return met || !required;
}

// Silent against silent: whole processes, start to exit. True when the setup is ahead of the
// same work.
bool SilentAgainstNsis(PeerRun& peer)
{
    auto setupSide = [&] {
        const double seconds = RunSilently(peer.setup, "VelmorraSetup.exe");
        peer.Clean();
        if (seconds < 0) peer.failed = true;
        return seconds;
    };
    const std::vector<std::function<double()>> sides = {
        setupSide, [&] { return peer.Nsis(peer.copyOnly); }, [&] { return peer.Nsis(peer.sameWork); }};
    MedianRounds(1, sides);
    if (peer.failed) return false;   // a setup without /S would wait out every run
    const std::vector<double> m = MedianRounds(peer.runs, sides);
    if (peer.failed) return false;
    const Ratios r{m[0], m[1], m[2]};
    const bool met = r.subject < r.sameWork;
    std::printf("peer %-5s VelmorraSetup.exe /S %8.1f ms", peer.label.c_str(), r.subject * 1e3);
    PrintNsisSides(r);
    std::printf("  target < 1.00 %s  (median of %d)\n", met ? "met" : "MISSED", peer.runs);
    std::fflush(stdout);
    return met;
}

// The launched word processor's windows, closed; their number.
BOOL CALLBACK CloseStandIn(HWND window, LPARAM count)
{
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (lstrcmpW(cls, L"VelmorraStandIn") != 0) return TRUE;
    PostMessageW(window, WM_CLOSE, 0, 0);
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The next setup would find the word processor running: the one this run launched, if any,
// is closed once its window has come (it comes late on a busy machine).
void CloseLaunched()
{
    const DWORD start = GetTickCount();
    bool seen = false;
    for (;;) {
        int count = 0;
        EnumWindows(CloseStandIn, reinterpret_cast<LPARAM>(&count));
        seen = seen || count > 0;
        if ((seen && count == 0) || GetTickCount() - start > 10000) return;
        Sleep(50);
    }
}

struct FinishRun {
    double seconds = -1;        // "&Terminer" to the end of the process
    double longestSilence = 0;  // the longest the wizard on screen left messages unanswered
};

// The wizard walked to its last page, then "&Terminer" pressed with the launch box as it comes.
FinishRun RunToFinish(const std::string& setup)
{
    FinishRun result;
    const Started run = Start("\"" + setup + "\"");
    if (!run) return result;
    HWND title = WaitForControl(run.pid, L"Static", Wide(PageTitles[0]));
    HWND next = title ? WaitForControl(run.pid, L"Button", L"&Suite >") : nullptr;
    for (int page : {1, 2, 3, 4, 6, 7}) {
        Click(next);
        if (!next || !WaitForControl(run.pid, L"Static", Wide(PageTitles[page]))) {
            std::fprintf(stderr, "bench: the setup did not reach page %d\n", page);
            Stop(run);
            return result;
        }
    }
    WaitForText(next, L"&Terminer");
    HWND wizard = GetAncestor(title, GA_ROOT);
    // A mark in a trace (WINEDEBUG=+timestamp,+debugstr,...) where the timed part begins.
    OutputDebugStringA("velmorra-bench: Terminer\n");
    const auto click = Clock::now();
    Click(next);
    // A message sent every few milliseconds while the wizard is on screen: a stretch of them left
    // unanswered is a frozen window. A hidden one is gone for the user.
    auto silentSince = Clock::now();
    while (WaitForSingleObject(run.process, 5) == WAIT_TIMEOUT) {
        DWORD_PTR answer = 0;
        const bool shown = IsWindow(wizard) && IsWindowVisible(wizard);
        if (!shown || SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_NORMAL, 20, &answer))
            silentSince = Clock::now();
        else
            result.longestSilence = std::max(result.longestSilence, Seconds(silentSince));
        if (Seconds(click) * 1e3 > kPageTimeoutMs) {
            std::fprintf(stderr, "bench: the setup did not end after \"&Terminer\"\n");
            Stop(run);
            return result;
        }
    }
    result.seconds = Seconds(click);
    OutputDebugStringA("velmorra-bench: ended\n");
    CloseHandle(run.process);
    return result;
}

}  // namespace

// velmorra-bench finish <VelmorraSetup.exe> [runs]: from "&Terminer" to the end of the setup's
// process, and whether the wizard kept answering meanwhile (target: under 2 s).
int Finish(int argc, char** argv)
{
    if (argc < 3) return 2;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    PeerRun peer{argv[2], "", "", "", runs,
                 {FolderOf(CSIDL_PROGRAM_FILES) + "\\Velmorra", FolderOf(CSIDL_COMMON_APPDATA) + "\\Velmorra"}};
    std::vector<double> seconds, silences;
    for (int i = 0; i < runs; ++i) {
        peer.Clean();
        const FinishRun run = RunToFinish(peer.setup);
        if (run.seconds < 0) return 1;
        seconds.push_back(run.seconds);
        silences.push_back(run.longestSilence);
        CloseLaunched();
    }
    peer.Clean();
    const double median = Median(seconds);
    const double silence = *std::max_element(silences.begin(), silences.end());
    const bool met = median < 2.0;
    std::printf("finish     \"&Terminer\" to exit %8.1f ms (runs:", median * 1e3);
    for (double s : seconds) std::printf(" %.0f", s * 1e3);
    std::printf(")  longest unanswered message %.1f ms  target < 2000 ms  %s  (median of %d)\n", silence * 1e3,
                met ? "met" : "MISSED", runs);
    std::fflush(stdout);
    return met ? 0 : 1;
}

// velmorra-bench peer <VelmorraSetup.exe> <NSIS copy only> <NSIS same work> <label> [runs]
int Peer(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: velmorra-bench peer <setup.exe> <nsis-copy.exe> <nsis-same.exe> <label> [runs]\n");
        return 2;
    }
    PeerRun peer{argv[2], argv[3], argv[4], argv[5], argc > 6 ? std::atoi(argv[6]) : 5,
                 {FolderOf(CSIDL_PROGRAM_FILES) + "\\Velmorra", FolderOf(CSIDL_COMMON_APPDATA) + "\\Velmorra"}};
    peer.Clean();
    const bool wizard = WizardAgainstNsis(peer);
    return SilentAgainstNsis(peer) && wizard ? 0 : 1;
}

}  // namespace bench
