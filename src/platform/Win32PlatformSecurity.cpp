#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"

#include <vector>

using namespace win32;

// ---- the one-copy guard ---------------------------------------------------

namespace {

const char* const kAdministratorsSid = "S-1-5-32-544";

std::string SidText(PSID sid) {
    using ToTextFn = BOOL(WINAPI*)(PSID, LPSTR*);
    auto toText = Advapi32Function<ToTextFn>("ConvertSidToStringSidA");
    LocalMemory text;
    if (!sid || !toText || !toText(sid, reinterpret_cast<LPSTR*>(&text.p))) return "";
    return static_cast<const char*>(text.p);
}

// A security descriptor from its text form; null (default security) where the system lacks it.
void* DescriptorFromText(const std::string& sddl, LocalMemory& descriptor) {
    using FromTextFn = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    auto fromText = Advapi32Function<FromTextFn>("ConvertStringSecurityDescriptorToSecurityDescriptorA");
    if (!fromText || !fromText(sddl.c_str(), 1 /* SDDL_REVISION_1 */, &descriptor.p, nullptr)) return nullptr;
    return descriptor.p;
}

std::string KernelObjectOwner(HANDLE object) {
    using GetInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                     PSECURITY_DESCRIPTOR*);
    auto getInfo = Advapi32Function<GetInfoFn>("GetSecurityInfo");
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (!object || !getInfo ||
        getInfo(object, 6 /* SE_KERNEL_OBJECT */, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                &descriptor.p) != ERROR_SUCCESS)
        return "";
    return SidText(owner);
}

// Vista and later: a namespace only a token holding the Administrators group may open, so that
// nobody else can make the guard first. False where that cannot be had; claim is then untouched.
bool ClaimInPrivateNamespace(const std::string& name, HANDLE& space, FileHandle& guard, GuardClaim& claim) {
    using CreateBoundaryFn = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSidFn = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundaryFn = VOID(WINAPI*)(HANDLE);
    using CreateSpaceFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenSpaceFn = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    using SidFromTextFn = BOOL(WINAPI*)(LPCSTR, PSID*);
    auto createBoundary = Kernel32Function<CreateBoundaryFn>("CreateBoundaryDescriptorW");
    auto addSid = Kernel32Function<AddSidFn>("AddSIDToBoundaryDescriptor");
    auto deleteBoundary = Kernel32Function<DeleteBoundaryFn>("DeleteBoundaryDescriptor");
    auto createSpace = Kernel32Function<CreateSpaceFn>("CreatePrivateNamespaceW");
    auto openSpace = Kernel32Function<OpenSpaceFn>("OpenPrivateNamespaceW");
    auto sidFromText = Advapi32Function<SidFromTextFn>("ConvertStringSidToSidA");
    LocalMemory administrators;
    if (!createBoundary || !addSid || !deleteBoundary || !createSpace || !openSpace || !sidFromText ||
        !sidFromText(kAdministratorsSid, &administrators.p))
        return false;
    HANDLE boundary = createBoundary(L"Velmorra", 0);
    if (!boundary) return false;
    LocalMemory descriptor;
    SECURITY_ATTRIBUTES onlyAdministrators{sizeof onlyAdministrators,
                                           DescriptorFromText("D:P(A;;GA;;;BA)(A;;GA;;;SY)", descriptor), FALSE};
    if (addSid(&boundary, administrators.p)) {
        space = createSpace(&onlyAdministrators, boundary, AnsiToWide(name).data());
        if (!space && ::GetLastError() == ERROR_ALREADY_EXISTS) space = openSpace(boundary, AnsiToWide(name).data());
    }
    deleteBoundary(boundary);
    if (!space) return false;
    guard = FileHandle(::CreateMutexA(&onlyAdministrators, FALSE, (name + "\\Guard").c_str()));
    if (!guard) return false;
    claim.held = ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!claim.held) claim.ownerSid = kAdministratorsSid;   // nobody else reaches the namespace
    return true;
}

}  // namespace

std::string Win32Platform::UserSid() {
    using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using TokenInfoFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    auto openToken = Advapi32Function<OpenTokenFn>("OpenProcessToken");
    auto tokenInfo = Advapi32Function<TokenInfoFn>("GetTokenInformation");
    HANDLE raw = nullptr;
    if (!openToken || !tokenInfo || !openToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return "";
    FileHandle token(raw);
    DWORD size = 0;
    tokenInfo(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    if (!tokenInfo(token.Get(), TokenUser, user.data(), size, &size)) return "";
    return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

// Elsewhere a named mutex that only the Administrators, SYSTEM and this user may use, and whose
// owner anybody may read: a guard found that another user made first proves nothing. Its owner
// is named: the Administrators where this token may, otherwise this user.
GuardClaim Win32Platform::ClaimGuard(const std::string& name) {
    GuardClaim claim;
    if (ClaimInPrivateNamespace(name, guardNamespace_, guard_, claim)) return claim;
    const std::string user = UserSid();
    const std::string access = "D:P(A;;GA;;;SY)(A;;GA;;;BA)" + (user.empty() ? "" : "(A;;GA;;;" + user + ")") +
                               "(A;;RC;;;WD)";
    const std::string global = "Global\\" + name;
    FileHandle mutex;
    DWORD error = 0;
    for (const std::string& owner : {std::string("BA"), user}) {
        LocalMemory descriptor;
        SECURITY_ATTRIBUTES security{sizeof security, DescriptorFromText("O:" + owner + access, descriptor), FALSE};
        mutex = FileHandle(::CreateMutexA(&security, FALSE, global.c_str()));
        error = ::GetLastError();
        if (mutex || error != ERROR_INVALID_OWNER) break;
    }
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        guard_ = std::move(mutex);
        claim.held = true;
        return claim;
    }
    if (!mutex) mutex = FileHandle(::OpenMutexA(READ_CONTROL, FALSE, global.c_str()));
    claim.ownerSid = KernelObjectOwner(mutex.Get());
    return claim;
}

// ---- ownership in the shared data folder -----------------------------------

namespace {

FileHandle ProcessToken(DWORD access) {
    using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    auto openToken = Advapi32Function<OpenTokenFn>("OpenProcessToken");
    HANDLE token = nullptr;
    if (!openToken || !openToken(::GetCurrentProcess(), access, &token)) return FileHandle();
    return FileHandle(token);
}

// What the file system gives a fresh entry of that kind in parent, owned by the Administrators.
bool SetInheritedSecurity(HANDLE entry, HANDLE parent, bool folder) {
    using GetInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                     PSECURITY_DESCRIPTOR*);
    using CreateFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR*, GUID*, BOOL,
                                   ULONG, HANDLE, PGENERIC_MAPPING);
    using DestroyFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR*);
    using SetFn = BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
    auto getInfo = Advapi32Function<GetInfoFn>("GetSecurityInfo");
    auto create = Advapi32Function<CreateFn>("CreatePrivateObjectSecurityEx");
    auto destroy = Advapi32Function<DestroyFn>("DestroyPrivateObjectSecurity");
    auto set = Advapi32Function<SetFn>("SetKernelObjectSecurity");
    LocalMemory parentSecurity, creator;
    if (!getInfo || !create || !destroy || !set || !DescriptorFromText("O:BAG:BA", creator) ||
        getInfo(parent, 1 /* SE_FILE_OBJECT */, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &parentSecurity.p) != ERROR_SUCCESS)
        return false;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    const FileHandle token = ProcessToken(TOKEN_QUERY);
    const ULONG flags = 0x1 | 0x8 | 0x10;   // SEF_DACL_AUTO_INHERIT, SEF_AVOID_PRIVILEGE_CHECK, SEF_AVOID_OWNER_CHECK
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!create(parentSecurity.p, creator.p, &made, nullptr, folder, flags, token.Get(), &mapping)) return false;
    // On this one object: the advapi32 calls that apply inheritance also walk the entries below
    // by name, and those are another user's.
    const bool done = set(entry, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, made) != 0;
    destroy(&made);
    return done;
}

}  // namespace

bool Win32Platform::IsElevated() {
    HMODULE advapi = Advapi();
    using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using TokenInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD, PDWORD);
    auto open = advapi ? ProcAddress<OpenTokenFn>(advapi, "OpenProcessToken") : nullptr;
    auto query = advapi ? ProcAddress<TokenInfoFn>(advapi, "GetTokenInformation") : nullptr;
    HANDLE raw = nullptr;
    if (!open || !query || !open(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    FileHandle token(raw);
    DWORD elevated = 0, size = 0;
    // TokenElevation (20) is unknown before Vista: the question fails there.
    return query(token.Get(), 20, &elevated, sizeof elevated, &size) && elevated != 0;
}

// Backup and restore open what another user's permissions deny; take-ownership names the owner.
void Win32Platform::EnableOwnershipPrivileges() {
    if (privilegesEnabled_) return;
    privilegesEnabled_ = true;
    SetOwnershipPrivileges(SE_PRIVILEGE_ENABLED);
}

// Held no longer than the taking back needs them: with them, any file opens whatever its rights.
void Win32Platform::DropOwnershipPrivileges() {
    if (!privilegesEnabled_) return;
    privilegesEnabled_ = false;
    SetOwnershipPrivileges(0);
}

void Win32Platform::SetOwnershipPrivileges(DWORD attributes) {
    using LookupFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
    using AdjustFn = BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    auto lookup = Advapi32Function<LookupFn>("LookupPrivilegeValueA");
    auto adjust = Advapi32Function<AdjustFn>("AdjustTokenPrivileges");
    const FileHandle token = ProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    if (!lookup || !adjust || !token) return;
    for (const char* name : {"SeBackupPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege"}) {
        TOKEN_PRIVILEGES privilege{1, {{{0, 0}, attributes}}};
        if (lookup(nullptr, name, &privilege.Privileges[0].Luid))
            adjust(token.Get(), FALSE, &privilege, 0, nullptr, nullptr);
    }
}

std::string Win32Platform::OwnerOf(const std::string& path) {
    using GetInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                     PSECURITY_DESCRIPTOR*);
    auto getInfo = Advapi32Function<GetInfoFn>("GetSecurityInfo");
    EnableOwnershipPrivileges();
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle entry = OpenNoLink(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    PSID owner = nullptr;
    LocalMemory security;
    if (!entry || !getInfo ||
        getInfo(entry.Get(), 1 /* SE_FILE_OBJECT */, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                &security.p) != ERROR_SUCCESS)
        return "";
    return SidText(owner);
}

bool Win32Platform::TakeBack(const std::string& path) {
    EnableOwnershipPrivileges();
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle entry =
        OpenNoLink(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!entry || !IsKind(info, folder) || (!folder && !IsSoleFile(info))) return false;
    std::string parentPath = path.substr(0, path.find_last_of('\\') + 1);
    if (parentPath.size() > 3) parentPath.pop_back();
    const FileHandle parent(::CreateFileA(parentPath.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return parent && SetInheritedSecurity(entry.Get(), parent.Get(), folder);
}

// As the program files folder is: what Users may not change, a DLL planted there included.
bool Win32Platform::ProtectFolder(const std::string& path) {
    using SetFn = BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
    auto set = Advapi32Function<SetFn>("SetKernelObjectSecurity");
    EnableOwnershipPrivileges();
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle folder =
        OpenNoLink(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    LocalMemory descriptor;
    if (!set || !folder || !IsKind(info, true) ||
        !DescriptorFromText("O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", descriptor))
        return false;
    // On this one object: the entries below are taken back one by one, through their handles.
    return set(folder.Get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor.p) != 0;
}

// Only this user: nobody else can put a program or a DLL beside the copy.
bool Win32Platform::CreatePrivateDir(const std::string& path) {
    const std::string user = UserSid();
    LocalMemory descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!user.empty())
        attributes.lpSecurityDescriptor = DescriptorFromText("D:P(A;OICI;FA;;;" + user + ")", descriptor);
    return ::CreateDirectoryA(path.c_str(), &attributes) != 0;
}
