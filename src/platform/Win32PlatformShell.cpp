#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"
#include "platform/Win32PlatformPaths.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

#include <atomic>
#include <memory>

using namespace win32;

// ---- shell links ---------------------------------------------------------

namespace {

class Win32ShellLink : public ShellLink {
public:
    explicit Win32ShellLink(ComPtr<IShellLinkA> link) : link_(std::move(link)) {}
    void SetPath(const std::string& target) override { link_->SetPath(target.c_str()); }
    void SetWorkingDirectory(const std::string& folder) override { link_->SetWorkingDirectory(folder.c_str()); }
    void SetDescription(const std::string& text) override { link_->SetDescription(text.c_str()); }
    bool Save(const std::string& linkFile) override {
        ComPtr<IPersistFile> file;
        if (FAILED(link_->QueryInterface(IID_IPersistFile, file.Receive()))) return false;
        return SUCCEEDED(file->Save(AnsiToWide(linkFile).data(), TRUE));
    }

private:
    ComPtr<IShellLinkA> link_;
};

}  // namespace

// ---- shell ---------------------------------------------------------------

PathAnswer Win32Platform::SpecialFolderPath(int csidl, std::string& path) {
    path.clear();
    wchar_t folder[MAX_PATH] = {};
    if (!folderPath_ || folderPath_(nullptr, csidl, nullptr, 0, folder) != S_OK) return PathAnswer::Missing;
    return NarrowPath(folder, path);
}

std::unique_ptr<ShellLink> Win32Platform::NewShellLink() {
    ComPtr<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive())))
        return nullptr;
    return std::make_unique<Win32ShellLink>(std::move(link));
}

// ---- the desktop user's programs ------------------------------------------

namespace {

template <typename T>
T** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<T**>(pointer.Receive());
}

// A text for the shell's automation calls, owned for the length of the call.
class Bstr {
public:
    explicit Bstr(const std::string& text) : text_(::SysAllocString(AnsiToWide(text).data())) {}
    ~Bstr() { ::SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return text_; }
    VARIANT Variant() const {
        VARIANT value;
        ::VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = text_;
        return value;
    }

private:
    BSTR text_;
};

// The desktop's folder view: its Application object is the shell of the user who runs Explorer.
ComPtr<IShellDispatch2> DesktopShell() {
    ComPtr<IShellWindows> windows;
    ComPtr<IDispatch> desktop, background, application;
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IShellDispatch2> shell;
    VARIANT location, root;
    ::VariantInit(&location);
    ::VariantInit(&root);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    LONG window = 0;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  windows.Receive())) ||
        windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, Out(desktop)) != S_OK ||
        !desktop || FAILED(desktop->QueryInterface(IID_IServiceProvider, provider.Receive())) ||
        FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.Receive())) ||
        FAILED(browser->QueryActiveShellView(Out(view))) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.Receive())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.Receive())) ||
        FAILED(folderView->get_Application(Out(application))) || !application ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.Receive())))
        return ComPtr<IShellDispatch2>();
    return shell;
}

}  // namespace

namespace {

// How long the desktop's shell may take to answer. Where none serves the window list (no
// Explorer, a kiosk shell, a session whose Explorer died, some Wine desktops) COM may wait for a
// server that never registers, far longer than a user waits on "Terminer".
const DWORD kDesktopShellWaitMs = 2000;

// One start through the shell, shared by the caller and the thread that asks the shell; whoever
// leaves last frees it. The caller gives up by moving Asking to GivenUp, the thread starts the
// program only by moving Asking to Starting: never both.
struct ShellStart {
    enum State { Asking, GivenUp, Starting, Started, Failed };
    std::string application, arguments, currentDir;
    unsigned showMode = 0;
    std::atomic<int> state{Asking};
    FileHandle done{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

void AskDesktopShell(ShellStart& job) {
    const bool com = SUCCEEDED(::CoInitialize(nullptr));
    bool started = false;
    {
        ComPtr<IShellDispatch2> shell = DesktopShell();
        int asking = ShellStart::Asking;
        if (shell && job.state.compare_exchange_strong(asking, ShellStart::Starting)) {
            const Bstr file(job.application), parameters(job.arguments), folder(job.currentDir), verb("open");
            VARIANT show;
            ::VariantInit(&show);
            show.vt = VT_I4;
            show.lVal = static_cast<LONG>(job.showMode);
            started = SUCCEEDED(
                shell->ShellExecute(file.Get(), parameters.Variant(), folder.Variant(), verb.Variant(), show));
        }
    }
    int state = ShellStart::Asking;
    if (!job.state.compare_exchange_strong(state, ShellStart::Failed) && state == ShellStart::Starting)
        job.state.store(started ? ShellStart::Started : ShellStart::Failed);
    ::SetEvent(job.done.Get());
    if (com) ::CoUninitialize();
}

// Waits for the event, answering sent messages and repainting meanwhile, so that the caller's
// windows do not freeze; input stays queued for after the wait.
bool WaitAnswering(HANDLE event, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= timeoutMs) return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - spent, QS_SENDMESSAGE | QS_PAINT);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        while (::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageA(&message);
    }
}

}  // namespace

// Explorer runs with the user's own token; CreateProcessWithTokenW with a copy of it would need
// the secondary logon service and a hand-made environment, and Explorer gives both as they are.
// The shell is asked on a thread of its own and waited for a bounded time.
bool Win32Platform::StartProgramAsDesktopUser(const std::string& application, const std::string& arguments,
                                              const std::string& currentDir, unsigned showMode) {
    auto job = std::make_shared<ShellStart>();
    job->application = application;
    job->arguments = arguments;
    job->currentDir = currentDir;
    job->showMode = showMode;
    if (!job->done || !StartThread([job] { AskDesktopShell(*job); })) return false;
    if (!WaitAnswering(job->done.Get(), kDesktopShellWaitMs)) {
        int asking = ShellStart::Asking;
        if (job->state.compare_exchange_strong(asking, ShellStart::GivenUp)) return false;
        // The shell was already starting it: its answer is worth the same wait once more.
        WaitAnswering(job->done.Get(), kDesktopShellWaitMs);
    }
    return job->state.load() == ShellStart::Started;
}
