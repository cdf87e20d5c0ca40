#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"

#include <memory>

using namespace win32;

// ---- registry ------------------------------------------------------------

namespace {

RegType TypeOf(DWORD kind) {
    switch (kind) {
    case REG_NONE: return RegType::None;
    case REG_SZ: return RegType::String;
    case REG_DWORD: return RegType::Dword;
    default: return RegType::Other;
    }
}

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}

    bool Query(const std::string& name, RegType& type, std::string& bytes) override {
        DWORD kind = REG_NONE;
        DWORD size = 0;
        if (::RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS)
            return false;
        bytes.assign(size, '\0');
        // The value may grow between the two questions; ask again with the new size.
        while (size != 0) {
            LONG result = ::RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &kind,
                                             reinterpret_cast<BYTE*>(bytes.data()), &size);
            if (result == ERROR_MORE_DATA) {
                bytes.assign(size, '\0');
                continue;
            }
            bytes.resize(result == ERROR_SUCCESS ? size : 0);
            break;
        }
        type = TypeOf(kind);
        return true;
    }

    void SetString(const std::string& name, const std::string& value) override {
        ::RegSetValueExA(key_.Get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
    }

    void SetDword(const std::string& name, uint32_t value) override {
        DWORD number = value;
        ::RegSetValueExA(key_.Get(), name.c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&number), sizeof number);
    }

private:
    RegKeyHandle key_;
};

HKEY RootKey(RegRoot root) { return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

}  // namespace

std::unique_ptr<RegistryKey> Win32Platform::OpenOrCreateKey(RegRoot root, const std::string& path) {
    HKEY rootKey = root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(rootKey, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &key, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

std::unique_ptr<RegistryKey> Win32Platform::OpenExistingKey(RegRoot root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

bool Win32Platform::DeleteRegistryKey(RegRoot root, const std::string& path, bool onlyIfEmpty) {
    if (path.empty()) return false;
    RegKeyHandle key;
    {
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
            return false;
        key = RegKeyHandle(opened);
    }
    DWORD subKeys = 0, values = 0;
    if (::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    // RegDeleteKeyA would take a whole tree on Windows 9x; never more than this one key.
    if (subKeys != 0 || (onlyIfEmpty && values != 0)) return false;
    key.Close();
    return ::RegDeleteKeyA(RootKey(root), path.c_str()) == ERROR_SUCCESS;
}

bool Win32Platform::DeleteRegistryValue(RegRoot root, const std::string& path, const std::string& name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return false;
    RegKeyHandle key(opened);
    return ::RegDeleteValueA(key.Get(), name.empty() ? nullptr : name.c_str()) == ERROR_SUCCESS;
}
