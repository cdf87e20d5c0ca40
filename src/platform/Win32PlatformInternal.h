// Helpers the files of the real platform share; private to them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Win32Handles.h"

namespace win32 {

// GetProcAddress answers a generic FARPROC; going through void* keeps the cast explicit.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Ended by a NUL, for the few calls that take only wide text.
std::vector<wchar_t> AnsiToWide(const std::string& text);

// Security calls that NT 4.0 or Windows 98 lack; advapi32 is loaded already (the registry).
template <typename Fn>
Fn Advapi32Function(const char* name) {
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    return advapi ? ProcAddress<Fn>(advapi, name) : nullptr;
}

template <typename Fn>
Fn Kernel32Function(const char* name) {
    return ProcAddress<Fn>(::GetModuleHandleA("kernel32.dll"), name);
}

// Memory the security calls hand out with LocalAlloc.
struct LocalMemory {
    void* p = nullptr;
    LocalMemory() = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() { if (p) ::LocalFree(p); }
};

HMODULE Advapi();

bool WriteAll(HANDLE file, const void* data, size_t size);

FileHandle OpenNoLink(const std::string& path, DWORD access, DWORD share, BY_HANDLE_FILE_INFORMATION& info);
bool IsKind(const BY_HANDLE_FILE_INFORMATION& info, bool folder);
bool IsSoleFile(const BY_HANDLE_FILE_INFORMATION& info);
bool MarkForDeletion(HANDLE entry);

}  // namespace win32
