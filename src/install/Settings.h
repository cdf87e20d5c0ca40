// The user's choices kept from one run to the next, and the uninstall entry.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "platform/Platform.h"

// Registry access as the installer uses it: opening a key creates it, a path that begins
// with a backslash starts at the root, only one key is open at a time, and nothing fails
// loudly. A value of an unexpected type reads as missing.
class SettingsRegistry {
public:
    void SetRoot(RegRoot root);
    void OpenKey(const std::string& path);
    void CloseKey();
    bool ReadString(const std::string& name, std::string& value);
    bool ReadNumber(const std::string& name, uint32_t& value);
    void WriteString(const std::string& name, const std::string& value);
    void WriteNumber(const std::string& name, uint32_t value);

private:
    RegRoot root_ = RegRoot::CurrentUser;
    std::string path_;                  // of the open key, from the root
    std::unique_ptr<RegistryKey> key_;  // null when none is open or it could not be opened
};

struct SavedSettings {
    std::string MainDir;
    uint32_t SavedComps = 0x7FFFFFFF;
    bool InstallToAll = true;
    std::string Extensions = "B";
    bool Launch = true;
    int32_t LastRunVer = 0x7FFFFFFF;
    uint32_t InstalledKb = 0;   // written only: the uninstall entry's size
};

extern const char* const kProductVersion;   // "2.0.6.0"

// Reads every saved value with its default; args are the program's command-line
// arguments without the program name ("-d<folder>" as the first one sets MainDir).
SavedSettings ReadSettings(const std::vector<std::string>& args);

// Writes the Install key and, unless portable, the uninstall entry (with what Windows' list of
// programs and deployment tools read).
void WriteSettings(const SavedSettings& settings, bool portable);

// Bits 0-7 from the fully checked rows; the bits above are carried over unchanged.
uint32_t ComponentMask(uint32_t saved, const std::vector<bool>& rowChecked);

std::string UninstallString(const std::string& mainDir);
