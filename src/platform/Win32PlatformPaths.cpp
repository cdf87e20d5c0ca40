#include "platform/Win32PlatformPaths.h"

#include "platform/Win32Handles.h"
#include "platform/Win32PlatformInternal.h"

using win32::Kernel32Function;

namespace {

struct WideCalls {
    decltype(&::GetCurrentDirectoryW) currentDirectory = nullptr;
    decltype(&::GetTempPathW) tempPath = nullptr;
    decltype(&::GetModuleFileNameW) moduleFileName = nullptr;
    decltype(&::GetShortPathNameW) shortPathName = nullptr;
    decltype(&::FindFirstFileW) findFirst = nullptr;
    decltype(&::FindNextFileW) findNext = nullptr;
};

WideCalls LocateWideCalls() {
    WideCalls found;
    found.currentDirectory = Kernel32Function<decltype(found.currentDirectory)>("GetCurrentDirectoryW");
    found.tempPath = Kernel32Function<decltype(found.tempPath)>("GetTempPathW");
    found.moduleFileName = Kernel32Function<decltype(found.moduleFileName)>("GetModuleFileNameW");
    found.shortPathName = Kernel32Function<decltype(found.shortPathName)>("GetShortPathNameW");
    found.findFirst = Kernel32Function<decltype(found.findFirst)>("FindFirstFileW");
    found.findNext = Kernel32Function<decltype(found.findNext)>("FindNextFileW");
    return found;
}

// Looked up once. Windows 98 has only stubs of some of them, and the program must still load
// there to say that it does not run there: each user checks for its own.
const WideCalls& Calls() {
    static const WideCalls calls = LocateWideCalls();
    return calls;
}

// Without best fit, a character the code page lacks becomes the default character and is
// reported, instead of a look-alike ("L" for a Polish "L" with a stroke) that names another file.
bool ExactAnsi(const std::wstring& text, std::string& narrow) {
    narrow.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return false;
    narrow.resize(static_cast<size_t>(size));
    usedDefault = FALSE;
    if (::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, narrow.data(), size, nullptr,
                              &usedDefault) == size && !usedDefault)
        return true;
    narrow.clear();
    return false;
}

std::wstring ShortForm(const std::wstring& path) {
    if (!Calls().shortPathName) return {};
    const DWORD needed = Calls().shortPathName(path.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring form(needed, L'\0');
    const DWORD length = Calls().shortPathName(path.c_str(), form.data(), needed);
    if (length == 0 || length >= needed) return {};
    form.resize(length);
    return form;
}

std::wstring ToWide(const std::string& text) {
    const int count = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(count > 0 ? static_cast<size_t>(count) : 0, L'\0');
    if (count > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
    return wide;
}


}  // namespace

// Only an existing entry has a short form: folders still to be made below the nearest existing
// one keep their own names, which must then fit exactly.
PathAnswer NarrowPath(const std::wstring& path, std::string& narrow) {
    if (ExactAnsi(path, narrow)) return PathAnswer::Found;
    std::wstring head = path, tail;
    for (;;) {
        const std::wstring form = ShortForm(head);
        if (!form.empty()) return ExactAnsi(form + tail, narrow) ? PathAnswer::Found : PathAnswer::Unnameable;
        const size_t slash = head.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash < 3) return PathAnswer::Unnameable;
        tail.insert(0, head, slash, std::wstring::npos);
        head.resize(slash);
    }
}

PathAnswer WideCurrentDirectory(std::string& path) {
    path.clear();
    if (!Calls().currentDirectory) return PathAnswer::Missing;
    // Another thread may change the directory between the two questions; ask again then.
    for (;;) {
        const DWORD needed = Calls().currentDirectory(0, nullptr);
        if (needed == 0) return PathAnswer::Missing;
        std::wstring folder(needed, L'\0');
        const DWORD length = Calls().currentDirectory(needed, folder.data());
        if (length == 0) return PathAnswer::Missing;
        if (length < needed) {
            folder.resize(length);
            return NarrowPath(folder, path);
        }
    }
}

PathAnswer WideTempPath(std::string& path) {
    path.clear();
    if (!Calls().tempPath) return PathAnswer::Missing;
    const DWORD needed = Calls().tempPath(0, nullptr);
    if (needed == 0) return PathAnswer::Missing;
    std::wstring folder(needed + 1, L'\0');
    const DWORD length = Calls().tempPath(needed + 1, folder.data());
    if (length == 0 || length > needed) return PathAnswer::Missing;
    folder.resize(length);
    return NarrowPath(folder, path);
}

PathAnswer WideModuleFileName(std::string& path) {
    path.clear();
    wchar_t file[MAX_PATH] = {};
    const DWORD length = Calls().moduleFileName ? Calls().moduleFileName(nullptr, file, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH) return PathAnswer::Missing;
    return NarrowPath(std::wstring(file, length), path);
}

std::vector<FoundFile> WideFindFiles(const std::string& pattern) {
    std::vector<FoundFile> found;
    if (!Calls().findFirst || !Calls().findNext) return found;
    WIN32_FIND_DATAW entry;
    FindHandle search(Calls().findFirst(ToWide(pattern).c_str(), &entry));
    if (!search) return found;
    do {
        // A name the code page cannot carry goes by its short name; without one it is left
        // alone, never acted on under a look-alike.
        std::string name;
        if (ExactAnsi(std::wstring(entry.cFileName), name) ||
            (entry.cAlternateFileName[0] && ExactAnsi(std::wstring(entry.cAlternateFileName), name)))
            found.push_back(FoundFile{name, entry.dwFileAttributes});
    } while (Calls().findNext(search.Get(), &entry));
    return found;
}
